#include "calc/sublattice_sheet.h"

#include <charconv>
#include <cmath>
#include <map>

#include "calc/ionic_liquid.h"

namespace calc {

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool IsName(const std::string& s) {
  if (s.empty() || !((s[0] >= 'A' && s[0] <= 'Z') || s[0] == '_')) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

[[noreturn]] void Fail(int line, const std::string& why) {
  throw ESheetError("Line " + std::to_string(line) + ": " + why);
}

// A plain decimal number (locale-independent) or a fraction "a/b" at s[i]; advances i.
bool ReadNumber(const std::string& s, size_t& i, double& v) {
  const char* begin = s.data() + i;
  const char* end = s.data() + s.size();
  auto r = std::from_chars(begin, end, v);
  if (r.ec != std::errc() || !std::isfinite(v)) return false;
  i += static_cast<size_t>(r.ptr - begin);
  if (i < s.size() && s[i] == '/') {
    double d = 0;
    size_t j = i + 1;
    auto q = std::from_chars(s.data() + j, end, d);
    if (q.ec != std::errc() || !(d != 0)) return false;
    i = j + static_cast<size_t>(q.ptr - (s.data() + j));
    v /= d;
  }
  return true;
}

// The parameter kinds and the text that opens their lines.
struct KindPrefix {
  const char* prefix;
  SublatticeModel::Kind kind;
};
constexpr KindPrefix kKinds[] = {{"G(", SublatticeModel::Kind::G},
                                 {"L(", SublatticeModel::Kind::G},
                                 {"TC(", SublatticeModel::Kind::TC},
                                 {"BMAGN(", SublatticeModel::Kind::BMAGN}};

// "G" + a name + "=(" + names separated by commas + ")" + a digit or a point: the first
// sublattice of a declaration. No expression reads so (a bracket holds a comma only as the
// arguments of a function, and a bracket is never followed by a number), so no sheet line
// that compiled before is taken for one.
bool IsDeclaration(const std::string& upper) {
  const size_t eq = upper.find('=');
  if (upper.empty() || upper[0] != 'G' || eq == std::string::npos || eq + 1 >= upper.size() ||
      upper[eq + 1] != '(' || !IsName(upper.substr(1, eq - 1)))
    return false;
  const size_t close = upper.find(')', eq);
  if (close == std::string::npos || close + 1 >= upper.size()) return false;
  const char after = upper[close + 1];
  if (!((after >= '0' && after <= '9') || after == '.')) return false;
  for (const std::string& c : Split(upper.substr(eq + 2, close - eq - 2), ','))
    if (!IsName(c)) return false;
  return true;
}

// "G" + a name + "=IONIC(": an ionic liquid. No expression reads so (the expression compiler
// knows no function IONIC).
bool IsIonicDeclaration(const std::string& upper) {
  const size_t eq = upper.find('=');
  return !upper.empty() && upper[0] == 'G' && eq != std::string::npos &&
         IsName(upper.substr(1, eq - 1)) && upper.compare(eq + 1, 6, "IONIC(") == 0;
}

}  // namespace

SublatticeDeclarations::SublatticeDeclarations(std::string a, std::string b)
    : a_(Upper(std::move(a))), b_(Upper(std::move(b))) {
  if (a_.empty()) {
    a_ = "A";
    b_ = "B";
  }
}

Constituent SublatticeDeclarations::ConstituentOf(const std::string& written, int line) const {
  if (written == "VA") return {};
  // An ion: its charge after its name, as CU+2 or O-2.
  std::string name = written;
  double charge = 0;
  if (const size_t sign = name.find_last_of("+-"); sign != std::string::npos && sign > 0) {
    size_t i = sign + 1;
    if (!ReadNumber(name, i, charge) || i != name.size() || !(charge > 0))
      Fail(line, "the charge of " + written + " must be a number after its sign, as CU+2");
    if (name[sign] == '-') charge = -charge;
    name.resize(sign);
  }
  // A component, or a molecule of the components: their names, each followed by how many
  // atoms when more than one (CU2, B12, B11C). The longer name is tried first where one
  // begins the other (C and CR).
  const bool b_first = b_.size() > a_.size();
  Constituent c;
  size_t i = 0;
  while (i < name.size()) {
    bool matched = false;
    for (int k = 0; k < 2 && !matched; ++k) {
      const bool is_b = (k == 0) == b_first;
      const std::string& comp = is_b ? b_ : a_;
      if (name.compare(i, comp.size(), comp) != 0) continue;
      size_t j = i + comp.size();
      double n = 1;
      if (j < name.size() && ((name[j] >= '0' && name[j] <= '9') || name[j] == '.')) {
        if (!ReadNumber(name, j, n) || !(n > 0)) continue;
      }
      (is_b ? c.B : c.A) += n;
      i = j;
      matched = true;
    }
    if (!matched) {
      Fail(line, name + " is neither of the components " + a_ + " and " + b_ +
                     " (nor a molecule of them, as " + a_ + "2) nor VA");
    }
  }
  if (name.empty()) Fail(line, "an empty constituent name");
  c.Charge = charge;
  return c;
}

bool SublatticeDeclarations::Take(const std::string& line, int number) {
  const std::string upper = Upper(line);
  const bool ionic = IsIonicDeclaration(upper);
  if (ionic || IsDeclaration(upper)) {
    const size_t eq = upper.find('=');
    Declared d;
    d.Line = number;
    d.Model = std::make_shared<SublatticeModel>();
    d.Model->Name = upper.substr(1, eq - 1);
    if (!IsName(d.Model->Name) || d.Model->Name == "E")
      Fail(number, "\"" + d.Model->Name + "\" cannot name a phase");
    for (const Declared& o : phases_)
      if (o.Model->Name == d.Model->Name)
        Fail(number, "phase " + d.Model->Name + " declared twice");
    // IONIC (cations) (anions and VA): the numbers of sites follow the charges, so the
    // brackets carry none.
    if (ionic) d.Model->Ionic = std::make_shared<IonicLiquid>();
    size_t i = eq + (ionic ? 6 : 1);
    while (i < upper.size() && upper[i] == '(') {
      const size_t close = upper.find(')', i);
      if (close == std::string::npos) Fail(number, "a sublattice's bracket is not closed");
      SublatticeModel::Sublattice sl;
      for (const std::string& c : Split(upper.substr(i + 1, close - i - 1), ','))
        sl.Constituents.push_back(ConstituentOf(c, number));
      i = close + 1;
      if (!ionic) {
        for (const Constituent& c : sl.Constituents)
          if (c.Charge != 0) Fail(number, "ions belong to an IONIC declaration");
        if (!ReadNumber(upper, i, sl.Sites) || !(sl.Sites > 0))
          Fail(number, "a sublattice needs a positive number of sites after its bracket");
      }
      d.Model->Sublattices.push_back(std::move(sl));
    }
    if (ionic) {
      if (i != upper.size() || d.Model->Sublattices.size() != 2)
        Fail(number,
             "IONIC wants two brackets: the cations, then the anions and VA, as "
             "IONIC (CU+1,CU+2) (O-2,VA)");
      phases_.push_back(std::move(d));
      return true;
    }
    while (i < upper.size()) {
      if (upper.compare(i, 9, "MAGNETIC(") == 0) {
        i += 9;
        double afm = 0, p = 0;
        if (!ReadNumber(upper, i, afm) || i >= upper.size() || upper[i] != ',' ||
            !ReadNumber(upper, ++i, p) || i >= upper.size() || upper[i] != ')')
          Fail(number, "MAGNETIC(factor, p) wants two numbers, as MAGNETIC(-1, 0.40)");
        if (!(afm < 0) || !(p > 0 && p <= 1))
          Fail(number, "MAGNETIC wants a negative anti-ferromagnetic factor and 0 < p <= 1");
        d.Model->AfmFactor = afm;
        d.Model->StructureFactor = p;
        ++i;
      } else if (upper.compare(i, 11, "DISORDERED(") == 0) {
        const size_t close = upper.find(')', i);
        if (close == std::string::npos) Fail(number, "DISORDERED( is not closed");
        d.Disordered = upper.substr(i + 11, close - i - 11);
        if (!IsName(d.Disordered) || d.Disordered == "E" || d.Disordered == d.Model->Name)
          Fail(number, "DISORDERED wants the name of the phase's disordered form");
        i = close + 1;
      } else {
        Fail(number, "cannot read \"" + line.substr(i) +
                         "\" (after the sublattices: MAGNETIC(factor, p) or DISORDERED(NAME))");
      }
    }
    if (d.Model->Sublattices.empty()) Fail(number, "a phase needs at least one sublattice");
    phases_.push_back(std::move(d));
    return true;
  }
  for (const KindPrefix& k : kKinds) {
    if (!StartsWith(upper, k.prefix)) continue;
    const size_t open = upper.find('(');
    const size_t close = upper.find(')', open);
    if (close == std::string::npos || close + 1 >= upper.size() || upper[close + 1] != '=')
      return false;  // not of this form: the line keeps whatever kind it has otherwise
    PendingParameter pp;
    pp.Line = number;
    pp.Parameter.kind = k.kind;
    std::string inside = upper.substr(open + 1, close - open - 1);
    // A parameter names its phase, a comma, then its constituents; "G(X)=1" is no parameter
    // (a line of no kind, skipped as such lines always were).
    const size_t comma = inside.find(',');
    if (comma == std::string::npos) return false;
    pp.Phase = inside.substr(0, comma);
    std::string cons = inside.substr(comma + 1);
    const size_t semi = cons.find(';');
    if (semi != std::string::npos) {
      size_t j = semi + 1;
      double order = 0;
      if (!ReadNumber(cons, j, order) || j != cons.size() || order < 0 || order > 20 ||
          order != std::floor(order))
        Fail(number, "the order after ';' must be a whole number from 0 to 20");
      pp.Parameter.Order = static_cast<int>(order);
      cons.resize(semi);
    }
    for (const std::string& sub : Split(cons, ':')) {
      std::vector<Constituent> on;
      if (sub != "*") {
        for (const std::string& c : Split(sub, ',')) {
          const Constituent ct = ConstituentOf(c, number);
          for (Constituent o : on)
            if (o == ct) Fail(number, "a constituent named twice on one sublattice");
          on.push_back(ct);
        }
      }
      pp.Parameter.On.push_back(std::move(on));
    }
    pp.Parameter.Value = std::make_unique<numeric::TParser>();
    numeric::TParser& p = *pp.Parameter.Value;
    p.AssignVariable("R", kDatabaseGasConstant);
    pp.Parameter.T = p.AssignVariable("T", 298.15);
    pp.Parameter.p = p.AssignVariable("P", 1);
    p.SetExpression(line.substr(close + 2));
    if (p.Expression().empty()) Fail(number, "a parameter without a value");
    params_.push_back(std::move(pp));
    return true;
  }
  return false;
}

std::vector<SublatticeDeclarations::Offered> SublatticeDeclarations::Build() {
  std::map<std::string, Declared*> by_name;
  for (Declared& d : phases_) by_name[d.Model->Name] = &d;
  for (PendingParameter& pp : params_) {
    auto it = by_name.find(pp.Phase);
    if (it == by_name.end())
      Fail(pp.Line,
           "phase " + pp.Phase + " has no line G" + pp.Phase + " = (...)... of its sublattices");
    it->second->Model->Parameters.push_back(std::move(pp.Parameter));
  }
  params_.clear();
  std::map<std::string, bool> is_part;
  for (Declared& d : phases_) {
    if (d.Disordered.empty()) continue;
    auto it = by_name.find(d.Disordered);
    if (it != by_name.end()) {
      if (!it->second->Disordered.empty())
        Fail(d.Line, d.Disordered + " is an ordered phase itself");
      if (is_part[d.Disordered])
        Fail(d.Line, d.Disordered + " is the disordered part of two phases");
      is_part[d.Disordered] = true;
      d.Model->DisorderedPart = it->second->Model;
    }
    d.Model->DisorderedName = d.Disordered;
  }
  std::vector<Offered> out;
  for (Declared& d : phases_) {
    try {
      d.Model->Prepare();
    } catch (const std::runtime_error& e) {
      Fail(d.Line, e.what());
    }
    if (is_part[d.Model->Name]) continue;
    if (d.Model->Fixed()) {
      out.push_back({d.Model->Name, d.Model, OrderVariant::Any, true});
    } else if (d.Model->HasOrder()) {
      out.push_back({d.Disordered, d.Model, OrderVariant::Disordered, false});
      out.push_back({d.Model->Name, d.Model, OrderVariant::Ordered, false});
    } else {
      out.push_back({d.Model->Name, d.Model, OrderVariant::Any, false});
    }
  }
  return out;
}

}  // namespace calc
