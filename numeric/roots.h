#pragma once
// TRoot: root of a one-variable function given as a callback, by bisection, Brent's method or
// Newton's method. Failure is reported both by an exception and by ErrorCode().

#include <cstdint>
#include <functional>

namespace numeric {

enum class TKindOfMethod : uint8_t { Bisection = 0, Brent = 1, Newton = 2 };

// The host writes f(x) (or f'(x)) into y.
using TUserFunc = std::function<void(double x, double& y)>;

class TRoot {
 public:
  // Stores the arguments, runs the chosen method; on failure raises std::runtime_error
  // "Root cannot be found. Code error is N" and leaves Root() unchanged.
  double FindRoot(double x1, double x2, double tolerance, int32_t iter_max);

  double X1() const { return x1_; }
  double X2() const { return x2_; }
  void SetX1(double v) { x1_ = v; }
  void SetX2(double v) { x2_ = v; }
  double Tolerance() const { return tolerance_; }
  void SetTolerance(double v) { tolerance_ = v; }
  int32_t IterMax() const { return iter_max_; }
  void SetIterMax(int32_t v) { iter_max_ = v; }
  TKindOfMethod UseMethod() const { return method_; }
  void SetUseMethod(TKindOfMethod m) { method_ = m; }
  void SetOnUserFunc(TUserFunc f) { on_user_func_ = std::move(f); }
  void SetOnUserPrimeFunc(TUserFunc f) { on_user_prime_func_ = std::move(f); }

  double Root() const { return root_; }
  // Steps made by the last search (halvings, Brent steps or Newton iterations that did not
  // converge).
  int32_t StepCount() const { return counter_; }
  uint8_t ErrorCode() const { return error_code_; }

 private:
  // The user's function at x.
  double F(double x);
  // The methods. Each sets counter_ and error_code_ and returns the root (0 on failure);
  // x1_ and x2_ end as the last bracket (Newton: x1_ the last iterate).
  double Bisection();
  double Brent();
  double Newton();

  double x1_ = 0, x2_ = 0;
  double start_x1_ = 0, start_x2_ = 0;
  double tolerance_ = 0.001;
  int32_t iter_max_ = 100;
  int32_t counter_ = 0;
  TKindOfMethod method_ = TKindOfMethod::Bisection;
  TUserFunc on_user_func_, on_user_prime_func_;
  double root_ = 0;
  uint8_t error_code_ = 0;
};

}  // namespace numeric
