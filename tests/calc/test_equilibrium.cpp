// The equilibrium at one point against a common tangent solved here in a different way: the
// tangent of slope m touches the ideal liquid at a closed-form composition and the regular
// solid where its slope equals m (bisection); m is found by bisection on the two intercepts.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "calc/equilibrium.h"
#include "recording_ports.h"

namespace calc {
namespace {

constexpr double R = 8.31441;
const char* const kSheet =
    "GL = (1-X)*10*(900-T) + X*10*(1100-T) - T*Sid\r\n"
    "GS = 25000*X*(1-X) - T*Sid";

double Mix(double x, double T) {
  return R * T * (x * std::log(x) + (1 - x) * std::log(1 - x));
}
double GL(double x, double T) {
  return (1 - x) * 10 * (900 - T) + x * 10 * (1100 - T) + Mix(x, T);
}
double GS(double x, double T) {
  return 25000 * x * (1 - x) + Mix(x, T);
}
double SlopeS(double x, double T) {
  return 25000 * (1 - 2 * x) + R * T * std::log(x / (1 - x));
}

double Bisect(const std::function<double(double)>& f, double lo, double hi) {
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    ((f(lo) < 0) == (f(mid) < 0) ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

struct Tangent {
  double xS, xL, m, c;
};

// The common tangent of the A-rich solid and the liquid at T.
Tangent ReferenceTangent(double T) {
  const double spinodal = (1 - std::sqrt(1 - 4 * R * T / 50000)) / 2;
  auto xL = [&](double m) { return 1 / (1 + std::exp(-(m - 2000) / (R * T))); };
  auto xS = [&](double m) {
    return Bisect([&](double x) { return SlopeS(x, T) - m; }, 1e-300, spinodal);
  };
  auto gap = [&](double m) {
    const double a = xS(m), b = xL(m);
    return (GS(a, T) - m * a) - (GL(b, T) - m * b);
  };
  const double m = Bisect(gap, SlopeS(1e-12, T) + 1, SlopeS(spinodal, T) - 1e-9);
  const double a = xS(m);
  return {a, xL(m), m, GS(a, T) - m * a};
}

TEST(Equilibrium, TwoPhasePointMatchesAnIndependentCommonTangent) {
  testing::RecordingPorts ports;
  PhaseSheet sheet(ports);
  ASSERT_TRUE(sheet.Compile(kSheet, '.'));
  for (const auto& [T, x] : {std::pair{800.0, 0.1}, {700.0, 0.2}, {850.0, 0.05}}) {
    SCOPED_TRACE(T);
    const Tangent ref = ReferenceTangent(T);
    ASSERT_LT(ref.xS, x);
    ASSERT_GT(ref.xL, x);
    const Equilibrium eq = SolveEquilibrium(sheet, T, 1, x);
    ASSERT_TRUE(eq.Error.empty());
    EXPECT_FALSE(eq.Approximate);
    ASSERT_EQ(eq.Phases.size(), 2u);
    EXPECT_EQ(eq.Phases[0].Name, "S");
    EXPECT_EQ(eq.Phases[1].Name, "L");
    EXPECT_NEAR(eq.Phases[0].X, ref.xS, 1e-6);
    EXPECT_NEAR(eq.Phases[1].X, ref.xL, 1e-6);
    const double amountL = (x - ref.xS) / (ref.xL - ref.xS);
    EXPECT_NEAR(eq.Phases[1].Amount, amountL, 1e-6);
    EXPECT_NEAR(eq.Phases[0].Amount, 1 - amountL, 1e-6);
    // The tangent's ends are the chemical potentials: muA at X = 0, muB at X = 1.
    EXPECT_NEAR(eq.MuA, ref.c, 1e-6 * std::abs(ref.c) + 1e-3);
    EXPECT_NEAR(eq.MuB, ref.c + ref.m, 1e-6 * std::abs(ref.c + ref.m) + 1e-3);
    // Every phase's curve lies on or above the tangent.
    for (const PhaseCurve& curve : eq.Curves) {
      for (size_t i = 0; i < curve.X.size(); ++i) {
        EXPECT_GE(curve.G[i], eq.MuA * (1 - curve.X[i]) + eq.MuB * curve.X[i] - 1e-6) << curve.Name;
      }
    }
  }
}

// Energies of the size an assessed system's are (absolute, tens of kJ/mol): the same tangent,
// solved as exactly. (With the slope from two points 1e-6 apart it wandered by 1e-10 here, and
// by 1e-9 for Pb-Sn, whose every two-phase answer was then marked approximate.)
TEST(Equilibrium, LargeAbsoluteEnergiesGiveTheSameExactTangent) {
  testing::RecordingPorts ports;
  PhaseSheet sheet(ports);
  ASSERT_TRUE(
      sheet.Compile("GL = -90000 + (1-X)*10*(900-T) + X*10*(1100-T) - T*Sid\r\n"
                    "GS = -90000 + 25000*X*(1-X) - T*Sid",
                    '.'));
  for (const auto& [T, x] : {std::pair{800.0, 0.1}, {700.0, 0.2}, {850.0, 0.05}}) {
    SCOPED_TRACE(T);
    const Tangent ref = ReferenceTangent(T);
    const Equilibrium eq = SolveEquilibrium(sheet, T, 1, x);
    EXPECT_FALSE(eq.Approximate);
    ASSERT_EQ(eq.Phases.size(), 2u);
    EXPECT_NEAR(eq.Phases[0].X, ref.xS, 2e-11);
    EXPECT_NEAR(eq.Phases[1].X, ref.xL, 2e-11);
  }
}

TEST(Equilibrium, OnePhasePointHasAllOfTheMaterialInOnePhase) {
  testing::RecordingPorts ports;
  PhaseSheet sheet(ports);
  ASSERT_TRUE(sheet.Compile(kSheet, '.'));
  const double T = 1000, x = 0.5;
  const Equilibrium eq = SolveEquilibrium(sheet, T, 1, x);
  ASSERT_EQ(eq.Phases.size(), 1u);
  EXPECT_EQ(eq.Phases[0].Name, "L");
  EXPECT_DOUBLE_EQ(eq.Phases[0].Amount, 1);
  EXPECT_DOUBLE_EQ(eq.Phases[0].X, x);
  // Potentials of the ideal liquid: mu_i = G_i + RT ln x_i.
  EXPECT_NEAR(eq.MuA, 10 * (900 - T) + R * T * std::log(1 - x), 1e-3);
  EXPECT_NEAR(eq.MuB, 10 * (1100 - T) + R * T * std::log(x), 1e-3);
}

// At a pure component the other one's potential in an ideal-mixing phase is -infinity (it was
// given as the tangent's value a step inside: -96000 J/mol); the component's own stays finite,
// and a phase without the log term keeps finite potentials at the ends.
TEST(Equilibrium, PotentialsAtThePureComponents) {
  testing::RecordingPorts ports;
  PhaseSheet sheet(ports);
  ASSERT_TRUE(sheet.Compile(kSheet, '.'));
  const double inf = std::numeric_limits<double>::infinity();
  Equilibrium eq = SolveEquilibrium(sheet, 1000, 1, 0);
  ASSERT_EQ(eq.Phases.size(), 1u);
  EXPECT_EQ(eq.MuB, -inf);
  EXPECT_NEAR(eq.MuA, GL(1e-300, 1000), 1e-3);
  eq = SolveEquilibrium(sheet, 600, 1, 1);
  EXPECT_EQ(eq.MuA, -inf);
  EXPECT_NEAR(eq.MuB, 0, 1e-3);  // pure solid B
  // At T = 1e308 every energy but the pure ends' overflows: that is said, not a hull of the two
  // ends that are left.
  eq = SolveEquilibrium(sheet, 1e308, 1, 0.5);
  EXPECT_EQ(eq.Error.rfind("Floating point overflow (phase ", 0), 0u) << eq.Error;
  EXPECT_TRUE(eq.Phases.empty());
  ASSERT_TRUE(sheet.Compile("GL = 1000 + 300*X\nGS = 2000 + 20000*X*(1-X)", '.'));
  eq = SolveEquilibrium(sheet, 1000, 1, 0);
  EXPECT_NEAR(eq.MuA, 1000, 1e-3);
  EXPECT_NEAR(eq.MuB, 1300, 1e-3);
}

}  // namespace
}  // namespace calc
