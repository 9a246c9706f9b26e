#pragma once
// The phase sheet of a problem compiled into evaluators: the solution phases (energy as a
// function of X), the point phases (compounds of fixed composition) and the entropy evaluator.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "calc/ports.h"
#include "calc/sublattice.h"
#include "numeric/parser.h"

namespace calc {

class SublatticeDeclarations;

inline constexpr double kGasConstant = 8.31441;
inline constexpr const char* kDefaultSidExpression = "-8.31441*(X*Ln(X)+(1-X)*ln(1-X))";

// A solution phase: its name (the line's key without its first letter, upper case) and its
// evaluator, with the cells of the variables the sweep writes; or a phase on sublattices
// (Model), whose energy at X is its minimum over its site fractions.
struct SolutionPhase {
  std::string Name;
  std::unique_ptr<numeric::TParser> Parser;
  double* T = nullptr;
  double* p = nullptr;
  double* X = nullptr;
  double* Sid = nullptr;
  std::shared_ptr<SublatticeModel> Model;
  OrderVariant Variant = OrderVariant::Any;
  bool HasExpression() const { return Model != nullptr || !Parser->Expression().empty(); }
  // G at (x, T, p) with the entropy value sid: the expression's value, or the model's minimum
  // (NaN where the phase cannot take x). `slot` is the grid column during a sweep, where the
  // model keeps its constitution for the next level. Evaluator errors propagate.
  double Energy(double x, double T_value, double p_value, double sid, int slot = -1) {
    if (Model) {
      Model->SetLevel(T_value, p_value);
      return Model->Minimum(x, Variant, slot);
    }
    *T = T_value;
    *p = p_value;
    *X = x;
    *Sid = sid;
    return Parser->Value();
  }
};

// A point phase: its composition as text (general format, 15 digits) and its evaluator. X is
// fixed at compilation.
struct PointPhase {
  std::string Text;
  // The line's key without its "G" ("C" for GC, "CUMG2" for GCUMG2).
  std::string Name;
  // The composition read back from Text.
  double Composition = 0;
  std::unique_ptr<numeric::TParser> Parser;
  double* T = nullptr;
  double* p = nullptr;
  double* Sid = nullptr;
  // A compound declared as a phase on sublattices of one constituent each.
  std::shared_ptr<SublatticeModel> Model;
  bool HasExpression() const { return Model != nullptr || !Parser->Expression().empty(); }
  // G at (T, p) with the entropy value sid. Evaluator errors propagate.
  double Energy(double T_value, double p_value, double sid) {
    if (Model) {
      Model->SetLevel(T_value, p_value);
      return Model->CompoundEnergy();
    }
    *Sid = sid;
    *T = T_value;
    *p = p_value;
    return Parser->Value();
  }
};

class PhaseSheet {
 public:
  explicit PhaseSheet(MessagePort& messages);

  // Rebuilds the entropy evaluator's expression, Phases and PointPhases from the sheet's
  // lines. Returns false when a point-phase line was rejected (its warning shown; the lines
  // before it stay compiled) or when the sheet holds more phases than kMaxPhases (an error
  // shown at the first one too many). Evaluator errors propagate and end the compilation.
  bool Compile(std::string_view functs, char decimal_separator);

  // The composition of one "X" part of a point-phase line: the value of the text after "X=",
  // or -1 when there is no "X=" or the value is above 1. Evaluator errors propagate.
  static double Concentration(std::string_view part);

  // How the user sees a phase of the results: a solution phase by its name; a point phase,
  // which the results name by its composition text, by its line's key ("CUMG2" for a line
  // GCUMG2), or as C(0.5) for a line GC, whose key names no compound.
  std::string Label(const std::string& name) const;

  numeric::TParser& sidParser() { return *sid_parser_; }
  double* SidX() { return sid_x_; }
  double* SidP() { return sid_p_; }

  std::vector<SolutionPhase> Phases;
  std::vector<PointPhase> PointPhases;
  // The lines the last compilation skipped although they hold more than blanks and a comment:
  // lines of no kind (LIQ=...), lines without "=", point phases with an empty expression. The
  // line number counts from 1; the text is the line as written, trimmed.
  struct IgnoredLine {
    int Number = 0;
    std::string Text;
  };
  std::vector<IgnoredLine> IgnoredLines;

 private:
  // Appends the phases the sheet declares on sublattices (after the lines of the other kinds).
  bool AddSublatticePhases(SublatticeDeclarations& declarations, char decimal_separator);

  MessagePort& messages_;
  std::unique_ptr<numeric::TParser> sid_parser_;
  double* sid_x_ = nullptr;
  double* sid_p_ = nullptr;
};

// The names of the two components when the sheet gives them in a comment directive
// "% components: A_NAME B_NAME" (any case for the word; exactly two names, each beginning with a
// letter, separated by blanks or a comma; the first such line wins). Empty strings when the sheet
// names none: the program then says A and B. The compiler ignores the line as it ignores every
// comment.
struct ComponentNames {
  std::string A, B;
  bool Named() const { return !A.empty(); }
};
ComponentNames ReadComponentNames(std::string_view functs);

// The phases an import left out, from its comment lines "% Skipped phase NAME: reason": a
// diagram computed without them may be incomplete, and says so.
struct LeftOutPhase {
  std::string Phase, Reason;
};
std::vector<LeftOutPhase> ReadLeftOutPhases(std::string_view functs);

// The lines of a memo text: split at CR LF, LF or CR; a final line break adds no line.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace calc
