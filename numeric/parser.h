#pragma once
// The expression component: compiles a one-line arithmetic expression once into a flat list of
// operation nodes bound to variable, constant and result cells, and evaluates it many times.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/errors.h"

namespace numeric {

class TCustomParser {
 public:
  // Called instead of throwing when a compilation fails (sender, exception).
  using TParserErrorEvent = std::function<void(TCustomParser& sender, const std::exception& e)>;

  TCustomParser();
  virtual ~TCustomParser();
  TCustomParser(const TCustomParser&) = delete;
  TCustomParser& operator=(const TCustomParser&) = delete;

  // Defines the variable if it is new (name upper-cased; must be an identifier, else EBadName)
  // and stores the value. The returned cell stays valid for the parser's lifetime.
  double* AssignVariable(std::string_view name, double value);

  // The last text assigned, also when its compilation failed.
  const std::string& Expression() const;
  // Compiles the text. Errors propagate unless OnParserError is set; after a failure the
  // compiled list is empty and Value() is 0.
  void SetExpression(std::string_view text);

  // Evaluates the compiled list; 0 when nothing is compiled. Raises EMathError subclasses.
  double Value();

  // Names the variable cells that change from one evaluation to the next in a long run of them
  // (X and Sid along a level, while T stays). The operations that read none of them are then
  // evaluated only when one of the other variables has changed since: same values, same
  // errors, less work for long expressions of T. Kept for later expressions; empty: off.
  void SetVaryingCells(std::vector<const double*> cells);
  // Whether the expression is evaluated in two parts so (some expressions gain nothing).
  bool Hoisting() const;

  bool FixedNumberformat() const;
  void SetFixedNumberformat(bool on);

  void SetOnParserError(TParserErrorEvent handler);

 protected:
  // The eight built-in cells A, B, C, D, E, X, Y, T (0 at creation).
  double builtin_[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  // TParser enters the built-in cells and the function tables.
  void RegisterBuiltins();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class TParser : public TCustomParser {
 public:
  TParser();

  double A() const { return builtin_[0]; }
  double B() const { return builtin_[1]; }
  double C() const { return builtin_[2]; }
  double D() const { return builtin_[3]; }
  double E() const { return builtin_[4]; }
  double X() const { return builtin_[5]; }
  double Y() const { return builtin_[6]; }
  double T() const { return builtin_[7]; }
  void SetA(double v) { builtin_[0] = v; }
  void SetB(double v) { builtin_[1] = v; }
  void SetC(double v) { builtin_[2] = v; }
  void SetD(double v) { builtin_[3] = v; }
  void SetE(double v) { builtin_[4] = v; }
  void SetX(double v) { builtin_[5] = v; }
  void SetY(double v) { builtin_[6] = v; }
  void SetT(double v) { builtin_[7] = v; }
};

}  // namespace numeric
