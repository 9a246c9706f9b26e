#include "tdb/importer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <set>

#include "calc/phase_sheet.h"
#include "calc/sublattice_sheet.h"
#include "numeric/format.h"
#include "numeric/parser.h"
#include "tdb/sheet_text.h"

namespace tdb {
namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string Join(const std::vector<std::string>& v, const char* sep) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) out += (i ? sep : "") + v[i];
  return out;
}

// A phase is skipped with this reason. `structural`: the one-line forms cannot hold it, but a
// declaration on sublattices can.
struct Skip {
  std::string reason;
  bool structural = false;
};

// Function values by name, each read once. The functions a function refers to are read before
// it, from a list rather than by recursion, so that a chain of thousands of functions needs no
// deeper stack than one. A function that refers to itself, directly or through others, is an
// error; so is one that cannot be read, named with its line.
class Functions {
 public:
  explicit Functions(const Database& db) : db_(db) {}
  // The pressure in the expressions: the standard pressure of the databases' data, 101325 Pa,
  // at which the import's problems are computed (a volume term is zero there).
  static constexpr double kPressure = 101325;
  bool UsedPressure() const { return pressure_used_; }
  Piecewise operator()(const std::string& name) {
    if (name == kPressureName) {
      pressure_used_ = true;
      return Piecewise::Of(Lin::Constant(kPressure));
    }
    auto done = values_.find(name);
    if (done != values_.end()) return done->second;
    if (!db_.Functions.count(name)) throw Error("function " + name + " is not defined");
    std::vector<std::string> todo{name};
    std::set<std::string> open;  // begun, waiting for the functions they refer to
    while (!todo.empty()) {
      const std::string cur = todo.back();
      if (values_.count(cur)) {
        todo.pop_back();
        continue;
      }
      const Function& f = db_.Functions.at(cur);
      if (open.insert(cur).second) {
        for (const Range& r : f.Ranges) {
          for (const std::string& used : NamesIn(r.Expression)) {
            if (values_.count(used) || !db_.Functions.count(used)) continue;
            if (open.count(used))
              throw Error("function " + used + " refers to itself" +
                          (used == cur ? "" : " (through " + cur + ")"));
            todo.push_back(used);
          }
        }
        continue;
      }
      try {
        values_[cur] = JoinRanges(f.Ranges, std::ref(*this));
      } catch (const PressureUsed&) {
        throw;
      } catch (const Error& e) {
        throw Error("function " + cur + " (line " + std::to_string(f.Line) + "): " + e.what());
      }
      open.erase(cur);
      todo.pop_back();
    }
    return values_.at(name);
  }

 private:
  const Database& db_;
  std::map<std::string, Piecewise> values_;
  bool pressure_used_ = false;
};

// A parameter the file gives more than once: the last one holds.
std::string RepeatNote(const Parameter& par) {
  std::string lines;
  for (int l : par.Replaced) lines += std::to_string(l) + ", ";
  return "parameter " + par.Name() + " is given more than once (lines " + lines +
         std::to_string(par.Line) + "): the last one, line " + std::to_string(par.Line) +
         ", replaces the others";
}

// Sublattice constituents of a phase as elements of A-B (or VA). Species that are one
// element stand for it; others make the phase unusable when they are made of A, B and VA only.
struct Species {
  std::string element;  // the element (or VA) it stands for, "" for other species
  bool in_system = false;
  double count = 1;  // atoms of the element in one of it (2 for CU2)
  // A molecule of both elements (B11C): its elements with their counts; element is then "".
  std::vector<std::pair<std::string, double>> parts;
  // An ion (CU+2, O-2): written only in an ionic liquid, under the name `ion` (its element,
  // then the sign and the charge; empty for an ion of several elements).
  bool charged = false;
  std::string ion;
  // The name a sheet gives it: the element, with the count when it is not 1 (CU2), or the
  // formula of a molecule of both (B11C).
  std::string SheetName() const {
    if (!parts.empty()) {
      std::string n;
      for (const auto& [e, c] : parts) n += e + (c == 1 ? "" : NumberText(c));
      return n;
    }
    return count == 1 ? element : element + NumberText(count);
  }
};

Species Resolve(const Database& db, const std::string& name, const std::string& a,
                const std::string& b) {
  auto in = [&](const std::string& e) { return e == a || e == b || e == "VA"; };
  if (name == "VA" || std::find(db.Elements.begin(), db.Elements.end(), name) != db.Elements.end())
    return {name, in(name), 1, {}, false, ""};
  auto f = db.SpeciesFormula.find(name);
  if (f == db.SpeciesFormula.end()) return {"", false, 1, {}, false, ""};
  // Formula: element names each followed by an optional amount; a charge after '/' ("CU1/+2").
  std::string s = f->second;
  bool charged = false;
  if (const size_t slash = s.find('/'); slash != std::string::npos) {
    const std::string charge = s.substr(slash + 1);
    charged = charge.find_first_not_of("+-0. ") != std::string::npos;
    s.resize(slash);
  }
  std::vector<std::pair<std::string, double>> parts;
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i;
    while (j < s.size() &&
           (std::isalpha(static_cast<unsigned char>(s[j])) || s[j] == '/' || s[j] == '-'))
      ++j;
    size_t k = j;
    while (k < s.size() && (std::isdigit(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
    if (j == i) return {"", false, 1, {}, false, ""};
    parts.push_back({s.substr(i, j - i), k > j ? std::atof(s.substr(j, k - j).c_str()) : 1.0});
    i = k;
  }
  bool all_in = !parts.empty();
  for (const auto& p : parts) all_in = all_in && in(p.first);
  if (charged) {
    Species ion{"", all_in, 1, {}, true, ""};
    const double q = std::atof(f->second.substr(f->second.find('/') + 1).c_str());
    if (parts.size() == 1 && parts[0].first != "VA" && parts[0].second > 0 && q != 0)
      ion.ion = parts[0].first + (parts[0].second == 1 ? "" : NumberText(parts[0].second)) +
                (q > 0 ? "+" : "-") + NumberText(std::abs(q));
    return ion;
  }
  if (parts.size() == 1 && parts[0].second > 0)
    return {parts[0].first, in(parts[0].first), parts[0].second, {}, false, ""};
  Species out{"", all_in, 1, {}, false, ""};
  bool atoms_only = all_in;
  for (const auto& p : parts) atoms_only = atoms_only && p.first != "VA" && p.second > 0;
  if (atoms_only) out.parts = parts;
  return out;
}

bool IsLiquid(const Phase& p) {
  return p.Suffix == "L" || p.Suffix == "Y" || p.Name == "LIQUID" || p.Name.rfind("LIQ", 0) == 0;
}

std::string FractionText(double nb, double total) {
  // Whole site numbers give an exact fraction such as 2/3.
  if (nb == std::round(nb) && total == std::round(total) && total < 1e6) {
    long long p = static_cast<long long>(nb), q = static_cast<long long>(total);
    long long g = std::gcd(p, q);
    if (g == 0) g = 1;
    p /= g;
    q /= g;
    if (q == 1) return std::to_string(p);
    return std::to_string(p) + "/" + std::to_string(q);
  }
  return NumberText(nb / total);
}

constexpr size_t kMaxCommentLine = 500;

const char* const kReserved[] = {"R", "T", "P", "X", "SID", "A", "B", "C", "D", "E", "Y", "PI"};

bool NeedsRename(const std::string& name) {
  if (name.empty() || name[0] == 'C') return true;  // GC... is a compound line
  for (const char* r : kReserved)
    if (name == r) return true;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return true;
  return false;
}

std::string CleanName(const std::string& name) {
  std::string out;
  for (char c : name) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '_') ? c : '_';
  return out;
}

class Importer {
 public:
  Importer(const Database& db, const ImportOptions& o) : db_(db), opt_(o), functions_(db) {}

  ImportResult Run();

 private:
  // Reads one phase; throws Skip.
  ImportedPhase Read(const Phase& p);
  // Reads a phase that one line of the sheet can hold (a solution of one mixing sublattice, a
  // compound); throws Skip (structural when a declaration on sublattices can hold it).
  ImportedPhase ReadOneLine(const Phase& p);
  // Reads a phase as a declaration on sublattices; throws Skip.
  ImportedPhase ReadSublattice(const Phase& p);
  // The words after the kind of the phase's amendment of that kind (empty when it has none).
  std::vector<std::string> AmendmentOf(const Phase& p, const std::string& kind) const;
  // The name of the phase's disordered part, "" when it has none.
  std::string DisorderedPartOf(const Phase& p) const;
  Piecewise Value(const Parameter& par);
  void Check(ImportedPhase& ph);
  // The expression written for a value per formula unit reproduces it; throws Skip.
  void CheckValue(const Piecewise& want, const std::string& expr, const std::string& what);
  void FindRange(ImportResult& r);
  std::string Sheet(const ImportResult& r) const;

  const Database& db_;
  const ImportOptions& opt_;
  Functions functions_;
  std::string a_, b_;
  std::vector<std::string> notes_;
  // Where a G or L parameter's value jumps at a limit of its temperature ranges (Value): the
  // ranges of a formula meet without a step in a sound file. COST507 writes bcc Zr above
  // 2128 K without GHSERZR, 154 kJ/mol off. Said in the notes for the phases written, within
  // the problem's range.
  struct Jump {
    std::string phase, parameter;
    double T = 0, by = 0;
  };
  std::vector<Jump> jumps_;
  static constexpr double kJumpNoted = 1000;  // J/mol
  // Phases that are the disordered part of another phase being imported.
  std::set<std::string> parts_;
};

std::vector<std::string> Importer::AmendmentOf(const Phase& p, const std::string& kind) const {
  for (const Amendment& am : db_.Amendments) {
    if (am.Phase != p.Name || p.TypeCodes.find(am.Code) == std::string::npos) continue;
    if (am.Kind != kind && !(kind == "DIS_PART" && am.Kind == "DISORDERED_PART")) continue;
    // The statement's words after the kind, split at blanks and commas.
    std::vector<std::string> words;
    std::string w;
    bool after = false;
    for (size_t i = 0; i <= am.Text.size(); ++i) {
      const char c = i < am.Text.size() ? am.Text[i] : ' ';
      if (c == ' ' || c == ',' || c == '\t' || c == '!' || c == '\r' || c == '\n') {
        if (!w.empty()) {
          if (after) words.push_back(w);
          if (Upper(w) == am.Kind) after = true;
        }
        w.clear();
      } else {
        w += c;
      }
    }
    return words.empty() ? std::vector<std::string>{""} : words;
  }
  return {};
}

std::string Importer::DisorderedPartOf(const Phase& p) const {
  std::vector<std::string> w = AmendmentOf(p, "DIS_PART");
  if (w.empty()) return "";
  std::string name = Upper(w[0]);
  const size_t colon = name.find(':');
  if (colon != std::string::npos) name.resize(colon);
  return name;
}

// Sublattice permutations under which an ordered phase's parameters hold unchanged: a phase
// option F (the four sublattices of an fcc ordering, all equivalent) or B (those of a bcc
// ordering: 1 with 2, 3 with 4, and the pairs swapped).
std::vector<std::vector<size_t>> Symmetries(const std::string& option, size_t sublattices) {
  std::vector<std::vector<size_t>> out;
  std::vector<size_t> id(sublattices);
  std::iota(id.begin(), id.end(), 0);
  out.push_back(id);
  if (sublattices < 4 || (option != "F" && option != "B")) return out;
  std::vector<size_t> perm = {0, 1, 2, 3};
  do {
    bool keep = option == "F";
    if (option == "B") {
      // Pairs {0,1} and {2,3} stay pairs.
      const bool a = (perm[0] < 2) == (perm[1] < 2), b = (perm[2] < 2) == (perm[3] < 2);
      keep = a && b;
    }
    if (!keep || perm == std::vector<size_t>{0, 1, 2, 3}) continue;
    std::vector<size_t> full = id;
    for (size_t k = 0; k < 4; ++k) full[k] = perm[k];
    out.push_back(full);
  } while (std::next_permutation(perm.begin(), perm.end()));
  return out;
}

ImportedPhase Importer::ReadSublattice(const Phase& p) {
  // Phase option Y: the ionic two-sublattice liquid, whose constituents are ions.
  const bool ionic = p.Suffix == "Y";
  ImportedPhase ph;
  ph.Name = p.Name;
  ph.IsSublattice = true;
  ph.Key = CleanName(p.Name);
  for (const Amendment& am : db_.Amendments) {
    if (am.Phase != p.Name || p.TypeCodes.find(am.Code) == std::string::npos) continue;
    if (am.Kind != "MAGNETIC" && am.Kind != "DIS_PART" && am.Kind != "DISORDERED_PART" &&
        am.Kind != "C_S" && am.Kind != "COMP_SETS")
      throw Skip{"model amendment " + am.Kind};
  }
  // Constituents in A-B, per sublattice, as the sheet names them.
  std::vector<std::vector<std::string>> subl;
  for (const auto& list : p.Constituents) {
    std::vector<std::string> in;
    for (const std::string& c : list) {
      Species s = Resolve(db_, c, a_, b_);
      if (s.charged && s.in_system && !(ionic && !s.ion.empty()))
        throw Skip{"charged species (" + c + "): an ionic model"};
      if (s.element.empty() && s.parts.empty() && s.ion.empty() && s.in_system)
        throw Skip{"species " + c + " is not made of " + a_ + " and " + b_ + " alone"};
      const std::string name = s.charged ? s.ion : s.SheetName();
      if (s.in_system && std::find(in.begin(), in.end(), name) == in.end()) in.push_back(name);
    }
    if (in.empty()) throw Skip{"a sublattice holds nothing of " + a_ + "-" + b_};
    subl.push_back(in);
  }
  if (subl.size() != p.Sites.size())
    throw Skip{"the number of sites does not match the sublattices"};
  std::string decl = "G" + ph.Key + (ionic ? " = IONIC" : " =");
  size_t vars = 0;
  for (size_t s = 0; s < subl.size(); ++s) {
    decl += " (" + Join(subl[s], ",") + ")" + (ionic ? "" : NumberText(p.Sites[s]));
    vars += subl[s].size();
  }
  if (vars > 16) throw Skip{"more than 16 site fractions"};
  const std::vector<std::string> mag = AmendmentOf(p, "MAGNETIC");
  std::string part = DisorderedPartOf(p);
  // The lattice factors of the magnetic model; an ordered phase without its own takes its
  // disordered part's.
  std::vector<std::string> mag_words = mag;
  if (mag_words.empty() && !part.empty())
    if (const Phase* d = db_.FindPhase(part)) mag_words = AmendmentOf(*d, "MAGNETIC");
  if (!mag_words.empty()) {
    double afm = 0, pf = 0;
    if (mag_words.size() < 2 || !(afm = std::atof(mag_words[0].c_str()), afm < 0) ||
        !(pf = std::atof(mag_words[1].c_str()), pf > 0 && pf <= 1))
      throw Skip{"a magnetic model without its two lattice factors"};
    decl += " MAGNETIC(" + NumberText(afm) + ", " + NumberText(pf) + ")";
  }
  if (!part.empty()) {
    const Phase* d = db_.FindPhase(part);
    if (d == nullptr) throw Skip{"its disordered part " + part + " is not in the database"};
    decl += " DISORDERED(" + CleanName(part) + ")";
  }
  ph.Lines.push_back(decl);

  // The parameters within A-B, each under a key; a later one of the same key replaces an
  // earlier one, as database readers do.
  struct Written {
    std::string text;
    int line;
  };
  std::map<std::string, Written> params;
  std::vector<std::string> order;
  const auto perms = Symmetries(p.Suffix, subl.size());
  bool any_g = false;
  for (const Parameter& par : db_.Parameters) {
    if (par.Phase != p.Name) continue;
    if (par.Constituents.size() != subl.size()) continue;
    std::string type = par.Type;
    if (type == "V0" || type == "VA" || type == "VB" || type == "VC" || type == "VK" ||
        type == "VS")
      throw Skip{"pressure terms"};
    if (type == "L") type = "G";
    if (type == "BMAG" || type == "BM") type = "BMAGN";
    if (type != "G" && type != "TC" && type != "BMAGN") {
      notes_.push_back("parameter " + par.Type + " of " + p.Name + " (line " +
                       std::to_string(par.Line) + ") holds no Gibbs energy and is not used");
      continue;
    }
    // Its constituents in A-B; a parameter naming another element is zero here.
    std::vector<std::vector<std::string>> on;
    bool inside = true;
    for (size_t s = 0; s < subl.size() && inside; ++s) {
      std::vector<std::string> names;
      for (const std::string& c : par.Constituents[s]) {
        if (c == "*") {
          names = {"*"};
          break;
        }
        Species sp = Resolve(db_, c, a_, b_);
        const std::string name = sp.charged ? sp.ion : sp.SheetName();
        if (!sp.in_system || (sp.element.empty() && sp.parts.empty() && sp.ion.empty()) ||
            std::find(subl[s].begin(), subl[s].end(), name) == subl[s].end()) {
          inside = false;
          break;
        }
        names.push_back(name);
      }
      if (names.empty()) inside = false;
      on.push_back(names);
    }
    if (!inside) continue;
    const Piecewise v = Value(par);
    const std::string expr = Write(NodeOf(v), nullptr);
    CheckValue(v, expr, type + " parameter of line " + std::to_string(par.Line));
    for (const auto& perm : perms) {
      std::string key = type + "(" + ph.Key;
      for (size_t s = 0; s < on.size(); ++s) key += (s ? ":" : ",") + Join(on[perm[s]], ",");
      if (par.Order != 0) key += ";" + std::to_string(par.Order);
      key += ")";
      auto it = params.find(key);
      if (it != params.end()) {
        if (perm == perms.front())
          notes_.push_back(p.Name + ": " + key + " is given again at line " +
                           std::to_string(par.Line) + " (after line " +
                           std::to_string(it->second.line) + "); the later one is used");
        else
          continue;  // given in the file itself: that one holds
      } else {
        order.push_back(key);
      }
      params[key] = {key + " = " + expr, par.Line};
      any_g = any_g || type == "G";
    }
  }
  if (!any_g) throw Skip{"no Gibbs energy parameter in " + a_ + "-" + b_};
  // End members of atoms without a parameter are zero in the formalism: worth a word, as a
  // database usually gives every one it means.
  std::vector<size_t> pick(subl.size(), 0);
  for (;;) {
    std::string key = "G(" + ph.Key;
    bool vacancy = false;
    for (size_t s = 0; s < subl.size(); ++s) {
      key += (s ? ":" : ",") + subl[s][pick[s]];
      vacancy = vacancy || subl[s][pick[s]] == "VA";
    }
    key += ")";
    if (!vacancy && !params.count(key))
      notes_.push_back(p.Name + ": no parameter " + key + " in the file: taken as 0");
    size_t s = 0;
    while (s < pick.size() && ++pick[s] == subl[s].size()) pick[s++] = 0;
    if (s == pick.size()) break;
  }
  const bool magnetic_params = std::any_of(order.begin(), order.end(), [](const std::string& k) {
    return k.rfind("TC(", 0) == 0 || k.rfind("BMAGN(", 0) == 0;
  });
  if (magnetic_params && mag_words.empty())
    notes_.push_back(p.Name +
                     ": TC and BMAGN parameters without a magnetic model in its TYPE_DEFINITION: "
                     "no magnetic contribution");
  for (const std::string& k : order) ph.Lines.push_back(params[k].text);
  // The declaration must be one the sheet can use: checked by compiling it alone.
  return ph;
}

void Importer::CheckValue(const Piecewise& want, const std::string& expr, const std::string& what) {
  numeric::TParser parser;
  parser.AssignVariable("R", calc::kDatabaseGasConstant);
  double* t = parser.AssignVariable("T", 500);
  parser.AssignVariable("P", 1);
  try {
    parser.SetExpression(expr);
  } catch (const std::exception& e) {
    throw Skip{"its " + what + " does not fit in one expression of the sheet (" + e.what() + ")"};
  }
  std::vector<double> temps = {300, 500, 800, 1200, 2000};
  for (double lim : want.Limits) {
    temps.push_back(lim);
    temps.push_back(lim + 0.5);
  }
  for (double T : temps) {
    if (T <= 1) continue;
    *t = T;
    const double w = want.Eval(T);
    double got = 0;
    try {
      got = parser.Value();
    } catch (const std::exception& e) {
      throw Skip{"its " + what + " cannot be evaluated at T = " + NumberText(T) + " K (" +
                 e.what() + ")"};
    }
    if (std::abs(got - w) > 1e-9 * std::max(1.0, std::abs(w)))
      throw Skip{"the written " + what +
                 " does not reproduce the database at T = " + NumberText(T) + " K"};
  }
}

Piecewise Importer::Value(const Parameter& par) {
  try {
    Piecewise v = JoinRanges(par.Ranges, std::ref(functions_));
    if (par.Type == "G" || par.Type == "L") {
      for (size_t i = 0; i < v.Limits.size() && i + 1 < v.Pieces.size(); ++i) {
        const double t = v.Limits[i];
        const double by = v.Pieces[i + 1].Eval(t) - v.Pieces[i].Eval(t);
        if (!(std::abs(by) > kJumpNoted)) continue;
        const std::string name = par.Name();
        const bool known = std::any_of(jumps_.begin(), jumps_.end(), [&](const Jump& j) {
          return j.parameter == name && j.T == t;
        });
        if (!known) jumps_.push_back({par.Phase, name, t, by});
      }
    }
    return v;
  } catch (const PressureUsed&) {
    throw Skip{"pressure terms"};
  } catch (const Error& e) {
    throw Skip{"line " + std::to_string(par.Line) + ": " + e.what()};
  }
}

ImportedPhase Importer::Read(const Phase& p) {
  if (p.Suffix == "Y") return ReadSublattice(p);
  // The disordered part of an ordered phase is declared on sublattices like the phase itself.
  if (parts_.count(p.Name)) return ReadSublattice(p);
  try {
    return ReadOneLine(p);
  } catch (const Skip& s) {
    if (!s.structural) throw;
  }
  return ReadSublattice(p);
}

ImportedPhase Importer::ReadOneLine(const Phase& p) {
  if (p.Suffix == "B" || p.Suffix == "F") throw Skip{"ordered phase", true};
  bool magnetic = false;
  for (const Amendment& am : db_.Amendments) {
    if (am.Phase != p.Name || p.TypeCodes.find(am.Code) == std::string::npos) continue;
    if (am.Kind == "MAGNETIC")
      magnetic = true;
    else if (am.Kind == "DIS_PART" || am.Kind == "DISORDERED_PART")
      throw Skip{"ordered phase", true};
    else if (am.Kind != "C_S" && am.Kind != "COMP_SETS")
      throw Skip{"model amendment " + am.Kind};
  }
  // Constituents in A-B, per sublattice.
  std::vector<std::vector<std::string>> subl;
  for (const auto& list : p.Constituents) {
    std::vector<std::string> in;
    for (const std::string& c : list) {
      Species s = Resolve(db_, c, a_, b_);
      if (s.element.empty() && s.parts.empty() && s.in_system)
        throw Skip{"species " + c + " is not a single element"};
      if (s.in_system && (s.count != 1 || !s.parts.empty()))
        throw Skip{"species " + c + " of several atoms", true};
      if (s.in_system && std::find(in.begin(), in.end(), s.element) == in.end())
        in.push_back(s.element);
    }
    subl.push_back(in);
  }
  int mixing = -1;
  for (size_t i = 0; i < subl.size(); ++i) {
    const auto& s = subl[i];
    bool has_a = std::count(s.begin(), s.end(), a_) > 0,
         has_b = std::count(s.begin(), s.end(), b_) > 0;
    bool has_va = std::count(s.begin(), s.end(), "VA") > 0;
    if (s.size() > 2) throw Skip{"more than two constituents on one sublattice", true};
    if (s.size() == 2 && has_va) throw Skip{"mixing with vacancies", true};
    if (has_a && has_b) {
      if (mixing >= 0) throw Skip{"mixing on two sublattices", true};
      mixing = static_cast<int>(i);
    }
  }
  // Atoms per formula unit of each element (vacancies hold none).
  double atoms_a = 0, atoms_b = 0;
  for (size_t i = 0; i < subl.size(); ++i) {
    if (static_cast<int>(i) == mixing) continue;
    if (subl[i][0] == a_) atoms_a += p.Sites[i];
    if (subl[i][0] == b_) atoms_b += p.Sites[i];
  }
  if (mixing >= 0 && atoms_a + atoms_b > 0)
    throw Skip{
        "a second sublattice holds " + (atoms_a > 0 ? a_ : b_) + " alone beside the mixing one",
        true};

  // The parameters of this phase within A-B.
  auto matches = [&](const Parameter& par, std::vector<std::string>* mix) {
    if (par.Phase != p.Name || par.Constituents.size() != subl.size()) return false;
    for (size_t i = 0; i < subl.size(); ++i) {
      const auto& list = par.Constituents[i];
      if (static_cast<int>(i) == mixing) {
        for (const std::string& c : list) {
          Species s = Resolve(db_, c, a_, b_);
          if (!s.in_system || s.element == "VA") return false;
          mix->push_back(s.element);
        }
        continue;
      }
      if (list.size() != 1) return false;
      if (list[0] == "*") continue;
      Species s = Resolve(db_, list[0], a_, b_);
      if (!s.in_system || s.element != subl[i][0]) return false;
    }
    return true;
  };
  ImportedPhase ph;
  ph.Name = p.Name;
  bool have_a = false, have_b = false, have_g = false, magnetic_params = false;
  Piecewise compound;
  for (const Parameter& par : db_.Parameters) {
    std::vector<std::string> mix;
    if (!matches(par, &mix)) continue;
    if (!par.Replaced.empty()) notes_.push_back(RepeatNote(par));
    const std::string& type = par.Type;
    if (type == "TC" || type == "BMAGN" || type == "BMAG" || type == "BM") {
      magnetic_params = true;
      continue;
    }
    if (type == "V0" || type == "VA" || type == "VB" || type == "VC" || type == "VK" ||
        type == "VS")
      throw Skip{"pressure terms"};
    if (type != "G" && type != "L") {
      notes_.push_back("parameter " + type + " of " + p.Name + " (line " +
                       std::to_string(par.Line) + ") holds no Gibbs energy and is not used");
      continue;
    }
    Piecewise v = Value(par);
    if (mixing < 0) {
      compound = v;
      have_g = true;
    } else if (mix.size() == 1) {
      if (par.Order != 0) continue;
      (mix[0] == a_ ? ph.Solution.GA : ph.Solution.GB) = v;
      (mix[0] == a_ ? have_a : have_b) = true;
    } else if (mix.size() == 2 && mix[0] != mix[1]) {
      // L(A,B;v) multiplies (xA - xB)^v; written B,A it changes sign for odd v.
      double sign = (mix[0] == b_ && par.Order % 2 == 1) ? -1 : 1;
      if (ph.Solution.L.size() <= static_cast<size_t>(par.Order))
        ph.Solution.L.resize(par.Order + 1);
      ph.Solution.L[par.Order] = ph.Solution.L[par.Order] + v.Scaled(sign);
    }
  }
  if (magnetic_params) throw Skip{"magnetic contribution", true};
  if (magnetic)
    notes_.push_back(p.Name + ": magnetic model declared, but no magnetic parameters in " + a_ +
                     "-" + b_ + ": no magnetic contribution");
  if (mixing < 0) {
    if (!have_g) throw Skip{"no Gibbs energy for its end member"};
    double total = atoms_a + atoms_b;
    if (total <= 0) throw Skip{"no atoms of " + a_ + " or " + b_};
    ph.IsCompound = true;
    ph.Compound.X = atoms_b / total;
    ph.Compound.XText = FractionText(atoms_b, total);
    ph.Compound.G = compound;
    ph.Compound.Atoms = total;
    ph.Key = "G" + CleanName(p.Name);
    return ph;
  }
  // Without an end member the one-line form has no energy to write; the form on sublattices
  // takes it as zero, as the database leaves it, and says so.
  if (!have_a) throw Skip{"no Gibbs energy for the end member " + a_, true};
  if (!have_b) throw Skip{"no Gibbs energy for the end member " + b_, true};
  // A key beginning GC would be a compound's line; the form on sublattices keeps the name.
  if (p.Name[0] == 'C' && CleanName(p.Name) == p.Name) throw Skip{"a name beginning with C", true};
  ph.Solution.Atoms = p.Sites[mixing];
  ph.Key = "G" + p.Name;
  if (NeedsRename(p.Name)) {
    ph.Key = "G_" + CleanName(p.Name);
    notes_.push_back("phase " + p.Name + " is written as " + ph.Key +
                     (p.Name[0] == 'C' ? " (a key beginning GC is a compound line)"
                                       : " (its name is not a free name)"));
  }
  return ph;
}

NodePtr X() {
  return Variable("X");
}
NodePtr OneMinus(NodePtr n) {
  return Difference(Number(1), std::move(n));
}

// Terms with a logarithm or another function of T cost most to evaluate; each kind is written
// once per phase with its coefficients weighted by composition, e.g.
// ((1-X)*(a0+a1*HEAV(T-t1))+X*(b0+...))*T*LN(T), so the sweep takes LN(T) once per phase.
bool Costly(const Term& t) {
  return t.LnPow != 0 || !t.Factors.empty() || t.TPow > 4 || t.TPow < -1;
}

Piecewise CoefficientOf(const Piecewise& f, const std::string& key) {
  return f.Map([&](const Lin& l) { return Lin::Constant(l.CoefOf(key)); });
}

Piecewise WithoutCostly(const Piecewise& f) {
  return f.Map([](const Lin& l) {
    Lin r;
    for (const Term& t : l.Terms())
      if (!Costly(t)) r += Lin::Of(t);
    return r;
  });
}

// (1-X)*a + X*b + X*(1-X)*(l0 + l1*(1-2X) + ...), leaving out parts that are zero.
NodePtr Weighted(const Piecewise& a, const Piecewise& b, const std::vector<Piecewise>& l) {
  std::vector<NodePtr> parts;
  if (!a.IsZero()) parts.push_back(Product(OneMinus(X()), NodeOf(a)));
  if (!b.IsZero()) parts.push_back(Product(X(), NodeOf(b)));
  std::vector<NodePtr> rk;
  for (size_t v = 0; v < l.size(); ++v) {
    if (l[v].IsZero()) continue;
    NodePtr lv = NodeOf(l[v]);
    NodePtr d = Difference(Number(1), Product(Number(2), X()));
    if (v == 0)
      rk.push_back(lv);
    else
      rk.push_back(Product(lv, v == 1 ? d : PowerOf(d, static_cast<int>(v))));
  }
  if (!rk.empty()) parts.push_back(Product(X(), Product(OneMinus(X()), SumOf(rk))));
  return SumOf(std::move(parts));
}

std::string SolutionText(const SolutionModel& m, bool* fits, std::string* why) {
  const double k = 1 / m.Atoms;
  const Piecewise ga = m.GA.Scaled(k), gb = m.GB.Scaled(k);
  std::vector<Piecewise> l;
  for (const Piecewise& p : m.L) l.push_back(p.Scaled(k));
  Lin costly;  // one term of each costly kind, in the readable order
  auto collect = [&](const Piecewise& f) {
    for (const Lin& piece : f.Pieces)
      for (Term t : piece.Terms())
        if (Costly(t) && costly.CoefOf(t.Key()) == 0) {
          t.Coef = 1;
          costly += Lin::Of(t);
        }
  };
  collect(ga);
  collect(gb);
  for (const Piecewise& p : l) collect(p);
  std::vector<Piecewise> rest;
  for (const Piecewise& p : l) rest.push_back(WithoutCostly(p));
  std::vector<NodePtr> parts{Weighted(WithoutCostly(ga), WithoutCostly(gb), rest)};
  for (const Term& t : costly.Terms()) {
    const std::string key = t.Key();
    std::vector<Piecewise> lc;
    for (const Piecewise& p : l) lc.push_back(CoefficientOf(p, key));
    parts.push_back(
        Product(Weighted(CoefficientOf(ga, key), CoefficientOf(gb, key), lc), NodeOf(Lin::Of(t))));
  }
  // The ideal mixing term through Sid, which the sheet's SID line defines with the TDB gas
  // constant: the sweep computes it once per composition for all phases.
  return Write(Difference(SumOf(parts), Product(Variable("T"), Variable("Sid"))), fits, why);
}

double IdealEntropy(double x) {
  auto xlnx = [](double v) { return v == 0 ? 0 : v * std::log(v); };
  return -kTdbGasConstant * (xlnx(x) + xlnx(1 - x));
}

// The line as the phase sheet compiles it, evaluated at a few points against the model:
// a mismatch means the text was written wrongly and the phase is not offered.
void Importer::Check(ImportedPhase& ph) {
  if (ph.IsSublattice) {
    // Each value was checked as it was written; the declaration must compile as a sheet does.
    calc::SublatticeDeclarations d(a_, b_);
    try {
      int n = 0;
      for (std::string line : ph.Lines) {
        line.erase(std::remove_if(line.begin(), line.end(),
                                  [](char c) { return static_cast<unsigned char>(c) <= 32; }),
                   line.end());
        d.Take(line, ++n);
      }
      // A part alone has no disordered form to refer to: the reference is left unresolved.
      d.Build();
    } catch (const std::exception& e) {
      throw Skip{std::string("its declaration is not usable (") + e.what() + ")"};
    }
    return;
  }
  bool fits = true;
  std::string expr, why;
  if (ph.IsCompound) {
    expr = Write(NodeOf(ph.Compound.G.Scaled(1 / ph.Compound.Atoms)), &fits, &why);
    ph.Line = "X=" + ph.Compound.XText + ";" + ph.Key + "=" + expr;
  } else {
    expr = SolutionText(ph.Solution, &fits, &why);
    ph.Line = ph.Key + "=" + expr;
  }
  if (!fits && expr.empty())
    throw Skip{"its energy does not fit in one expression of the sheet (" + why + ")"};
  numeric::TParser parser;
  parser.AssignVariable("R", 8.31441);
  double* t = parser.AssignVariable("T", 500);
  parser.AssignVariable("p", 1);
  double* x = parser.AssignVariable("X", ph.IsCompound ? ph.Compound.X : 0.5);
  double* sid = parser.AssignVariable("Sid", 0.5);
  try {
    parser.SetExpression(expr);
  } catch (const std::exception& e) {
    throw Skip{std::string("its energy does not fit in one expression of the sheet (") + e.what() +
               ")"};
  }
  std::vector<double> temps = {300, 500, 800, 1200, 2000};
  const Piecewise& any = ph.IsCompound ? ph.Compound.G : ph.Solution.GA;
  for (double lim : any.Limits) {
    temps.push_back(lim);
    temps.push_back(lim + 0.5);
  }
  for (double T : temps) {
    if (T <= 1) continue;
    for (double X : {0.0, 0.25, 0.5, 0.9, 1.0}) {
      if (ph.IsCompound && X != 0) break;
      *t = T;
      if (!ph.IsCompound) *x = X;
      *sid = IdealEntropy(ph.IsCompound ? ph.Compound.X : X);
      double want = ph.IsCompound ? ph.Compound.Eval(T) : ph.Solution.Eval(X, T);
      double got = 0;
      try {
        got = parser.Value();
      } catch (const std::exception& e) {
        throw Skip{std::string("its energy cannot be evaluated at T = ") + NumberText(T) + " K (" +
                   e.what() + ")"};
      }
      if (std::abs(got - want) > 1e-9 * std::max(1.0, std::abs(want)))
        throw Skip{"the written expression does not reproduce the database at T = " +
                   NumberText(T) + " K"};
    }
  }
}

// Melting points of the pure components: the highest temperature at which a solid of the
// component is below the liquid, found on a 5 K scan and refined by bisection. The phases are
// evaluated as the sheet compiles them, those on sublattices at their best constitution.

void Importer::FindRange(ImportResult& r) {
  constexpr double kSameEnergy = 1e-3;
  r.MeltingPoints = {0, 0};
  std::string liquid_name;
  std::string text = "% components: " + a_ + " " + b_ + "\r\n";
  for (const ImportedPhase& ph : r.Phases) {
    const Phase* p = db_.FindPhase(ph.Name);
    if (!ph.IsCompound && p && IsLiquid(*p) && liquid_name.empty())
      liquid_name = ph.IsSublattice ? ph.Key : ph.Key.substr(1);
    if (ph.IsSublattice)
      for (const std::string& l : ph.Lines) text += l + "\r\n";
    else
      text += ph.Line + "\r\n";
  }
  text += std::string("SID=") + kSidExpression + "\r\n";
  calc::KeepLastMessage quiet;
  calc::PhaseSheet sheet(quiet);
  bool compiled = false;
  try {
    compiled = sheet.Compile(text, '.');
  } catch (const std::exception& e) {
    notes_.push_back(std::string("the sheet does not compile for the melting points: ") + e.what());
  }
  size_t liquid = sheet.Phases.size();
  for (size_t k = 0; compiled && k < sheet.Phases.size(); ++k)
    if (sheet.Phases[k].Name == liquid_name) liquid = k;
  if (liquid < sheet.Phases.size()) {
    for (int end = 0; end < 2; ++end) {
      const double X = end;
      // > 0 while a solid is stable; NaN when an energy cannot be evaluated.
      auto gap = [&](double T) {
        double solid = 1e300;
        try {
          for (size_t k = 0; k < sheet.Phases.size(); ++k) {
            if (k == liquid || !sheet.Phases[k].HasExpression()) continue;
            const double g = sheet.Phases[k].Energy(X, T, 1, 0);
            if (g < solid) solid = g;
          }
          for (calc::PointPhase& pp : sheet.PointPhases) {
            if (pp.Composition != X || !pp.HasExpression()) continue;
            const double g = pp.Energy(T, 1, 0);
            if (g < solid) solid = g;
          }
          return sheet.Phases[liquid].Energy(X, T, 1, 0) - solid;
        } catch (const std::exception&) {
          return std::numeric_limits<double>::quiet_NaN();
        }
      };
      // Going down from where the liquid is stable, the first temperature at which a solid is
      // below it. (Far above the ranges of the data a compound's extrapolated energy may fall
      // below the liquid's: those temperatures are passed over until the liquid is stable.)
      double found = 0;
      bool liquid_seen = false;
      for (double T = 6000; T >= 100; T -= 5) {
        // A phase with the liquid's own energy there (an amorphous phase written on the
        // liquid's data) is no solid: below a thousandth of a J/mol the two are equal.
        const double d = gap(T);
        if (!(d > kSameEnergy)) {
          liquid_seen = liquid_seen || d <= kSameEnergy;
          continue;
        }
        if (!liquid_seen) continue;
        double lo = T, hi = T + 5;
        for (int i = 0; i < 60; ++i) {
          double mid = (lo + hi) / 2;
          (gap(mid) > kSameEnergy ? lo : hi) = mid;
        }
        found = lo;
        break;
      }
      r.MeltingPoints[end] = found;
    }
  }
  double lo = 0, hi = 0;
  for (double tm : r.MeltingPoints) {
    if (tm <= 0) continue;
    lo = lo == 0 ? tm : std::min(lo, tm);
    hi = std::max(hi, tm);
  }
  if (hi == 0) {
    notes_.push_back("no melting point of " + a_ + " or " + b_ +
                     " found: the Y range is 300..2000 K");
    r.Ymin = 300;
    r.Ymax = 2000;
  } else {
    r.Ymin = std::max(10.0, std::floor(0.6 * lo / 10) * 10);
    r.Ymax = std::ceil(1.1 * hi / 10) * 10;
    // A compound or an intermediate solid melting above both components (B2 NiAl at 1950 K
    // beside Ni at 1728 K): the top goes up until the liquid is the lowest phase at every
    // composition, within half as much again as the higher melting point.
    auto SidAt = [&](double x) {
      *sheet.SidX() = x;
      return sheet.sidParser().Value();
    };
    auto liquid_everywhere = [&](double T) {
      try {
        for (int i = 1; i < 20; ++i) {
          const double x = i / 20.0, sid = SidAt(x);
          const double gl = sheet.Phases[liquid].Energy(x, T, 1, sid);
          for (size_t k = 0; k < sheet.Phases.size(); ++k) {
            if (k == liquid || !sheet.Phases[k].HasExpression()) continue;
            if (sheet.Phases[k].Energy(x, T, 1, sid) < gl - kSameEnergy) return false;
          }
        }
        for (calc::PointPhase& pp : sheet.PointPhases) {
          if (!pp.HasExpression() || pp.Composition <= 0 || pp.Composition >= 1) continue;
          const double sid = SidAt(pp.Composition);
          if (pp.Energy(T, 1, sid) <
              sheet.Phases[liquid].Energy(pp.Composition, T, 1, sid) - kSameEnergy)
            return false;
        }
      } catch (const std::exception&) {
      }
      return true;
    };
    if (liquid < sheet.Phases.size() && !opt_.Tmax) {
      const double top = r.Ymax;
      while (r.Ymax < 1.5 * hi && !liquid_everywhere(r.Ymax)) r.Ymax += 50;
      if (r.Ymax > top)
        notes_.push_back("the range's top is " + std::to_string(static_cast<int>(r.Ymax)) +
                         " K, where the liquid is stable at every composition");
    }
  }
  if (opt_.Tmin) r.Ymin = *opt_.Tmin;
  if (opt_.Tmax) r.Ymax = *opt_.Tmax;
}

std::string Importer::Sheet(const ImportResult& r) const {
  std::vector<std::string> lines;
  lines.push_back("% " + a_ + "-" + b_ + " imported from the TDB file " + opt_.SourceName);
  lines.push_back("% components: " + a_ + " " + b_);
  const auto ma = db_.ElementMasses.find(a_), mb = db_.ElementMasses.find(b_);
  if (ma != db_.ElementMasses.end() && mb != db_.ElementMasses.end())
    lines.push_back("% masses: " + numeric::FormatGeneral15(ma->second, '.') + " " +
                    numeric::FormatGeneral15(mb->second, '.'));
  lines.push_back("% X is the mole fraction of " + b_ + ". Energies in J per mole of atoms.");
  lines.push_back(
      "% R = 8.31451 J/(mol K) as in TDB files; Sid below is the ideal entropy of mixing with it.");
  lines.push_back(
      "% Temperature ranges are joined with HEAV(T-limit); the upper range holds at the limit.");
  for (const SkippedPhase& s : r.Skipped)
    lines.push_back("% Skipped phase " + s.Phase + ": " + s.Reason);
  for (const std::string& n : r.Notes) lines.push_back("% Note: " + n);
  lines.push_back(std::string("SID=") + kSidExpression);
  for (const ImportedPhase& ph : r.Phases)
    if (!ph.IsSublattice) lines.push_back(ph.Line);
  bool header = false;
  for (const ImportedPhase& ph : r.Phases) {
    if (!ph.IsSublattice) continue;
    if (!header) {
      lines.push_back(
          "% Phases on sublattices: site ratios after each bracket; parameters per mole of "
          "formula units, as in the TDB file.");
      header = true;
    }
    if (ph.PartOnly)
      lines.push_back("% " + ph.Name + " is the disordered part of an ordered phase only.");
    for (const std::string& l : ph.Lines) lines.push_back(l);
  }
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    // The sheet drops at most 1000 characters from a '%' on: longer comments are cut short.
    if (line[0] == '%' && line.size() > kMaxCommentLine)
      line = line.substr(0, kMaxCommentLine - 3) + "...";
    out += (i ? "\r\n" : "") + line;
  }
  return out;
}

ImportResult Importer::Run() {
  a_ = Upper(opt_.A);
  b_ = Upper(opt_.B);
  for (const std::string& e : {a_, b_})
    if (std::find(db_.Elements.begin(), db_.Elements.end(), e) == db_.Elements.end())
      throw Error("element " + e + " is not in the database (it has " + Join(db_.Elements, ", ") +
                  ")");
  if (a_ == b_) throw Error("the two components must differ");
  ImportResult r;
  r.A = a_;
  r.B = b_;
  const std::vector<std::string> all = PhasesOf(db_, a_, b_);
  std::vector<std::string> wanted;
  for (const std::string& w : opt_.Phases) {
    std::string u = Upper(w);
    if (std::find(all.begin(), all.end(), u) == all.end())
      throw Error("phase " + u + " is not a phase of " + a_ + "-" + b_ + " (there are " +
                  Join(all, ", ") + ")");
    wanted.push_back(u);
  }
  std::vector<std::string> left_out, rejected;
  std::set<std::string> keys;
  // The disordered parts of the ordered phases: declared with them, offered through them.
  std::vector<std::string> part_only;
  for (const std::string& name : all) {
    const std::string part = DisorderedPartOf(*db_.FindPhase(name));
    if (part.empty() || db_.FindPhase(part) == nullptr) continue;
    parts_.insert(part);
    const bool selected =
        wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
    const bool part_selected =
        wanted.empty() || std::find(wanted.begin(), wanted.end(), part) != wanted.end();
    if (selected && !part_selected) part_only.push_back(part);
  }
  auto read = [&](const std::string& name, bool part_only_phase) {
    try {
      ImportedPhase ph = Read(*db_.FindPhase(name));
      ph.PartOnly = part_only_phase;
      if (!keys.insert(ph.Key).second)
        throw Skip{"its key " + ph.Key + " is taken by another phase"};
      Check(ph);
      r.Phases.push_back(std::move(ph));
    } catch (const Skip& s) {
      r.Skipped.push_back({name, s.reason});
    }
  };
  for (const std::string& name : all) {
    const bool selected =
        wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
    if (!selected && std::find(part_only.begin(), part_only.end(), name) == part_only.end()) {
      left_out.push_back(name);
      continue;
    }
    // Without a choice of phases: the alternatives the file itself rejects, and the gas (a
    // diagram of the condensed phases at one bar), are left out with their reason; --phases
    // takes either in.
    // A rejected phase is no loss (the file's authors chose without it): a note, not a
    // phase left out.
    if (wanted.empty()) {
      const Phase& ph = *db_.FindPhase(name);
      if (db_.Rejected.count(name)) {
        rejected.push_back(name);
        continue;
      }
      if (!parts_.count(name) && (ph.Suffix.find('G') != std::string::npos || name == "GAS")) {
        r.Skipped.push_back({name, "gas phase (the diagram is of the condensed phases)"});
        continue;
      }
    }
    read(name, !selected);
  }
  // An ordered phase whose disordered part could not be written cannot be offered either.
  for (size_t i = 0; i < r.Phases.size();) {
    const std::string part = DisorderedPartOf(*db_.FindPhase(r.Phases[i].Name));
    const bool missing =
        !part.empty() && std::none_of(r.Phases.begin(), r.Phases.end(),
                                      [&](const ImportedPhase& q) { return q.Name == part; });
    if (missing) {
      r.Skipped.push_back({r.Phases[i].Name, "its disordered part " + part + " is skipped"});
      r.Phases.erase(r.Phases.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  if (!left_out.empty()) notes_.push_back("not selected: " + Join(left_out, ", "));
  if (!rejected.empty())
    notes_.push_back("rejected by the file's REJECT_PHASE command (--phases takes them in): " +
                     Join(rejected, ", "));
  bool any_solution = false;
  for (const ImportedPhase& ph : r.Phases) any_solution = any_solution || !ph.IsCompound;
  if (!any_solution) {
    std::string why;
    for (const SkippedPhase& s : r.Skipped) why += "; " + s.Phase + ": " + s.Reason;
    throw Error("no solution phase of " + a_ + "-" + b_ + " can be written" + why);
  }
  for (const std::string& i : db_.Ignored) notes_.push_back("statement " + i + " not read");
  if (functions_.UsedPressure())
    notes_.push_back("the pressure P in the expressions is taken as 101325 Pa");
  for (const std::string& n : db_.Notes) notes_.push_back(n);
  FindRange(r);
  if (!(r.Ymin < r.Ymax)) throw Error("the lower temperature must be below the upper one");
  for (const Jump& j : jumps_) {
    const bool written = std::any_of(r.Phases.begin(), r.Phases.end(),
                                     [&](const ImportedPhase& q) { return q.Name == j.phase; });
    if (!written || j.T < r.Ymin || j.T > r.Ymax) continue;
    char by[32];
    std::snprintf(by, sizeof by, "%+.1f", j.by / 1000);
    notes_.push_back(j.phase + ": " + j.parameter + " jumps by " + by + " kJ/mol at " +
                     NumberText(j.T) + " K, where two of its temperature ranges meet (an " +
                     "error of the file?): the phase's energy is taken as the file gives it");
  }
  r.Notes = notes_;
  r.Sheet = Sheet(r);
  return r;
}

}  // namespace

std::vector<std::string> PhasesOf(const Database& db, const std::string& a, const std::string& b) {
  const std::string A = Upper(a), B = Upper(b);
  std::vector<std::string> out;
  for (const Phase& p : db.Phases) {
    if (p.Constituents.empty()) continue;
    bool every = true, atoms = false;
    for (const auto& list : p.Constituents) {
      bool any = false;
      for (const std::string& c : list) {
        Species s = Resolve(db, c, A, B);
        if (s.in_system) any = true;
        if (s.in_system && s.element != "VA") atoms = true;
      }
      every = every && any;
    }
    if (every && atoms) out.push_back(p.Name);
  }
  return out;
}

ImportResult Import(const Database& db, const ImportOptions& options) {
  return Importer(db, options).Run();
}

double SolutionModel::Eval(double X, double T) const {
  auto xlnx = [](double x) { return x == 0 ? 0 : x * std::log(x); };
  double g = (1 - X) * GA.Eval(T) + X * GB.Eval(T);
  double sum = 0;
  for (size_t v = 0; v < L.size(); ++v)
    sum += L[v].Eval(T) * std::pow(1 - 2 * X, static_cast<int>(v));
  g += X * (1 - X) * sum;
  return g / Atoms + kTdbGasConstant * T * (xlnx(X) + xlnx(1 - X));
}

}  // namespace tdb

namespace tdb {

calc::ProblemInput ProblemOf(const ImportResult& r, const std::string& name) {
  calc::ProblemInput p;
  p.ProblemName = name;
  p.Functs = r.Sheet;
  p.Yparameter = calc::YParameter::Temperature;
  p.Ymin = r.Ymin;
  p.Ymax = r.Ymax;
  p.Zparameter = "P, bar";
  p.Zvalue = 1;
  p.XPoints = 200;
  p.YPoints = static_cast<int>(std::clamp(std::round(r.Ymax - r.Ymin), 50.0, 1000.0));
  p.ShowMosaicDiagram = true;
  p.ShowChart = true;
  return p;
}

}  // namespace tdb
