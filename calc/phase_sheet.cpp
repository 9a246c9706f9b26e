#include "calc/phase_sheet.h"

#include <algorithm>
#include <cctype>

#include "calc/limits.h"
#include "calc/sublattice_sheet.h"
#include "numeric/format.h"
#include "numeric/strparser.h"

namespace calc {

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

enum class LineKind { None, Solution, Entropy, Point };

bool IsIdentifier(std::string_view s) {
  auto start = [](char c) { return (c >= 'A' && c <= 'Z') || c == '_'; };
  if (s.empty() || !start(s[0])) return false;
  for (char c : s.substr(1)) {
    if (!start(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

LineKind Classify(const std::string& upper) {
  if (StartsWith(upper, "GL") || StartsWith(upper, "GV") || StartsWith(upper, "GS")) {
    return LineKind::Solution;
  }
  if (StartsWith(upper, "SID")) return LineKind::Entropy;
  if (StartsWith(upper, "GC") || StartsWith(upper, "X")) return LineKind::Point;
  // Any other key "G" + a name is a solution phase of that name (GFCC_A1, GBCT_A5, ...). The
  // name must be one the evaluator can hold as a variable; "E" is left out because the
  // special-point finder reads an empty cell as "E".
  if (StartsWith(upper, "G")) {
    const size_t eq = upper.find('=');
    if (eq != std::string::npos) {
      const std::string_view name = std::string_view(upper).substr(1, eq - 1);
      if (IsIdentifier(name) && name != "E") return LineKind::Solution;
    }
  }
  return LineKind::None;
}

// The column (from 1, in characters) of the `index`-th character that is no blank in `raw`; its
// end when there are fewer.
int ColumnOfKept(const std::string& raw, size_t index) {
  int column = 0;
  size_t kept = 0;
  for (char c : raw) {
    const auto u = static_cast<unsigned char>(c);
    if ((u & 0xC0) != 0x80) ++column;  // a character starts here
    if (u > 32 && kept++ == index) return column;
  }
  return column + 1;
}

}  // namespace

std::string SheetPlaceText(const SheetPlace& place) {
  return "line " + std::to_string(place.Line) + " (" + place.Key + "), column " +
         std::to_string(place.Column);
}

std::string EGridPointError::Place() const {
  return "phase " + Phase + " at X = " + numeric::FormatGeneral15(X, '.') + ", " + YName + " = " +
         numeric::FormatGeneral15(Y, '.');
}

std::string GridPlaceOf(const std::exception& e) {
  const auto* at = dynamic_cast<const EGridPointError*>(&e);
  return at ? at->Place() : std::string();
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

PhaseSheet::PhaseSheet(MessagePort& messages)
    : messages_(messages), sid_parser_(std::make_unique<numeric::TParser>()) {}

double PhaseSheet::Concentration(std::string_view part) {
  const std::string upper = Upper(part);
  const size_t at = upper.find("X=");
  if (at == std::string::npos) return -1;
  const std::string_view text = Trim(std::string_view(upper).substr(at + 2, 100));
  numeric::TParser parser;
  parser.SetExpression(text);
  const double x = parser.Value();
  return x > 1 ? -1 : x;
}

bool PhaseSheet::Compile(std::string_view functs, char decimal_separator) {
  PointPhases.clear();
  Phases.clear();
  sid_parser_->AssignVariable("R", kGasConstant);
  sid_parser_->SetExpression(kDefaultSidExpression);
  sid_p_ = sid_parser_->AssignVariable("p", 1);
  sid_x_ = sid_parser_->AssignVariable("X", sid_parser_->X());

  IgnoredLines.clear();
  const ComponentNames components = ReadComponentNames(functs);
  SublatticeDeclarations sublattice_phases(components.A, components.B);
  const std::vector<std::string> lines = SplitLines(functs);
  for (size_t number = 0; number < lines.size(); ++number) {
    const std::string& raw = lines[number];
    auto ignored = [&] {
      const size_t a = raw.find_first_not_of(" \t");
      const size_t b = raw.find_last_not_of(" \t\r\n");
      IgnoredLines.push_back({static_cast<int>(number) + 1, raw.substr(a, b - a + 1)});
    };
    std::string line;
    line.reserve(raw.size());
    for (char c : raw) {
      if (static_cast<unsigned char>(c) > 32) line.push_back(c);
    }
    const size_t percent = line.find('%');
    // The comment runs to the end of the line, however long (cut at 1000 characters, the rest
    // of a longer one was read as the expression).
    if (percent != std::string::npos) line.erase(percent);
    if (line.empty()) continue;
    // Phases on sublattices (GNAME=(A,B)1...) and their parameters (G(...)=, L(...)=, TC(...)=,
    // BMAGN(...)=).
    if (sublattice_phases.Take(line, static_cast<int>(number) + 1)) continue;

    const LineKind kind = Classify(Upper(line));
    // Where the text given to an evaluator starts in `line`, for the place of its errors.
    size_t expr_start = 0;
    std::string place_key;
    auto compiling = [&](auto&& compile) {
      auto place = [&](int position, const char* message) {
        const size_t at = expr_start + static_cast<size_t>(std::max(position, 0));
        SheetPlace where;
        where.Line = static_cast<int>(number) + 1;
        where.Key = place_key;
        where.Column = ColumnOfKept(raw, at);
        where.Message = message;
        return where;
      };
      try {
        return compile();
      } catch (const numeric::EMathParserError& e) {
        throw ESheetSyntax(place(e.Position(), e.what()));
      } catch (const numeric::EMathError& e) {
        throw ESheetMath(place(-1, e.what()));
      }
    };
    double x = -1;
    if (kind == LineKind::Point) {
      // The parts as they stand in the line, for the places: the key is that of the part that
      // gives the energy.
      std::vector<std::pair<size_t, std::string>> placed;
      for (size_t from = 0;;) {
        const size_t semicolon = line.find(';', from);
        placed.emplace_back(from, Upper(line.substr(from, semicolon - from)));
        if (semicolon == std::string::npos) break;
        from = semicolon + 1;
      }
      place_key = "X";
      for (const auto& [offset, text] : placed) {
        if (!StartsWith(text, "X")) {
          place_key = text.substr(0, text.find('='));
          break;
        }
      }
      numeric::TStrParser splitter;
      splitter.SetDividingString(";");
      splitter.SetCaseSensitive(false);
      splitter.Split(Upper(line));
      std::vector<std::string>& parts = splitter.Items();
      for (size_t i = parts.size(); i-- > 0;) {
        if (StartsWith(parts[i], "X")) {
          for (const auto& [offset, text] : placed) {
            if (text == parts[i]) {
              // The composition's text starts after "X=" and its blanks.
              const size_t eq = text.find("X=");
              expr_start = offset + (eq == std::string::npos ? 0 : eq + 2);
              break;
            }
          }
          x = compiling([&] { return Concentration(parts[i]); });
          parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
        }
      }
      if (!(x >= 0)) {
        messages_.MessageDlg("Point phase concentration is invalid or not defined",
                             DialogType::Warning, {DialogButton::OK});
        return false;
      }
      if (parts.empty()) {
        messages_.MessageDlg("Gibbs energy expression for point phase is invalid or not defined",
                             DialogType::Warning, {DialogButton::OK});
        return false;
      }
      line = parts.front();
      for (const auto& [offset, text] : placed) {
        if (text == line) {
          expr_start = offset;
          break;
        }
      }
    }

    const size_t eq = line.find('=');
    // A line without "=" has no meaning, wherever it stands: it is skipped.
    if (eq == std::string::npos) {
      ignored();
      continue;
    }
    const std::string key = Upper(std::string_view(line).substr(0, eq));
    const std::string expr = line.substr(eq + 1);
    expr_start += eq + 1;
    place_key = key;

    const bool adds_phase =
        kind == LineKind::Solution || (kind == LineKind::Point && !expr.empty());
    if (adds_phase && static_cast<int64_t>(Phases.size() + PointPhases.size()) >= kMaxPhases) {
      messages_.MessageDlg(FormatLimitText(kTooManyPhasesText, {kMaxPhases}), DialogType::Error,
                           {DialogButton::OK});
      return false;
    }
    switch (kind) {
      case LineKind::Solution: {
        SolutionPhase phase;
        phase.Parser = std::make_unique<numeric::TParser>();
        numeric::TParser& p = *phase.Parser;
        p.AssignVariable("R", kGasConstant);
        phase.T = p.AssignVariable("T", 500);
        phase.p = p.AssignVariable("p", 1);
        phase.X = p.AssignVariable("X", 0.5);
        phase.Sid = p.AssignVariable("Sid", 0.5);
        compiling([&] { p.SetExpression(expr); });
        // A level evaluates the phase at every X with T and p fixed: what depends on T alone
        // (the temperature ranges of an assessed system) is worked out once a level.
        p.SetVaryingCells({phase.X, phase.Sid});
        phase.Name = key.substr(1);
        phase.Line = static_cast<int>(number) + 1;
        p.AssignVariable(phase.Name, 0);
        Phases.push_back(std::move(phase));
        break;
      }
      case LineKind::Entropy:
        compiling([&] { sid_parser_->SetExpression(expr); });
        break;
      case LineKind::Point: {
        if (expr.empty()) {
          ignored();
          break;
        }
        PointPhase phase;
        phase.Text = numeric::FormatGeneral15(x, decimal_separator);
        phase.Name = key.substr(1);
        phase.Line = static_cast<int>(number) + 1;
        // The sweep works with the composition as the text reads back, as every reader does.
        phase.Composition = x;
        numeric::ParseFloat(phase.Text, decimal_separator, phase.Composition);
        phase.Parser = std::make_unique<numeric::TParser>();
        numeric::TParser& p = *phase.Parser;
        p.AssignVariable("R", kGasConstant);
        phase.p = p.AssignVariable("p", 1);
        p.AssignVariable("X", x);
        phase.Sid = p.AssignVariable("Sid", 0.5);
        compiling([&] { p.SetExpression(expr); });
        p.AssignVariable(key, 0);
        // The sweep gives T at every level; its cell is taken once here.
        phase.T = p.AssignVariable("T", p.T());
        PointPhases.push_back(std::move(phase));
        break;
      }
      case LineKind::None:
        ignored();
        break;
    }
  }
  if (!sublattice_phases.Empty()) return AddSublatticePhases(sublattice_phases, decimal_separator);
  return true;
}

bool PhaseSheet::AddSublatticePhases(SublatticeDeclarations& declarations, char decimal_separator) {
  for (SublatticeDeclarations::Offered& o : declarations.Build()) {
    if (static_cast<int64_t>(Phases.size() + PointPhases.size()) >= kMaxPhases) {
      messages_.MessageDlg(FormatLimitText(kTooManyPhasesText, {kMaxPhases}), DialogType::Error,
                           {DialogButton::OK});
      return false;
    }
    for (const SolutionPhase& ph : Phases)
      if (ph.Name == o.Name)
        throw ESheetError("Phase " + o.Name +
                          " is declared twice: on sublattices and by an expression");
    // Its own evaluator stays empty; it holds the cells the sweep's code writes for every
    // phase.
    auto parser = std::make_unique<numeric::TParser>();
    double* t = parser->AssignVariable("T", 500);
    double* p = parser->AssignVariable("p", 1);
    if (o.Compound) {
      PointPhase phase;
      const double x = o.Model->CompoundX();
      phase.Text = numeric::FormatGeneral15(x, decimal_separator);
      phase.Name = o.Name;
      phase.Composition = x;
      numeric::ParseFloat(phase.Text, decimal_separator, phase.Composition);
      phase.T = t;
      phase.p = p;
      phase.Sid = parser->AssignVariable("Sid", 0.5);
      phase.Parser = std::move(parser);
      phase.Model = o.Model;
      PointPhases.push_back(std::move(phase));
    } else {
      SolutionPhase phase;
      phase.Name = o.Name;
      phase.T = t;
      phase.p = p;
      phase.X = parser->AssignVariable("X", 0.5);
      phase.Sid = parser->AssignVariable("Sid", 0.5);
      phase.Parser = std::move(parser);
      phase.Model = o.Model;
      phase.Variant = o.Variant;
      Phases.push_back(std::move(phase));
    }
  }
  return true;
}

std::vector<LeftOutPhase> ReadLeftOutPhases(std::string_view functs) {
  static constexpr std::string_view kWords = "% Skipped phase ";
  std::vector<LeftOutPhase> out;
  for (const std::string& line : SplitLines(functs)) {
    if (line.compare(0, kWords.size(), kWords) != 0) continue;
    const size_t colon = line.find(": ", kWords.size());
    if (colon == std::string::npos) continue;
    out.push_back({line.substr(kWords.size(), colon - kWords.size()), line.substr(colon + 2)});
  }
  return out;
}

ComponentNames ReadComponentNames(std::string_view functs) {
  static constexpr std::string_view kWord = "components:";
  for (const std::string& line : SplitLines(functs)) {
    const size_t pct = line.find('%');
    if (pct == std::string::npos) continue;
    size_t i = line.find_first_not_of(" \t", pct + 1);
    if (i == std::string::npos || line.size() - i < kWord.size()) continue;
    bool match = true;
    for (size_t k = 0; k < kWord.size() && match; ++k)
      match = std::tolower(static_cast<unsigned char>(line[i + k])) == kWord[k];
    if (!match) continue;
    std::vector<std::string> names;
    std::string cur;
    for (size_t k = i + kWord.size(); k <= line.size(); ++k) {
      const char c = k < line.size() ? line[k] : ' ';
      if (c == ' ' || c == '\t' || c == ',' || c == ';') {
        if (!cur.empty()) names.push_back(std::move(cur));
        cur.clear();
      } else {
        cur += c;
      }
    }
    // Exactly two names, each starting with a letter: a comment that merely begins with the
    // word (e.g. "% components: A 2 bar, B 0.5 bar") names nothing.
    const auto is_name = [](const std::string& n) {
      return std::isalpha(static_cast<unsigned char>(n[0])) != 0;
    };
    if (names.size() == 2 && is_name(names[0]) && is_name(names[1])) return {names[0], names[1]};
  }
  return {};
}

std::string PhaseSheet::Label(const std::string& name) const {
  for (const PointPhase& p : PointPhases) {
    if (p.Text != name) continue;
    return p.Name.empty() || p.Name == "C" ? "C(" + p.Text + ")" : p.Name;
  }
  return name;
}

}  // namespace calc
