// The numerical kernel of the exact answers on its own: the common tangent against closed
// forms, and the small solvers where they must say that they failed.

#include <gtest/gtest.h>

#include <cmath>

#include "calc/tangent.h"
#include "numeric/solve.h"

namespace calc {
namespace {

// G = k (x - c)^2 + d, differentiated by the kernel's own stencil, for both rules.
TangentEnd Parabola(double k, double c, double d) {
  auto at = [=](double x) {
    return DerivativesInX([=](double v) { return k * (v - c) * (v - c) + d; }, x);
  };
  return {false, at, [=](int n, double x) {
            const XDerivatives g = at(x);
            return n == 0 ? g.g : n == 1 ? g.g1 : g.g2;
          }};
}

TEST(Tangent, TieLinesOfParabolasAndOfAFixedEndMatchTheirClosedFormsByBothRules) {
  for (const TieLineRule rule : {TieLineRule::Halved, TieLineRule::Damped}) {
    SCOPED_TRACE(rule == TieLineRule::Halved ? "halved" : "damped");
    // (x - 0.2)^2 and 2 (x - 0.7)^2 - 0.05: slope s = 2 - sqrt(4.4), xa = 0.2 + s/2,
    // xb = 0.7 + s/4 (equal slopes and equal intercepts of the two tangents).
    const double s = 2 - std::sqrt(4.4);
    double xa = 0.25, xb = 0.6;
    ASSERT_TRUE(SolveTieLine(Parabola(1, 0.2, 0), Parabola(2, 0.7, -0.05), xa, xb, rule));
    EXPECT_NEAR(xa, 0.2 + s / 2, 1e-12);
    EXPECT_NEAR(xb, 0.7 + s / 4, 1e-12);

    // A compound at X = 1 with G = -0.1 beside (x - 0.5)^2: the tangent from (1, -0.1)
    // touches at xa = 1 - sqrt(1.4) / 2; the compound stays where it is.
    const TangentEnd compound{true, [](double) { return XDerivatives{-0.1}; },
                              [](int, double) { return -0.1; }};
    xa = 0.1, xb = 1;
    ASSERT_TRUE(SolveTieLine(Parabola(1, 0.5, 0), compound, xa, xb, rule));
    EXPECT_NEAR(xa, 1 - std::sqrt(1.4) / 2, 1e-12);
    EXPECT_EQ(xb, 1);

    // One concave phase has no tangent with a point above it: the solve says so.
    xa = 0.3, xb = 0.6;
    EXPECT_FALSE(SolveTieLine(Parabola(-1, 0.5, 0), Parabola(-1, 0.5, 1), xa, xb, rule));
  }
  EXPECT_THROW(DerivativesInX([](double v) { return v; }, 1.0), std::domain_error);
}

TEST(Tangent, SmallSolversFindRootsAndSayWhenThereIsNone) {
  double root = 0;
  // A root 1e-9 from the bracket's end, to the last bits, and an end that is the root.
  ASSERT_TRUE(numeric::BracketedRoot([](double x) { return std::expm1(x - 1e-9); }, 0, 5, root));
  EXPECT_NEAR(root, 1e-9, 1e-24);
  ASSERT_TRUE(numeric::BracketedRoot([](double x) { return x - 2; }, 0, 2, root));
  EXPECT_EQ(root, 2);
  EXPECT_FALSE(numeric::BracketedRoot([](double x) { return x * x + 1; }, -1, 1, root));

  // x^2 + y^2 = 1 and y = x, kept to x > 0: the solution (1/sqrt 2, 1/sqrt 2).
  auto circle = [](const double* u, double* r) {
    r[0] = u[0] * u[0] + u[1] * u[1] - 1;
    r[1] = u[1] - u[0];
  };
  auto right = [](const double* u) { return u[0] > 0; };
  const double steps[2] = {1e-7, 1e-7}, tol[2] = {1e-13, 1e-13};
  double u[2] = {2, -1};
  ASSERT_TRUE(numeric::NewtonSystem(2, circle, u, steps, tol, right));
  EXPECT_NEAR(u[0], std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(u[1], std::sqrt(0.5), 1e-12);
  // x^2 + 1 = 0 has no solution: no convergence, no answer claimed.
  auto none = [](const double* v, double* r) { r[0] = v[0] * v[0] + 1; };
  double v[1] = {0.5};
  EXPECT_FALSE(numeric::NewtonSystem(1, none, v, steps, tol, [](const double*) { return true; }));

  // A smooth minimum is found to the square root of the rounding of its values.
  EXPECT_NEAR(numeric::GoldenMinimum([](double x) { return std::cosh(x - 0.3); }, -2, 4, 1e-9), 0.3,
              1e-7);
}

}  // namespace
}  // namespace calc
