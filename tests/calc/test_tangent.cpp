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

// A phase like Mg2Y, (A)2(A,B)1: it exists for 0 <= x <= 1/3, with u = 1 - 3x of A on the
// mixed sublattice, G = D + (E u + RT (u ln u + (1 - u) ln(1 - u))) / 3, its slope rising without
// bound towards x = 1/3. Beside it a regular solution. The tie line ends a hair inside 1/3:
// every rule must keep that end inside the phase's range (past it the energy is NaN, and the
// first Newton step from the grid's 0.33 goes there).
TEST(Tangent, ATieLineToAPhaseThatEndsInsideZeroToOneStaysInItsRange) {
  constexpr double RT = 8.314 * 1000, E = 150000, D = -15000, W = -20000, kEnd = 1.0 / 3;
  auto mixing = [](double v) { return v > 0 ? v * std::log(v) : 0.0; };
  auto gb = [&](double x) {
    const double u = 1 - 3 * x;
    if (!(u >= 0 && u <= 1)) return std::nan("");
    return D + (E * u + RT * (mixing(u) + mixing(1 - u))) / 3;
  };
  auto ga = [&](double x) { return RT * (mixing(x) + mixing(1 - x)) + W * x * (1 - x); };
  // Closed-form derivatives of both, so only the solve is tested.
  auto ga_at = [&](double x) {
    return XDerivatives{ga(x), RT * std::log(x / (1 - x)) + W * (1 - 2 * x),
                        RT / (x * (1 - x)) - 2 * W};
  };
  auto gb_at = [&](double x) {
    const double u = 1 - 3 * x;
    if (!(u > 0 && u < 1)) return XDerivatives{std::nan(""), std::nan(""), std::nan("")};
    return XDerivatives{gb(x), -(E + RT * std::log(u / (1 - u))), 3 * RT / (u * (1 - u))};
  };
  auto end = [](auto at, double lo, double hi) {
    TangentEnd t{false, at, [at](int n, double x) {
                   const XDerivatives d = at(x);
                   return n == 0 ? d.g : n == 1 ? d.g1 : d.g2;
                 }};
    t.lo = lo;
    t.hi = hi;
    return t;
  };
  // The test's own solve: for each xb, the tangent from (xb, gb) to a's curve by bisection,
  // then bisection in xb on equal slopes.
  auto touch = [&](double xb) {
    double lo = 1e-9, hi = xb - 1e-9;
    for (int i = 0; i < 200; ++i) {
      const double m = 0.5 * (lo + hi);
      const XDerivatives d = ga_at(m);
      (d.g + d.g1 * (xb - m) < gb(xb) ? lo : hi) = m;
    }
    return 0.5 * (lo + hi);
  };
  double ulo = 1e-14, uhi = 0.5;  // in u = 1 - 3 xb
  for (int i = 0; i < 200; ++i) {
    const double um = std::sqrt(ulo * uhi), xb = (1 - um) / 3;
    (ga_at(touch(xb)).g1 < gb_at(xb).g1 ? ulo : uhi) = um;
  }
  const double xb_ref = (1 - std::sqrt(ulo * uhi)) / 3, xa_ref = touch(xb_ref);
  ASSERT_LT(kEnd - xb_ref, 1e-4);
  ASSERT_GT(kEnd - xb_ref, 1e-9);
  for (const TieLineRule rule : {TieLineRule::Halved, TieLineRule::Damped}) {
    SCOPED_TRACE(rule == TieLineRule::Halved ? "halved" : "damped");
    double xa = 0.2, xb = 0.33;
    ASSERT_TRUE(SolveTieLine(end(ga_at, 0, 1), end(gb_at, 0, kEnd), xa, xb, rule));
    EXPECT_NEAR(xa, xa_ref, 1e-9);
    EXPECT_NEAR(xb, xb_ref, 1e-11);
  }
  double xa = 0.2, xb = 0.33;
  ASSERT_TRUE(SolveTieLineBracketed(end(ga_at, 0, 1), end(gb_at, 0, kEnd), xa, xb, 0.005));
  EXPECT_NEAR(xa, xa_ref, 1e-9);
  EXPECT_NEAR(xb, xb_ref, 1e-11);
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
