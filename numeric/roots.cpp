#include "numeric/roots.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace numeric {
namespace {

// Stands for zero in the tests of the methods.
constexpr double kEps = 1e-20;

// Two values bracket a root unless both are of the same strict sign; a zero always brackets.
bool Bracket(double u, double v) { return !((u > 0 && v > 0) || (u < 0 && v < 0)); }

// Brent's choice of the next step: inverse quadratic interpolation (a secant step when a and c
// coincide) when it stays well inside the bracket and the steps before shrank fast enough,
// bisection otherwise. d is the step to take, e the one before it.
void ChooseBrentStep(double a, double b, double c, double fa, double fb, double fc, double xm,
                     double tol1, double& d, double& e) {
  if (!(std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb))) {
    d = xm;
    e = d;
    return;
  }
  const double s = fb / fa;
  double p, q;
  if (std::fabs(a - c) < kEps) {
    p = 2 * xm * s;
    q = 1 - s;
  } else {
    q = fa / fc;
    const double r = fb / fc;
    p = s * (2 * xm * q * (q - r) - (b - a) * (r - 1));
    q = (q - 1) * (r - 1) * (s - 1);
  }
  if (p > kEps) q = -q;
  p = std::fabs(p);
  const double u = 3 * xm * q - std::fabs(tol1 * q);
  const double v = std::fabs(e * q);
  if (2 * p < (u < v ? u : v)) {
    e = d;
    d = p / q;
  } else {
    d = xm;
    e = d;
  }
}

}  // namespace

double TRoot::FindRoot(double x1, double x2, double tolerance, int32_t iter_max) {
  x1_ = x1;
  x2_ = x2;
  start_x1_ = x1;
  start_x2_ = x2;
  tolerance_ = tolerance;
  iter_max_ = iter_max >= 1 ? iter_max : std::numeric_limits<int32_t>::max();

  if (!on_user_func_) throw std::logic_error("TRoot: OnUserFunc is not assigned");
  if (method_ == TKindOfMethod::Newton && !on_user_prime_func_)
    throw std::logic_error("TRoot: OnUserPrimeFunc is not assigned");

  double result = 0;
  switch (method_) {
    case TKindOfMethod::Bisection: result = Bisection(); break;
    case TKindOfMethod::Brent: result = Brent(); break;
    case TKindOfMethod::Newton: result = Newton(); break;
  }
  if (error_code_ != 0)
    throw std::runtime_error("Root cannot be found. Code error is " + std::to_string(error_code_));
  root_ = result;
  return result;
}

double TRoot::F(double x) {
  double y = 0;
  on_user_func_(x, y);
  return y;
}

double TRoot::Bisection() {
  counter_ = 0;
  error_code_ = 0;
  double& a = x1_;
  double& b = x2_;
  double fa = F(a);
  const double fb = F(b);
  if (!Bracket(fa, fb)) {
    error_code_ = 1;
    return 0;
  }
  for (;;) {
    const double m = (a + b) / 2;
    const double fm = F(m);
    if (Bracket(fa, fm)) {
      b = m;
    } else {
      a = m;
      fa = fm;
    }
    // (Written so that a NaN width ends the search, as a width within the tolerance does.)
    if (!(std::fabs(b - a) > tolerance_)) {
      // The result is the last midpoint, not the middle of the final interval.
      F(m);
      return m;
    }
    if (++counter_ >= iter_max_) {
      error_code_ = 2;
      return 0;
    }
  }
}

double TRoot::Brent() {
  counter_ = 0;
  error_code_ = 0;
  double& a = x1_;
  double& b = x2_;
  double fa = F(a);
  double fb = F(b);
  if (!Bracket(fa, fb)) {
    error_code_ = 1;
    return 0;
  }
  double c = b, fc = fb;
  double d = 0, e = 0;
  for (;;) {
    // c is the other end of the bracket around the root; b is the best estimate.
    if (!Bracket(fb, fc)) {
      c = a;
      fc = fa;
      d = b - a;
      e = d;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const double tol1 = 2e-11 * std::fabs(b) + 0.5 * tolerance_;
    const double xm = 0.5 * (c - b);
    // The second test looks at the value at a, not at b.
    if (std::fabs(xm) <= tol1 || std::fabs(fa) < kEps) {
      F(b);
      return b;
    }
    ChooseBrentStep(a, b, c, fa, fb, fc, xm, tol1, d, e);
    a = b;
    fa = fb;
    if (std::fabs(d) > tol1) {
      b += d;
    } else {
      b += xm > 0 ? std::fabs(tol1) : -std::fabs(tol1);
    }
    fb = F(b);
    if (++counter_ >= iter_max_) {
      error_code_ = 2;
      return 0;
    }
  }
}

double TRoot::Newton() {
  double& x = x1_;
  error_code_ = 0;
  double fx = F(x);
  counter_ = 0;
  for (;;) {
    if (std::fabs(x) < kEps) {
      error_code_ = 1;
      return 0;
    }
    double fp = 0;
    on_user_prime_func_(x, fp);
    if (std::fabs(fp) < kEps) {
      error_code_ = 2;
      return 0;
    }
    const double x_old = x;
    x = x - fx / fp;
    fx = F(x);
    if (!(std::fabs(x - x_old) > tolerance_)) {
      F(x);
      return x;
    }
    if (++counter_ >= iter_max_) {
      error_code_ = 3;
      return 0;
    }
  }
}

}  // namespace numeric
