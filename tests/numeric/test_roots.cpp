#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "numeric/roots.h"

namespace {

using numeric::TKindOfMethod;
using numeric::TRoot;

// A root finder whose callbacks record every point at which they were called.
struct Probe {
  TRoot root;
  std::vector<double> calls;
  std::function<double(double)> f;
  std::function<double(double)> fp;

  Probe(TKindOfMethod m, std::function<double(double)> fn, std::function<double(double)> dfn = {})
      : f(std::move(fn)), fp(std::move(dfn)) {
    root.SetUseMethod(m);
    root.SetOnUserFunc([this](double x, double& y) {
      calls.push_back(x);
      y = f(x);
    });
    if (fp) root.SetOnUserPrimeFunc([this](double x, double& y) { y = fp(x); });
  }
  // FindRoot that reports the error code instead of throwing; checks the message on failure.
  int Find(double x1, double x2, double tol, int32_t iter_max) {
    try {
      root.FindRoot(x1, x2, tol, iter_max);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()),
                "Root cannot be found. Code error is " + std::to_string(root.ErrorCode()));
      EXPECT_NE(root.ErrorCode(), 0);
      return root.ErrorCode();
    }
    EXPECT_EQ(root.ErrorCode(), 0);
    return 0;
  }
};

const char* Name(TKindOfMethod m) {
  switch (m) {
    case TKindOfMethod::Bisection: return "Bisection";
    case TKindOfMethod::Brent: return "Brent";
    case TKindOfMethod::Newton: return "Newton";
  }
  return "?";
}

TEST(Roots, OutcomesByMethod) {
  auto lin = [](double x) { return x - 500; };
  auto one = [](double) { return 1.0; };
  auto cubic = [](double x) { return x * x * x - 2 * x - 5; };
  auto dcubic = [](double x) { return 3 * x * x - 2; };
  auto sq2 = [](double x) { return x * x - 2; };
  auto dsq2 = [](double x) { return 2 * x; };
  auto cosx = [](double x) { return std::cos(x) - x; };
  auto dcosx = [](double x) { return -std::sin(x) - 1; };
  auto shifted = [](double x) { return (x - 1) * (x - 1) - 4; };  // f'(1) = 0
  auto dshifted = [](double x) { return 2 * (x - 1); };
  struct Case {
    TKindOfMethod method;
    std::function<double(double)> f, fp;
    double x1, x2, tol;
    int32_t iter_max;
    int code;
    double expected_root;  // checked within tol when code is 0
  };
  const double kCubicRoot = 2.0945514815423265;
  const double kCosRoot = 0.7390851332151607;
  const std::vector<Case> cases = {
      {TKindOfMethod::Brent, lin, {}, 0, 1000, 1e-6, 100, 0, 500},
      {TKindOfMethod::Bisection, lin, {}, 0, 1000, 1e-6, 100, 0, 500},
      {TKindOfMethod::Brent, cubic, {}, 2, 3, 1e-9, 100, 0, kCubicRoot},
      {TKindOfMethod::Bisection, cubic, {}, 2, 3, 1e-9, 100, 0, kCubicRoot},
      {TKindOfMethod::Brent, cosx, {}, 0, 1, 1e-12, 100, 0, kCosRoot},
      {TKindOfMethod::Brent, cosx, {}, 1, 0, 1e-12, 100, 0, kCosRoot},  // reversed interval
      {TKindOfMethod::Newton, cubic, dcubic, 2, 0, 1e-12, 100, 0, kCubicRoot},
      {TKindOfMethod::Newton, sq2, dsq2, 1, 0, 1e-12, 100, 0, std::sqrt(2.0)},
      {TKindOfMethod::Newton, cosx, dcosx, 1, 0, 1e-12, 100, 0, kCosRoot},
      // no sign change at the ends
      {TKindOfMethod::Brent, lin, {}, 600, 1000, 1e-6, 100, 1, 0},
      {TKindOfMethod::Bisection, lin, {}, 600, 1000, 1e-6, 100, 1, 0},
      {TKindOfMethod::Brent, one, {}, 0, 1, 1e-6, 100, 1, 0},
      // step limit
      {TKindOfMethod::Bisection, cubic, {}, 2, 3, 1e-9, 5, 2, 0},
      {TKindOfMethod::Brent, cosx, {}, 0, 1, 1e-15, 1, 2, 0},
      {TKindOfMethod::Newton, sq2, dsq2, 1, 0, 1e-12, 1, 3, 0},
      // Newton: start at zero, flat start
      {TKindOfMethod::Newton, sq2, dsq2, 0, 0, 1e-12, 100, 1, 0},
      {TKindOfMethod::Newton, shifted, dshifted, 1, 0, 1e-12, 100, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(Name(c.method)) + " [" + std::to_string(c.x1) + ", " +
                 std::to_string(c.x2) + "] itermax " + std::to_string(c.iter_max));
    Probe p(c.method, c.f, c.fp);
    const double previous = 4242;
    // A first search (Brent, root exactly at X2) leaves Root() at a recognisable value.
    {
      auto saved = p.f;
      p.f = [previous](double x) { return x - previous; };
      p.root.SetUseMethod(TKindOfMethod::Brent);
      p.root.FindRoot(0, previous, 1e-3, 100);
      ASSERT_EQ(p.root.Root(), previous);
      p.f = saved;
      p.root.SetUseMethod(c.method);
      p.calls.clear();
    }
    const int code = p.Find(c.x1, c.x2, c.tol, c.iter_max);
    EXPECT_EQ(code, c.code);
    if (code == 0) {
      EXPECT_NEAR(p.root.Root(), c.expected_root, c.tol);
      ASSERT_FALSE(p.calls.empty());
      // The host's function was last called at the returned root.
      EXPECT_EQ(p.calls.back(), p.root.Root());
      // Where each method leaves its working points.
      if (c.method == TKindOfMethod::Brent) {
        EXPECT_EQ(p.root.X2(), p.root.Root());
      }
      if (c.method == TKindOfMethod::Newton) {
        EXPECT_EQ(p.root.X1(), p.root.Root());
      }
      if (c.method == TKindOfMethod::Bisection) {
        EXPECT_LE(std::fabs(p.root.X2() - p.root.X1()), c.tol);
        EXPECT_TRUE(p.root.Root() == p.root.X1() || p.root.Root() == p.root.X2());
      }
    } else {
      EXPECT_EQ(p.root.Root(), previous) << "a failed search keeps the previous root";
    }
    if (code == 1 && c.method != TKindOfMethod::Newton) {
      EXPECT_EQ(p.calls.size(), 2u) << "no step is made without a sign change";
      EXPECT_EQ(p.root.StepCount(), 0);
    }
    EXPECT_EQ(p.root.Tolerance(), c.tol);
  }
}

TEST(Roots, BisectionHalvingCountAgainstIterMax) {
  // [0, 1000] with tolerance 0.001 needs 20 halvings (1000 / 2^20 < 0.001); the counter
  // counts the 19 that did not converge.
  struct Case {
    int32_t iter_max;
    int code;
  };
  for (const Case& c : std::vector<Case>{{1, 2}, {18, 2}, {19, 2}, {20, 0}, {21, 0}, {0, 0}, {-7, 0}}) {
    SCOPED_TRACE(c.iter_max);
    Probe p(TKindOfMethod::Bisection, [](double x) { return x - 333.3; });
    EXPECT_EQ(p.Find(0, 1000, 0.001, c.iter_max), c.code);
    EXPECT_EQ(p.root.IterMax(), c.iter_max >= 1 ? c.iter_max : 2147483647);
    EXPECT_EQ(p.root.StepCount(), c.code == 0 ? 19 : c.iter_max);
    // two ends, one call per halving, and on success one more call at the result
    EXPECT_EQ(p.calls.size(), c.code == 0 ? 2u + 20u + 1u : 2u + static_cast<size_t>(c.iter_max));
  }
}

TEST(Roots, ExactZeroAtAnEnd) {
  {
    SCOPED_TRACE("Bisection, f(X1) = 0: the interval shrinks toward X1");
    Probe p(TKindOfMethod::Bisection, [](double x) { return x - 500; });
    EXPECT_EQ(p.Find(500, 1000, 1e-3, 100), 0);
    EXPECT_NEAR(p.root.Root(), 500, 1e-3);
    EXPECT_EQ(p.root.X1(), 500);
  }
  {
    SCOPED_TRACE("Brent, f(X1) = 0: ends exactly at X1");
    Probe p(TKindOfMethod::Brent, [](double x) { return x - 500; });
    EXPECT_EQ(p.Find(500, 1000, 1e-3, 100), 0);
    EXPECT_EQ(p.root.Root(), 500);
    EXPECT_EQ(p.calls.back(), 500);
  }
  {
    SCOPED_TRACE("Brent, f(X2) = 0: ends on the first pass");
    Probe p(TKindOfMethod::Brent, [](double x) { return x - 500; });
    EXPECT_EQ(p.Find(0, 500, 1e-3, 100), 0);
    EXPECT_EQ(p.root.Root(), 500);
    EXPECT_EQ(p.root.StepCount(), 0);
    EXPECT_EQ(p.calls, (std::vector<double>{0, 500, 500}));
  }
}

TEST(Roots, NewtonFailsAtOnceAtZeroOrFlatStart) {
  {
    Probe p(TKindOfMethod::Newton, [](double x) { return x - 3; }, [](double) { return 1.0; });
    EXPECT_EQ(p.Find(0, 99, 1e-6, 100), 1);
    EXPECT_EQ(p.calls.size(), 1u);
    EXPECT_EQ(p.root.X2(), 99);
  }
  {
    Probe p(TKindOfMethod::Newton, [](double x) { return x * x - 4 * x; },
            [](double x) { return 2 * x - 4; });
    EXPECT_EQ(p.Find(2, 0, 1e-6, 100), 2);
    EXPECT_EQ(p.calls.size(), 1u);
  }
}

TEST(Roots, CallbackExceptionPassesThroughWithErrorCodeZero) {
  for (TKindOfMethod m : {TKindOfMethod::Bisection, TKindOfMethod::Brent, TKindOfMethod::Newton}) {
    SCOPED_TRACE(Name(m));
    TRoot r;
    r.SetUseMethod(m);
    // First a failure, so ErrorCode is not 0 before the search that throws.
    r.SetOnUserFunc([](double, double& y) { y = 1; });
    r.SetOnUserPrimeFunc([](double, double& y) { y = 0; });
    EXPECT_THROW(r.FindRoot(1, 2, 1e-3, 10), std::runtime_error);
    ASSERT_NE(r.ErrorCode(), 0);
    const double before = r.Root();
    r.SetOnUserFunc([](double, double&) { throw std::domain_error("Floating point overflow"); });
    try {
      r.FindRoot(1, 2, 1e-3, 10);
      FAIL() << "no exception";
    } catch (const std::domain_error& e) {
      EXPECT_STREQ(e.what(), "Floating point overflow");
    }
    EXPECT_EQ(r.ErrorCode(), 0);
    EXPECT_EQ(r.Root(), before);
  }
}

TEST(Roots, NextSearchStartsFromItsOwnArguments) {
  Probe p(TKindOfMethod::Brent, [](double x) { return x * x - 2; });
  EXPECT_EQ(p.Find(0, 2, 1e-10, 100), 0);
  const double first = p.root.Root();
  p.calls.clear();
  EXPECT_EQ(p.Find(-2, 0, 1e-10, 100), 0);
  EXPECT_EQ(p.calls.front(), -2);
  EXPECT_NEAR(p.root.Root(), -first, 1e-10);
}

TEST(Roots, MissingCallbackIsRefused) {
  TRoot r;
  EXPECT_THROW(r.FindRoot(0, 1, 1e-3, 10), std::logic_error);
  r.SetUseMethod(TKindOfMethod::Newton);
  r.SetOnUserFunc([](double x, double& y) { y = x; });
  EXPECT_THROW(r.FindRoot(1, 2, 1e-3, 10), std::logic_error);
}

}  // namespace
