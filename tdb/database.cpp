#include "tdb/database.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tdb {

namespace {

// The length of the valid UTF-8 sequence at s[i], 0 when there is none.
size_t Utf8Length(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8Length(text, i);
    if (n == 0) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(text[i]));
      out += buf;
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

Error::Error(const std::string& what) : std::runtime_error(Printable(what)) {}

size_t NumeralLength(std::string_view s) {
  auto digit = [&](size_t i) { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  size_t i = 0;
  while (digit(i)) ++i;
  bool any = i > 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (digit(i)) {
      ++i;
      any = true;
    }
  }
  if (!any) return 0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (digit(j)) {
      while (digit(j)) ++j;
      i = j;
    }
  }
  return i;
}

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

std::string RemoveBlanks(std::string_view s) {
  std::string out;
  for (char c : s)
    if (!IsBlank(c)) out += c;
  return out;
}

std::vector<std::string> SplitAt(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == sep) {
      parts.emplace_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The words of s, split at blanks and commas.
std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  std::string w;
  for (char c : s) {
    if (IsBlank(c) || c == ',') {
      if (!w.empty()) out.push_back(std::move(w));
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) out.push_back(std::move(w));
  return out;
}

// A statement: its text (lines joined by blanks) and the line it starts on.
struct Statement {
  std::string Text;
  int Line = 0;
};

std::vector<Statement> Statements(std::string_view text) {
  std::vector<Statement> out;
  Statement cur;
  int line = 1;
  bool in_comment = false;
  for (char c : text) {
    if (c == '\n') {
      ++line;
      in_comment = false;
      cur.Text += ' ';
      continue;
    }
    if (in_comment) continue;
    if (c == '$') {
      in_comment = true;
      continue;
    }
    if (c == '!') {
      if (!Trim(cur.Text).empty()) out.push_back({Trim(cur.Text), cur.Line});
      cur = Statement{};
      continue;
    }
    if (cur.Line == 0 && !IsBlank(c)) cur.Line = line;
    cur.Text += IsBlank(c) ? ' ' : c;
  }
  if (!Trim(cur.Text).empty())
    throw Error("line " + std::to_string(cur.Line) + ": statement without its closing '!'");
  return out;
}

class Cursor {
 public:
  Cursor(std::string_view text, int line) : text_(text), line_(line) {}
  // The next blank-separated word, or "" at the end.
  std::string Word() {
    Skip();
    size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }
  std::string Rest() {
    std::string r = Trim(text_.substr(std::min(pos_, text_.size())));
    pos_ = text_.size();
    return r;
  }
  bool AtEnd() {
    Skip();
    return pos_ >= text_.size();
  }
  // The text up to (not including) the next c; the cursor moves past c.
  std::string Until(char c, const char* what) {
    size_t at = text_.find(c, pos_);
    if (at == std::string_view::npos) Fail(std::string("missing '") + c + "' after " + what);
    std::string r(text_.substr(pos_, at - pos_));
    pos_ = at + 1;
    return r;
  }
  // A signed numeral that must end at a blank (or the end), else Fail naming what.
  double Number(const char* what) {
    std::string w = Word();
    if (w.empty()) Fail(std::string("missing ") + what);
    double v = 0;
    if (!Numeral(w, &v)) Fail(std::string("bad ") + what + " '" + w + "'");
    return v;
  }
  // A temperature limit: a numeral, or two or more commas for the file's default. An upper
  // limit may have its Y or N glued to it (",,N", "6000N").
  double Limit(double fallback, const char* what, bool upper) {
    Skip();
    if (text_.compare(pos_, 2, ",,") == 0) {
      while (pos_ < text_.size() && text_[pos_] == ',') ++pos_;
      return fallback;
    }
    size_t start = pos_;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    const size_t n = NumeralLength(text_.substr(pos_));
    pos_ += n;
    const bool ends =
        pos_ >= text_.size() || IsBlank(text_[pos_]) ||
        (upper &&
         (text_[pos_] == 'Y' || text_[pos_] == 'N' || text_[pos_] == 'y' || text_[pos_] == 'n') &&
         (pos_ + 1 >= text_.size() || IsBlank(text_[pos_ + 1])));
    double v = n ? std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr) : 0;
    if (n == 0 || !ends || !std::isfinite(v)) {
      pos_ = start;
      std::string w = Word();
      Fail(std::string("bad ") + what + " '" + w + "'");
    }
    return v;
  }
  bool HasAhead(char c) const { return text_.find(c, pos_) != std::string_view::npos; }
  [[noreturn]] void Fail(const std::string& why) const {
    throw Error("line " + std::to_string(line_) + ": " + why);
  }
  int Line() const { return line_; }

  // A whole word that is a signed numeral with a finite value.
  static bool Numeral(const std::string& w, double* v) {
    size_t sign = !w.empty() && (w[0] == '+' || w[0] == '-') ? 1 : 0;
    const size_t n = NumeralLength(std::string_view(w).substr(sign));
    if (n == 0 || sign + n != w.size()) return false;
    *v = std::strtod(w.c_str(), nullptr);
    return std::isfinite(*v);
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  size_t pos_ = 0;
  int line_;
};

// Names are ASCII: a byte above 127 is refused with the line rather than carried into the
// sheet, where it would not be valid text.
std::string Name(const Cursor& c, const std::string& name, const char* what) {
  for (char ch : name) {
    if (static_cast<unsigned char>(ch) > 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(ch));
      c.Fail(std::string("the ") + what + " '" + name +
             "' has a character that is not ASCII (byte " + buf +
             "); names in a TDB file are written in ASCII letters, digits and signs");
    }
  }
  return Upper(name);
}

// Ranges after the low limit: expr ; high Y expr ; high ... N [reference]
void ReadRanges(Cursor& c, const Database& db, double& low, std::vector<Range>& ranges) {
  low = c.Limit(db.DefaultLow, "lower temperature limit", false);
  for (;;) {
    Range r;
    r.Expression = Trim(c.Until(';', "an expression"));
    if (r.Expression.empty()) c.Fail("empty expression");
    r.High = c.Limit(db.DefaultHigh, "upper temperature limit", true);
    ranges.push_back(std::move(r));
    std::string more = Upper(c.Word());
    if (more == "Y") continue;
    if (more == "N" || more.empty()) break;
    // Some files leave the N out and end with the reference; another range would need its Y.
    if (c.HasAhead(';')) c.Fail("expected Y or N after a temperature limit, found '" + more + "'");
    break;
  }
  c.Rest();  // a reference, if any
}

std::vector<std::vector<std::string>> Sublattices(const Cursor& c, const std::string& text) {
  std::vector<std::vector<std::string>> out;
  for (const std::string& part : SplitAt(text, ':')) {
    std::vector<std::string> names;
    for (std::string n : Words(part)) {
      n.erase(std::remove(n.begin(), n.end(), '%'), n.end());
      if (!n.empty()) names.push_back(Name(c, n, "constituent"));
    }
    if (!names.empty()) out.push_back(std::move(names));
  }
  return out;
}

const char* const kKeywords[] = {
    "ELEMENT", "SPECIES", "FUNCTION", "TYPE_DEFINITION", "DEFINE_SYSTEM_DEFAULT", "DEFAULT_COMMAND",
    "PHASE", "CONSTITUENT", "PARAMETER", "TEMPERATURE_LIMITS",
    // Read and left aside: they hold no energy.
    "DATABASE_INFO", "VERSION_DATE", "VERSION_DATA", "REFERENCE_FILE", "LIST_OF_REFERENCES",
    "ADD_REFERENCES", "ASSESSED_SYSTEMS", "DIFFUSION", "ZERO_VOLUME_SPECIES", "CHECK_DATABASE"};

// Whether word abbreviates keyword: each of its parts (split at '_' or '-') begins the
// keyword's part at the same place; later parts may be left out ("TYPE_DEF", "DEF-SYS").
bool Abbreviates(const std::string& word, std::string_view keyword) {
  auto parts = [](std::string_view s) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i)
      if (i == s.size() || s[i] == '_' || s[i] == '-') {
        out.push_back(s.substr(start, i - start));
        start = i + 1;
      }
    return out;
  };
  const auto w = parts(word), k = parts(keyword);
  if (w.size() > k.size() || w[0].empty()) return false;
  for (size_t i = 0; i < w.size(); ++i)
    if (w[i].size() > k[i].size() || k[i].substr(0, w[i].size()) != w[i]) return false;
  return true;
}

// The keyword among candidates a word stands for: itself or the one it abbreviates (at least
// three letters), else "".
template <size_t N>
std::string KeywordOf(const std::string& word, const char* const (&candidates)[N]) {
  std::string w = Upper(word);
  std::string found;
  for (const char* k : candidates) {
    if (w == k) return w;
    if (w.size() >= 3 && Abbreviates(w, k)) {
      if (!found.empty()) return "";
      found = k;
    }
  }
  return found;
}

std::string PhaseNameOnly(const std::string& name, std::string* suffix) {
  std::string n = Upper(name);
  size_t colon = n.find(':');
  if (suffix) *suffix = colon == std::string::npos ? "" : n.substr(colon + 1);
  return colon == std::string::npos ? n : n.substr(0, colon);
}

// Parameter kinds that hold no part of a phase's Gibbs energy at the import's 1 bar: volumes
// (their pressure integral starts at 1 bar) and mobilities.
const char* LeftAside(const std::string& type) {
  static const char* const volume[] = {"V0", "VA", "VB", "VC", "VK"};
  static const char* const mobility[] = {"MQ", "MF", "DQ", "DF"};
  for (const char* v : volume)
    if (type == v) return "volume parameters, whose contribution is zero at 1 bar";
  for (const char* m : mobility)
    if (type == m) return "mobility parameters, which hold no Gibbs energy";
  return nullptr;
}

// The identity of a parameter for finding repeats: kind (G and L alike), phase, degree and the
// constituents of each sublattice in sorted order.
std::string RepeatKey(const Parameter& p) {
  std::string k = (p.Type == "L" ? std::string("G") : p.Type) + "(" + p.Phase;
  for (auto list : p.Constituents) {
    std::sort(list.begin(), list.end());
    k += ":";
    for (const std::string& c : list) k += c + ",";
  }
  return k + ";" + std::to_string(p.Order) + ")";
}

std::string NumberText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

void ReadFormula(const Database& db, SpeciesRecord& s) {
  std::string f = s.Formula;
  const size_t slash = f.find('/');
  if (slash != std::string::npos) {
    const std::string q = f.substr(slash + 1);
    double v = 0;
    if (q == "+" || q == "-")
      s.Charge = q == "+" ? 1 : -1;
    else if (Cursor::Numeral(q, &v))
      s.Charge = v;
    f = f.substr(0, slash);
  }
  auto known = [&](const std::string& e) {
    return e == "VA" || std::find(db.Elements.begin(), db.Elements.end(), e) != db.Elements.end();
  };
  auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
  size_t i = 0;
  while (i < f.size()) {
    if (!letter(f[i])) {
      s.Elements.clear();  // not a formula this reader knows how to take apart
      return;
    }
    size_t len = 1;
    if (i + 1 < f.size() && letter(f[i + 1]) && (known(f.substr(i, 2)) || !known(f.substr(i, 1))))
      len = 2;
    std::string e = f.substr(i, len);
    i += len;
    const size_t n = NumeralLength(std::string_view(f).substr(i));
    double amount = n ? std::strtod(f.substr(i, n).c_str(), nullptr) : 1;
    i += n;
    s.Elements.push_back({e, amount});
  }
}

}  // namespace

std::string Parameter::Name() const {
  std::string s = Type + "(" + Phase;
  for (size_t i = 0; i < Constituents.size(); ++i) {
    s += i ? ":" : ",";
    for (size_t k = 0; k < Constituents[i].size(); ++k) s += (k ? "," : "") + Constituents[i][k];
  }
  return s + ";" + std::to_string(Order) + ")";
}

const Phase* Database::FindPhase(std::string_view name) const {
  for (const Phase& p : Phases)
    if (p.Name == name) return &p;
  return nullptr;
}

std::vector<const Amendment*> Database::AmendmentsOf(const Phase& p) const {
  std::vector<const Amendment*> out;
  for (const Amendment& a : Amendments)
    if (a.Phase == p.Name && p.TypeCodes.find(a.Code) != std::string::npos) out.push_back(&a);
  return out;
}

Database Read(std::string_view text) {
  Database db;
  std::map<std::string, size_t> parameter_index;
  struct LeftOut {
    int count = 0, first_line = 0;
    const char* why = nullptr;
  };
  std::map<std::string, LeftOut> left_out;
  std::vector<std::pair<bool, std::vector<std::string>>> reject_restore;  // true: reject
  std::vector<Amendment> for_any;  // amendments written for '@'
  for (const Statement& st : Statements(text)) {
    Cursor c(st.Text, st.Line);
    std::string word = c.Word();
    std::string key = KeywordOf(word, kKeywords);
    if (key == "ELEMENT") {
      std::string name = Name(c, c.Word(), "element name");
      if (name.empty()) c.Fail("ELEMENT without a name");
      if (name != "/-" && name != "VA" &&
          std::find(db.Elements.begin(), db.Elements.end(), name) == db.Elements.end())
        db.Elements.push_back(name);
      // Its reference phase, then its mass (kept when it is a positive numeral).
      c.Word();
      double mass = 0;
      if (Cursor::Numeral(c.Word(), &mass) && mass > 0) db.ElementMasses[name] = mass;
      c.Rest();
    } else if (key == "SPECIES") {
      std::string name = Name(c, c.Word(), "species name");
      std::string formula = Name(c, c.Word(), "species formula");
      if (name.empty() || formula.empty()) c.Fail("SPECIES needs a name and a formula");
      db.SpeciesFormula[name] = formula;
      db.Species[name] = SpeciesRecord{name, formula, {}, 0, st.Line};
      c.Rest();
    } else if (key == "FUNCTION") {
      Function f;
      f.Name = Name(c, c.Word(), "function name");
      f.Line = st.Line;
      if (f.Name.empty()) c.Fail("FUNCTION without a name");
      ReadRanges(c, db, f.Low, f.Ranges);
      auto old = db.Functions.find(f.Name);
      if (old != db.Functions.end())
        db.Notes.push_back("function " + f.Name + " is defined twice (lines " +
                           std::to_string(old->second.Line) + " and " + std::to_string(f.Line) +
                           "): the later one is used");
      db.Functions[f.Name] = std::move(f);
    } else if (key == "TEMPERATURE_LIMITS") {
      db.DefaultLow = c.Number("lower temperature limit");
      db.DefaultHigh = c.Number("upper temperature limit");
      c.Rest();
    } else if (key == "TYPE_DEFINITION") {
      std::string code = c.Word();
      std::string ges = Upper(c.Word());
      std::string what = Upper(c.Word());
      if (code.size() == 1 && ges == "GES" &&
          (what == "A_P_D" || what.rfind("AMEND_PHASE", 0) == 0)) {
        Amendment a;
        a.Code = code[0];
        a.Phase = PhaseNameOnly(Name(c, c.Word(), "phase name"), nullptr);
        a.Kind = Name(c, c.Word(), "amendment");
        a.Text = Printable(Trim(st.Text));
        a.Line = st.Line;
        for (const std::string& w : Words(c.Rest()))
          a.Args.push_back(Name(c, w, "amendment's word"));
        if (a.Kind.size() >= 3 && std::string_view("MAGNETIC").substr(0, a.Kind.size()) == a.Kind)
          a.Kind = "MAGNETIC";
        if (a.Kind == "DISORDERED_PART" || a.Kind == "DIS_PART") a.Kind = "DIS_PART";
        if (a.Kind == "MAGNETIC") {
          if (a.Args.size() < 2 || !Cursor::Numeral(a.Args[0], &a.AntiferroFactor) ||
              !Cursor::Numeral(a.Args[1], &a.StructureFactor))
            c.Fail("MAGNETIC needs the anti-ferromagnetic factor and the structure factor");
          if (!(a.StructureFactor > 0 && a.StructureFactor <= 1))
            c.Fail("the structure factor of MAGNETIC must lie in (0, 1], found " + a.Args[1]);
        } else if (a.Kind == "DIS_PART") {
          if (a.Args.empty()) c.Fail("DIS_PART needs the name of the disordered phase");
          a.DisorderedPhase = PhaseNameOnly(a.Args[0], nullptr);
        }
        (a.Phase == "@" ? for_any : db.Amendments).push_back(std::move(a));
      }
      // SEQ and other kinds of type definitions hold nothing the import uses.
    } else if (key == "PHASE") {
      Phase p;
      p.Name = PhaseNameOnly(Name(c, c.Word(), "phase name"), &p.Suffix);
      p.Line = st.Line;
      if (p.Name.empty()) c.Fail("PHASE without a name");
      p.TypeCodes = c.Word();
      double n = c.Number("number of sublattices");
      if (n < 1 || n > 10 || n != static_cast<int>(n)) c.Fail("bad number of sublattices");
      for (int i = 0; i < static_cast<int>(n); ++i) {
        const double s = c.Number("number of sites");
        if (!(s > 0))
          c.Fail("the number of sites on sublattice " + std::to_string(i + 1) + " of " + p.Name +
                 " is " + NumberText(s) + "; it must be positive");
        p.Sites.push_back(s);
      }
      c.Rest();
      if (db.FindPhase(p.Name)) c.Fail("phase " + p.Name + " defined twice");
      db.Phases.push_back(std::move(p));
    } else if (key == "CONSTITUENT") {
      std::string rest = c.Rest();
      size_t colon = rest.find(':');
      if (colon == std::string::npos) c.Fail("CONSTITUENT without sublattices");
      std::string n = Name(c, RemoveBlanks(rest.substr(0, colon)), "phase name");
      std::string tail = rest.substr(colon);
      Phase* p = nullptr;
      for (Phase& q : db.Phases)
        if (q.Name == n) p = &q;
      if (!p) c.Fail("CONSTITUENT of an unknown phase " + n);
      p->Constituents = Sublattices(c, tail);
      // "LIQUID:L :PB,SN:" - the letter after the name is the phase's suffix, not a sublattice.
      if (p->Constituents.size() == p->Sites.size() + 1 && !p->Suffix.empty() &&
          p->Constituents.front() == std::vector<std::string>{p->Suffix})
        p->Constituents.erase(p->Constituents.begin());
      if (p->Constituents.size() != p->Sites.size())
        c.Fail("phase " + n + " has " + std::to_string(p->Sites.size()) + " sublattices but " +
               std::to_string(p->Constituents.size()) + " lists of constituents");
    } else if (key == "PARAMETER") {
      Parameter par;
      par.Line = st.Line;
      std::string head = c.Until(')', "the parameter's name");
      size_t open = head.find('(');
      if (open == std::string::npos) c.Fail("missing '(' in a parameter name");
      par.Type = Name(c, Trim(head.substr(0, open)), "parameter kind");
      if (par.Type == "BM" || par.Type == "BMAG") par.Type = "BMAGN";
      std::string inside = RemoveBlanks(head.substr(open + 1));
      size_t semi = inside.find(';');
      std::string order = semi == std::string::npos ? "0" : inside.substr(semi + 1);
      if (order.empty()) order = "0";
      inside = inside.substr(0, semi);
      size_t comma = inside.find(',');
      if (comma == std::string::npos) c.Fail("missing constituents in a parameter name");
      // A mobility names its phase and species as PHASE&SPECIES.
      par.Phase = PhaseNameOnly(Name(c, inside.substr(0, comma), "phase name"), nullptr);
      par.Constituents = Sublattices(c, inside.substr(comma + 1));
      char* end = nullptr;
      long v = std::strtol(order.c_str(), &end, 10);
      if (*end != 0 || v < 0 || v > 100) c.Fail("bad parameter order '" + order + "'");
      par.Order = static_cast<int>(v);
      ReadRanges(c, db, par.Low, par.Ranges);
      if (const char* why = LeftAside(par.Type)) {
        LeftOut& l = left_out[par.Type];
        if (l.count++ == 0) l.first_line = par.Line;
        l.why = why;
        continue;
      }
      const std::string k = RepeatKey(par);
      auto [it, added] = parameter_index.emplace(k, db.Parameters.size());
      if (added) {
        db.Parameters.push_back(std::move(par));
      } else {
        Parameter& earlier = db.Parameters[it->second];
        par.Replaced = earlier.Replaced;
        par.Replaced.push_back(earlier.Line);
        earlier = std::move(par);
      }
    } else if (key == "DEFAULT_COMMAND") {
      static const char* const commands[] = {"REJECT_PHASE", "RESTORE_PHASE",
                                             "DEFINE_SYSTEM_ELEMENT", "REJECT_ELEMENT"};
      const std::string command = KeywordOf(c.Word(), commands);
      if (command == "REJECT_PHASE" || command == "RESTORE_PHASE") {
        std::vector<std::string> names;
        for (const std::string& w : Words(c.Rest()))
          names.push_back(PhaseNameOnly(Name(c, w, "phase name"), nullptr));
        reject_restore.push_back({command == "REJECT_PHASE", std::move(names)});
      }
      c.Rest();
    } else if (!key.empty()) {
      c.Rest();
    } else {
      db.Ignored.push_back(Printable(Upper(word)) + " (line " + std::to_string(st.Line) + ")");
    }
  }
  for (auto& [name, s] : db.Species) ReadFormula(db, s);
  for (const Amendment& a : for_any) {
    for (const Phase& p : db.Phases) {
      if (p.TypeCodes.find(a.Code) == std::string::npos) continue;
      Amendment copy = a;
      copy.Phase = p.Name;
      db.Amendments.push_back(std::move(copy));
    }
  }
  for (const auto& [reject, names] : reject_restore) {
    for (const std::string& n : names) {
      for (const Phase& p : db.Phases) {
        if (n != "*" && n != p.Name) continue;
        if (reject)
          db.Rejected.insert(p.Name);
        else
          db.Rejected.erase(p.Name);
      }
    }
  }
  for (const auto& [type, l] : left_out)
    db.Notes.push_back("parameters " + type + " (" + std::to_string(l.count) + ", from line " +
                       std::to_string(l.first_line) + ") are " + l.why + ": not used");
  return db;
}

Database ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return Read(s.str());
}

}  // namespace tdb
