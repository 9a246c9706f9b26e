#pragma once
// Exceptions of the numerical toolkit. what() is always the fixed text the user sees.

#include <stdexcept>
#include <string>

namespace numeric {

// Compilation errors of the expression component. Position() is where the text goes wrong,
// counted from 0 in the expression as it was given, or -1 where no one place is to blame (too
// deep, too complex).
class EMathParserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  int Position() const { return position_; }
  void SetPosition(int position) { position_ = position; }

 private:
  int position_ = -1;
};
class EExpressionHasBlanks : public EMathParserError {
 public:
  EExpressionHasBlanks() : EMathParserError("Expression has blanks") {}
};
class EMissMatchingBracket : public EMathParserError {
 public:
  EMissMatchingBracket() : EMathParserError("Missing brackets in expression") {}
};
class ESyntaxError : public EMathParserError {
 public:
  using EMathParserError::EMathParserError;
};
class ETooManyNestings : public EMathParserError {
 public:
  ETooManyNestings() : EMathParserError("Expression contains too many nestings") {}
};
class EExpressionTooComplex : public EMathParserError {
 public:
  EExpressionTooComplex() : EMathParserError("Expression is too complex") {}
};
class EParserInternalError : public EMathParserError {
 public:
  EParserInternalError() : EMathParserError("TParser internal error") {}
};
// AssignVariable with a name that is not an identifier; the message is the upper-cased name.
class EBadName : public EMathParserError {
 public:
  using EMathParserError::EMathParserError;
};

// Arithmetic errors. Evaluation never yields NaN or infinity: it raises one of these.
class EMathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};
// Integer division (DIV, MOD) by a divisor that truncates to 0.
class EDivByZero : public EMathError {
 public:
  EDivByZero() : EMathError("Division by zero") {}
};

}  // namespace numeric
