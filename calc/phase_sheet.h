#pragma once
// The phase sheet of a problem compiled into evaluators: the solution phases (energy as a
// function of X), the point phases (compounds of fixed composition) and the entropy evaluator.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "calc/ports.h"
#include "calc/sublattice.h"
#include "numeric/errors.h"
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
  int Line = 0;  // of the sheet, from 1; 0 for a phase on sublattices
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
  // The compositions the phase can take: all of 0..1 for an expression; a phase on sublattices
  // may end inside (Mg2Y of (Mg)2(Mg,Y)1 at X = 1/3).
  double XMin() const { return Model ? Model->XMin() : 0.0; }
  double XMax() const { return Model ? Model->XMax() : 1.0; }
  // For a phase on sublattices at 0 < x < 1: its energy with the first two X derivatives of
  // the minimum, solved rather than differenced (SublatticeModel::MinimumDerivatives). False
  // for an expression, or where the model gives none.
  bool EnergyDerivatives(double x, double T_value, double p_value, double& g, double& g1,
                         double& g2) {
    if (!Model) return false;
    Model->SetLevel(T_value, p_value);
    return Model->MinimumDerivatives(x, Variant, g, g1, g2);
  }
};

// A point phase: its composition as text (general format, 15 digits) and its evaluator. X is
// fixed at compilation.
struct PointPhase {
  std::string Text;
  // The line's key without its "G" ("C" for GC, "CUMG2" for GCUMG2).
  std::string Name;
  int Line = 0;  // of the sheet, from 1; 0 for a compound on sublattices
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

// Where an expression of a sheet failed: its line (from 1), the line's key as written upper-cased
// ("GL", "SID", "GCUMG2"), the column in the line as written (from 1) and the evaluator's own
// message.
struct SheetPlace {
  virtual ~SheetPlace() = default;
  int Line = 0;
  std::string Key;
  int Column = 0;
  std::string Message;
};
// "line 2 (GS), column 5"
std::string SheetPlaceText(const SheetPlace& place);

// An evaluator error met while a sheet compiles, of the evaluator's own family (Base), with
// its place: what() is "line 2 (GS), column 5: " and the evaluator's message.
template <class Base>
class ESheetExpression : public Base, public SheetPlace {
 public:
  explicit ESheetExpression(SheetPlace place)
      : Base(SheetPlaceText(place) + ": " + place.Message), SheetPlace(std::move(place)) {}
};
using ESheetSyntax = ESheetExpression<numeric::EMathParserError>;
using ESheetMath = ESheetExpression<numeric::EMathError>;

// An evaluator error met at a point of a sweep's grid. what() is the evaluator's own message;
// the rest says where: the phase ("SID" for the entropy expression) with its sheet line (0 for
// a phase on sublattices), the composition and the level.
class EGridPointError : public numeric::EMathError {
 public:
  EGridPointError(const std::string& message, std::string phase, int line, double x,
                  std::string y_name, double y)
      : numeric::EMathError(message),
        Phase(std::move(phase)),
        Line(line),
        X(x),
        YName(std::move(y_name)),
        Y(y) {}
  // "phase L at X = 0.5, T = 600"
  std::string Place() const;

  std::string Phase;
  int Line = 0;
  double X = 0;
  std::string YName;  // "T" or "p"
  double Y = 0;
};

// EGridPointError::Place() of an error that is one, else empty.
std::string GridPlaceOf(const std::exception& e);

class PhaseSheet {
 public:
  explicit PhaseSheet(MessagePort& messages);

  // Rebuilds the entropy evaluator's expression, Phases and PointPhases from the sheet's
  // lines. Returns false when a point-phase line was rejected (its warning shown; the lines
  // before it stay compiled) or when the sheet holds more phases than kMaxPhases (an error
  // shown at the first one too many). Evaluator errors end the compilation, as ESheetSyntax or
  // ESheetMath naming the line and the column.
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
