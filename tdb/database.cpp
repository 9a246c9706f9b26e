#include "tdb/database.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tdb {
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
  // The text up to (not including) the next c; the cursor moves past c.
  std::string Until(char c, const char* what) {
    size_t at = text_.find(c, pos_);
    if (at == std::string_view::npos) Fail(std::string("missing '") + c + "' after " + what);
    std::string r(text_.substr(pos_, at - pos_));
    pos_ = at + 1;
    return r;
  }
  double Number(const char* what) {
    std::string w = Word();
    if (w.empty()) Fail(std::string("missing ") + what);
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(w.c_str(), &end);
    if (end != w.c_str() + w.size() || errno == ERANGE)
      Fail(std::string("bad ") + what + " '" + w + "'");
    return v;
  }
  [[noreturn]] void Fail(const std::string& why) const {
    throw Error("line " + std::to_string(line_) + ": " + why);
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  size_t pos_ = 0;
  int line_;
};

// Ranges after the low limit: expr ; high Y expr ; high ... N [reference]
void ReadRanges(Cursor& c, double& low, std::vector<Range>& ranges) {
  low = c.Number("lower temperature limit");
  for (;;) {
    Range r;
    r.Expression = Trim(c.Until(';', "an expression"));
    if (r.Expression.empty()) c.Fail("empty expression");
    r.High = c.Number("upper temperature limit");
    ranges.push_back(std::move(r));
    std::string more = Upper(c.Word());
    if (more == "Y") continue;
    if (more == "N" || more.empty()) break;
    c.Fail("expected Y or N after a temperature limit, found '" + more + "'");
  }
  c.Rest();  // a reference, if any
}

std::vector<std::vector<std::string>> Sublattices(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  std::string t;
  for (char c : text)
    if (c != '%' && !IsBlank(c)) t += c;
  for (const std::string& part : SplitAt(t, ':')) {
    if (part.empty()) continue;
    std::vector<std::string> names;
    for (const std::string& n : SplitAt(part, ','))
      if (!n.empty()) names.push_back(Upper(n));
    out.push_back(std::move(names));
  }
  return out;
}

const char* const kKeywords[] = {
    "ELEMENT", "SPECIES", "FUNCTION", "TYPE_DEFINITION", "DEFINE_SYSTEM_DEFAULT", "DEFAULT_COMMAND",
    "PHASE", "CONSTITUENT", "PARAMETER",
    // Read and left aside: they hold no energy.
    "DATABASE_INFO", "VERSION_DATE", "VERSION_DATA", "REFERENCE_FILE", "LIST_OF_REFERENCES",
    "ADD_REFERENCES", "ASSESSED_SYSTEMS", "TEMPERATURE_LIMITS", "DIFFUSION", "ZERO_VOLUME_SPECIES",
    "CHECK_DATABASE"};

// The keyword a word stands for: itself or the one keyword it abbreviates, else "".
std::string Keyword(const std::string& word) {
  std::string w = Upper(word);
  std::string found;
  for (const char* k : kKeywords) {
    std::string_view kv(k);
    if (kv == w) return w;
    if (w.size() >= 3 && kv.substr(0, w.size()) == w) {
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

}  // namespace

const Phase* Database::FindPhase(std::string_view name) const {
  for (const Phase& p : Phases)
    if (p.Name == name) return &p;
  return nullptr;
}

Database Read(std::string_view text) {
  Database db;
  for (const Statement& st : Statements(text)) {
    Cursor c(st.Text, st.Line);
    std::string word = c.Word();
    std::string key = Keyword(word);
    if (key == "ELEMENT") {
      std::string name = Upper(c.Word());
      if (name.empty()) c.Fail("ELEMENT without a name");
      if (name != "/-" && name != "VA") db.Elements.push_back(name);
      c.Rest();
    } else if (key == "SPECIES") {
      std::string name = Upper(c.Word());
      std::string formula = Upper(c.Word());
      if (name.empty() || formula.empty()) c.Fail("SPECIES needs a name and a formula");
      db.SpeciesFormula[name] = formula;
      c.Rest();
    } else if (key == "FUNCTION") {
      Function f;
      f.Name = Upper(c.Word());
      f.Line = st.Line;
      if (f.Name.empty()) c.Fail("FUNCTION without a name");
      ReadRanges(c, f.Low, f.Ranges);
      db.Functions[f.Name] = std::move(f);
    } else if (key == "TYPE_DEFINITION") {
      std::string code = c.Word();
      std::string rest = c.Rest();
      Cursor r(rest, st.Line);
      std::string ges = Upper(r.Word());
      std::string what = Upper(r.Word());
      if (code.size() == 1 && ges == "GES" &&
          (what == "A_P_D" || what.rfind("AMEND_PHASE", 0) == 0 ||
           what == "AMEND_PHASE_DESCRIPTION")) {
        Amendment a;
        a.Code = code[0];
        a.Phase = PhaseNameOnly(r.Word(), nullptr);
        a.Kind = Upper(r.Word());
        a.Text = Trim(st.Text);
        db.Amendments.push_back(std::move(a));
      }
      // SEQ and other kinds of type definitions hold nothing the import uses.
    } else if (key == "PHASE") {
      Phase p;
      p.Name = PhaseNameOnly(c.Word(), &p.Suffix);
      p.Line = st.Line;
      if (p.Name.empty()) c.Fail("PHASE without a name");
      p.TypeCodes = c.Word();
      double n = c.Number("number of sublattices");
      if (n < 1 || n > 10 || n != static_cast<int>(n)) c.Fail("bad number of sublattices");
      for (int i = 0; i < static_cast<int>(n); ++i) p.Sites.push_back(c.Number("number of sites"));
      c.Rest();
      if (db.FindPhase(p.Name)) c.Fail("phase " + p.Name + " defined twice");
      db.Phases.push_back(std::move(p));
    } else if (key == "CONSTITUENT") {
      std::string rest = RemoveBlanks(c.Rest());
      size_t colon = rest.find(':');
      if (colon == std::string::npos) c.Fail("CONSTITUENT without sublattices");
      std::string n = Upper(rest.substr(0, colon));
      std::string tail = rest.substr(colon);
      Phase* p = nullptr;
      for (Phase& q : db.Phases)
        if (q.Name == n) p = &q;
      if (!p) c.Fail("CONSTITUENT of an unknown phase " + n);
      p->Constituents = Sublattices(tail);
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
      par.Type = Upper(Trim(head.substr(0, open)));
      std::string inside = RemoveBlanks(head.substr(open + 1));
      size_t semi = inside.find(';');
      std::string order = semi == std::string::npos ? "0" : inside.substr(semi + 1);
      inside = inside.substr(0, semi);
      size_t comma = inside.find(',');
      if (comma == std::string::npos) c.Fail("missing constituents in a parameter name");
      par.Phase = PhaseNameOnly(inside.substr(0, comma), nullptr);
      par.Constituents = Sublattices(inside.substr(comma + 1));
      char* end = nullptr;
      long v = std::strtol(order.c_str(), &end, 10);
      if (order.empty() || *end != 0 || v < 0 || v > 100)
        c.Fail("bad parameter order '" + order + "'");
      par.Order = static_cast<int>(v);
      ReadRanges(c, par.Low, par.Ranges);
      db.Parameters.push_back(std::move(par));
    } else if (key == "DEFINE_SYSTEM_DEFAULT" || key == "DEFAULT_COMMAND" || !key.empty()) {
      c.Rest();
    } else {
      db.Ignored.push_back(Upper(word) + " (line " + std::to_string(st.Line) + ")");
    }
  }
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
