// Phases on sublattices: their energy against sums written out here, their minimum against a
// search of the constitution space, and an ordering against its closed form.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "calc/phase_sheet.h"
#include "calc/sublattice_sheet.h"
#include "calc/tangent.h"
#include "recording_ports.h"

using calc::testing::RecordingPorts;

namespace {

constexpr double R = calc::kDatabaseGasConstant;

double XLnX(double x) {
  return x > 0 ? x * std::log(x) : 0;
}

// The magnetic function written out from its definition (Hillert and Jarl).
double MagneticG(double T, double tc, double beta, double p) {
  const double A = 518.0 / 1125 + 11692.0 / 15975 * (1 / p - 1);
  const double t = T / tc;
  const double g =
      t <= 1 ? 1 - (79 / (140 * p * t) +
                    474.0 / 497 * (1 / p - 1) *
                        (std::pow(t, 3) / 6 + std::pow(t, 9) / 135 + std::pow(t, 15) / 600)) /
                       A
             : -(std::pow(t, -5) / 10 + std::pow(t, -15) / 315 + std::pow(t, -25) / 1500) / A;
  return R * T * std::log(beta + 1) * g;
}

struct Sheet {
  RecordingPorts ports;
  calc::PhaseSheet sheet{ports};
  explicit Sheet(const std::string& text) { EXPECT_TRUE(sheet.Compile(text, '.')); }
  calc::SolutionPhase& Phase(const std::string& name) {
    for (auto& ph : sheet.Phases)
      if (ph.Name == name) return ph;
    throw std::runtime_error("no phase " + name);
  }
};

// (A,B)2 (A,B,VA)1 with an interaction of order 1 written B before A, a wildcard, a reciprocal
// term, a ternary interaction with vacancies and an anti-ferromagnetic term.
const char* kTwoSublattices =
    "GP = (A,B)2 (A,B,VA)1 MAGNETIC(-3, 0.28)\n"
    "G(P,A:A) = -3000+T\n"
    "G(P,B:A) = -1000\n"
    "G(P,A:B) = 2000-2*T\n"
    "G(P,B:B) = -500\n"
    "G(P,A:VA) = 4000\n"
    "G(P,B:VA) = 1000\n"
    "L(P,B,A:*;1) = 700\n"
    "L(P,A:A,B) = -9000\n"
    "L(P,A,B:A,B) = 3000\n"
    "L(P,A:A,B,VA) = 1234\n"
    "TC(P,A:A) = -600\n"
    "TC(P,B:B) = 900\n"
    "BMAGN(P,B:B) = 1.5\n";

double TwoSublattices(const std::vector<double>& y, double T) {
  const double a1 = y[0], b1 = y[1], a2 = y[2], b2 = y[3], v2 = y[4];
  double g = (-3000 + T) * a1 * a2 - 1000 * b1 * a2 + (2000 - 2 * T) * a1 * b2 - 500 * b1 * b2 +
             4000 * a1 * v2 + 1000 * b1 * v2;
  g += 700 * b1 * a1 * (b1 - a1) - 9000 * a1 * a2 * b2 + 3000 * a1 * b1 * a2 * b2 +
       1234 * a1 * a2 * b2 * v2;
  g += R * T * (2 * (XLnX(a1) + XLnX(b1)) + XLnX(a2) + XLnX(b2) + XLnX(v2));
  double tc = -600 * a1 * a2 + 900 * b1 * b2, beta = 1.5 * b1 * b2;
  if (tc < 0) tc /= -3;
  if (tc > 0 && beta > 0) g += MagneticG(T, tc, beta, 0.28);
  return g / (2 + 1 - v2);
}

TEST(Sublattice, EnergyIsTheSumOfItsTermsAndItsDerivativesMatchDifferences) {
  Sheet s(kTwoSublattices);
  calc::SublatticeModel& m = *s.Phase("P").Model;
  for (double T : {300.0, 800.0, 1500.0}) {
    m.SetLevel(T, 1);
    for (const std::vector<double>& y : {std::vector<double>{0.3, 0.7, 0.2, 0.5, 0.3},
                                         {0.9, 0.1, 0.05, 0.9, 0.05},
                                         {0.5, 0.5, 0.6, 0.1, 0.3}}) {
      EXPECT_NEAR(m.EnergyAt(y), TwoSublattices(y, T), 1e-9 * std::abs(TwoSublattices(y, T)));
      std::vector<double> g, h;
      m.EnergyAt(y, &g, &h);
      const double e = 1e-6;
      for (size_t i = 0; i < y.size(); ++i) {
        std::vector<double> up = y, down = y, gu, gd;
        up[i] += e;
        down[i] -= e;
        EXPECT_NEAR(g[i], (m.EnergyAt(up, &gu) - m.EnergyAt(down, &gd)) / (2 * e),
                    1e-5 * (1 + std::abs(g[i])));
        for (size_t j = 0; j < y.size(); ++j)
          EXPECT_NEAR(h[i * y.size() + j], (gu[j] - gd[j]) / (2 * e),
                      1e-4 * (1 + std::abs(h[i * y.size() + j])));
      }
    }
  }
  EXPECT_DOUBLE_EQ(m.XMin(), 0);
  EXPECT_DOUBLE_EQ(m.XMax(), 1);
}

// A Laves-like phase (A,B)2 (A,B)1: at composition x one free fraction, searched here on a fine
// scan and by golden sections.
TEST(Sublattice, MinimumAgreesWithASearchOfTheConstitutions) {
  Sheet s(
      "GLAVES = (A,B)2 (A,B)1\n"
      "G(LAVES,A:A) = 15000\nG(LAVES,B:B) = 12000\nG(LAVES,A:B) = -30000+5*T\n"
      "G(LAVES,B:A) = 40000\nL(LAVES,A,B:*) = 8000\nL(LAVES,*:A,B;1) = -3000\n");
  calc::SolutionPhase& ph = s.Phase("LAVES");
  const double T = 900;
  ph.Model->SetLevel(T, 1);
  for (double x : {0.05, 0.2, 1.0 / 3, 0.5, 0.8, 0.97}) {
    // y1 = B on the first sublattice; y2 = 3x - 2 y1 on the second.
    auto G = [&](double y1) {
      const double y2 = 3 * x - 2 * y1;
      return ph.Model->EnergyAt({1 - y1, y1, 1 - y2, y2});
    };
    const double lo = std::max(0.0, (3 * x - 1) / 2), hi = std::min(1.0, 1.5 * x);
    double best = lo;
    for (int i = 0; i <= 20000; ++i) {
      const double y1 = lo + (hi - lo) * i / 20000;
      if (y1 > 0 && y1 < 1 && 3 * x - 2 * y1 > 0 && 3 * x - 2 * y1 < 1 && G(y1) < G(best))
        best = y1;
    }
    double a = std::max(lo, best - (hi - lo) / 10000), b = std::min(hi, best + (hi - lo) / 10000);
    for (int i = 0; i < 100; ++i) {
      const double c = b - (b - a) * 0.618033988749895, d = a + (b - a) * 0.618033988749895;
      (G(c) < G(d) ? b : a) = (G(c) < G(d) ? d : c);
    }
    const double y1 = (a + b) / 2;
    EXPECT_NEAR(ph.Energy(x, T, 1, 0), G(y1), 1e-7) << "x = " << x;
    EXPECT_NEAR(ph.Model->LastConstitution()[1], y1, 1e-5) << "x = " << x;
    EXPECT_NEAR(ph.Model->CompositionAt(ph.Model->LastConstitution()), x, 1e-13);
  }
}

// (A,B)1 (A,B)3 at X = 0.25 has two minima: near A:(A,B) and near the end member B:A, whose
// energy falls 60 J/(mol K) faster. At 1500 K the first is the lower, at 2000 K the second.
// Asked at 2000 K after 1500 K, outside a sweep, the minimum is the lower one, not the one
// next to the last constitution (COST507's SnTi3 above 2000 K, the same shape).
TEST(Sublattice, AMinimumOutsideASweepIsTheLowestNotTheOneNearTheLastStart) {
  Sheet s(
      "GP = (A,B)1 (A,B)3\n"
      "G(P,A:A) = 4000\nG(P,B:B) = 4000\nG(P,A:B) = -60000\nG(P,B:A) = 80000-60*T\n"
      "L(P,A:A,B) = 100000\nL(P,A,B:A) = 150000\n");
  calc::SolutionPhase& ph = s.Phase("P");
  // y1 = B on the first sublattice; y2 = (1 - y1) / 3 on the second, per mole of atoms.
  auto lowest = [&](double T) {
    ph.Model->SetLevel(T, 1);
    auto G = [&](double y1) {
      const double y2 = (1 - y1) / 3;
      return ph.Model->EnergyAt({1 - y1, y1, 1 - y2, y2});
    };
    double best = 0.5;
    for (int i = 1; i < 20000; ++i)
      if (G(i / 20000.0) < G(best)) best = i / 20000.0;
    double a = std::max(1e-15, best - 1e-4), b = std::min(1 - 1e-15, best + 1e-4);
    for (int i = 0; i < 100; ++i) {
      const double c = b - (b - a) * 0.618033988749895, d = a + (b - a) * 0.618033988749895;
      (G(c) < G(d) ? b : a) = (G(c) < G(d) ? d : c);
    }
    return G((a + b) / 2);
  };
  const double at_1500 = lowest(1500), at_2000 = lowest(2000);
  EXPECT_NEAR(ph.Energy(0.25, 1500, 1, 0), at_1500, 1e-6);
  EXPECT_NEAR(ph.Energy(0.25, 2000, 1, 0), at_2000, 1e-6);
  EXPECT_GT(ph.Model->LastConstitution()[1], 0.9);
}

// B2 ordering of a bcc solution written by hand (Bragg-Williams): with W on the unlike pairs
// G = 2W x(1-x) + 2W eta^2 + RT/2 [s(x+eta) + s(x-eta)], ordered below Tc = -4 W x(1-x) / R,
// disordered (the regular solution with 2W) above.
TEST(Sublattice, BraggWilliamsOrderingAppearsBelowItsCriticalTemperature) {
  const double W = -5000;
  Sheet s(
      "% components: A B\n"
      "GB2 = (A,B)0.5 (A,B)0.5 DISORDERED(A2)\n"
      "G(B2,A:B) = -5000\nG(B2,B:A) = -5000\n");
  ASSERT_EQ(s.sheet.Phases.size(), 2u);
  calc::SolutionPhase& a2 = s.Phase("A2");
  calc::SolutionPhase& b2 = s.Phase("B2");
  for (double x : {0.5, 0.3}) {
    const double tc = -4 * W * x * (1 - x) / R;
    for (double T : {tc + 1, tc - 1, 0.7 * tc}) {
      const double regular = 2 * W * x * (1 - x) + R * T * (XLnX(x) + XLnX(1 - x));
      EXPECT_NEAR(a2.Energy(x, T, 1, 0), regular, 1e-8);
      const double ordered = b2.Energy(x, T, 1, 0);
      if (T > tc) {
        EXPECT_TRUE(std::isnan(ordered)) << x << " " << T;
        continue;
      }
      // Solve d/d eta = 4 W eta + RT/2 ln[(x+eta)(1-x+eta) / ((x-eta)(1-x-eta))] = 0 by
      // bisection on eta in (0, min(x, 1-x)).
      auto slope = [&](double e) {
        return 4 * W * e + R * T / 2 * std::log((x + e) * (1 - x + e) / ((x - e) * (1 - x - e)));
      };
      double lo = 1e-12, hi = std::min(x, 1 - x) - 1e-15;
      for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (slope(mid) < 0 ? lo : hi) = mid;
      }
      const double eta = (lo + hi) / 2;
      const double want =
          2 * W * x * (1 - x) + 2 * W * eta * eta +
          R * T / 2 * (XLnX(x + eta) + XLnX(1 - x - eta) + XLnX(x - eta) + XLnX(1 - x + eta));
      EXPECT_NEAR(ordered, want, 1e-8) << x << " " << T;
      EXPECT_LT(ordered, a2.Energy(x, T, 1, 0));
    }
  }
}

// The permutations of an ordering's sublattices under which its energy is unchanged: B2's swap
// where its mirror parameters are alike, none where they differ (an interaction on one
// sublattice only), every one of the 23 of four alike sublattices, none of sublattices of
// unlike sizes (L12).
TEST(Sublattice, SymmetriesAreThePermutationsThatLeaveTheEnergyUnchanged) {
  auto count = [](const std::string& text, const std::string& name) {
    Sheet s("% components: A B\n" + text);
    calc::SolutionPhase& ph = s.Phase(name);
    ph.Model->SetLevel(800, 1);
    return ph.Model->Symmetries();
  };
  const std::string b2 =
      "GB2 = (A,B)0.5 (A,B)0.5 DISORDERED(A2)\nG(B2,A:B) = -5000\nG(B2,B:A) = -5000\n";
  EXPECT_EQ(count(b2, "B2"), 1u);
  EXPECT_EQ(count(b2 + "L(B2,A,B:A;0) = -2000\n", "B2"), 0u);
  EXPECT_EQ(count(b2 + "L(B2,A,B:A;0) = -2000\nL(B2,A:A,B;0) = -2000\n", "B2"), 1u);
  EXPECT_EQ(count("GF = (A,B)0.25 (A,B)0.25 (A,B)0.25 (A,B)0.25 DISORDERED(A1)\n"
                  "G(F,A:A:A:B) = -3000\nG(F,A:A:B:A) = -3000\nG(F,A:B:A:A) = -3000\n"
                  "G(F,B:A:A:A) = -3000\n",
                  "F"),
            23u);
  EXPECT_EQ(count("GL = (A,B)0.75 (A,B)0.25 DISORDERED(A1)\nG(L,A:B) = -4000\n", "L"), 0u);
}

// The derivatives in x along the minimum, solved from the multiplier of the composition and the
// constitution's sensitivity: for the Bragg-Williams B2 above against the envelope written out
// (G' = dG/dx at fixed order) and its difference, for the phases with vacancies, magnetism and
// a Laves-like mixing against seven-point differences of the minimum.
TEST(Sublattice, MinimumDerivativesMatchTheEnvelopeAndDifferences) {
  {
    const double W = -5000, x = 0.3, T = 0.7 * (-4 * W * x * (1 - x) / R);
    Sheet s("GB2 = (A,B)0.5 (A,B)0.5 DISORDERED(A2)\nG(B2,A:B) = -5000\nG(B2,B:A) = -5000\n");
    auto envelope = [&](double v) {
      auto slope = [&](double e) {
        return 4 * W * e + R * T / 2 * std::log((v + e) * (1 - v + e) / ((v - e) * (1 - v - e)));
      };
      double lo = 1e-12, hi = std::min(v, 1 - v) - 1e-15;
      for (int i = 0; i < 200; ++i) (slope((lo + hi) / 2) < 0 ? lo : hi) = (lo + hi) / 2;
      const double eta = (lo + hi) / 2;
      return 2 * W * (1 - 2 * v) +
             R * T / 2 * std::log((v + eta) * (v - eta) / ((1 - v - eta) * (1 - v + eta)));
    };
    double g, g1, g2;
    ASSERT_TRUE(s.Phase("B2").EnergyDerivatives(x, T, 1, g, g1, g2));
    EXPECT_NEAR(g1, envelope(x), 1e-7);
    const double h = 1e-5;
    EXPECT_NEAR(g2, (envelope(x + h) - envelope(x - h)) / (2 * h), 1e-4 * std::abs(g2));
  }
  for (const char* text : {kTwoSublattices,
                           "GLAVES = (A,B)2 (A,B)1\nG(LAVES,A:A) = 15000\nG(LAVES,B:B) = 12000\n"
                           "G(LAVES,A:B) = -30000+5*T\nG(LAVES,B:A) = 40000\n"
                           "L(LAVES,A,B:*) = 8000\nL(LAVES,*:A,B;1) = -3000\n"}) {
    Sheet s(text);
    calc::SolutionPhase& ph = s.sheet.Phases[0];
    for (double T : {400.0, 1200.0})
      for (double x : {0.02, 0.3, 0.62, 0.9}) {
        double g, g1, g2;
        ASSERT_TRUE(ph.EnergyDerivatives(x, T, 1, g, g1, g2)) << text << x;
        const calc::XDerivatives d =
            calc::DerivativesInX([&](double v) { return ph.Energy(v, T, 1, 0); }, x);
        EXPECT_NEAR(g, d.g, 1e-9 * std::abs(d.g));
        EXPECT_NEAR(g1, d.g1, 1e-6 * (1 + std::abs(d.g1))) << ph.Name << " " << T << " " << x;
        EXPECT_NEAR(g2, d.g2, 1e-4 * (1 + std::abs(d.g2))) << ph.Name << " " << T << " " << x;
      }
  }
}

TEST(Sublattice, SheetLinesThatCannotBeUsedNameTheirLineAndReason) {
  const struct {
    const char* sheet;
    const char* what;
  } cases[] = {
      {"GP = (A,C)1",
       "Line 1: C is neither of the components A and B (nor a molecule of them, as A2) nor VA"},
      {"GP = (A,B)1 (A,B)",
       "Line 1: a sublattice needs a positive number of sites after its bracket"},
      {"GP = (A,B)1 MAGNETIC(1, 0.4)",
       "Line 1: MAGNETIC wants a negative anti-ferromagnetic factor and 0 < p <= 1"},
      {"GP = (A,B)1 FOO",
       "Line 1: cannot read \"FOO\" (after the sublattices: "
       "MAGNETIC(factor, p) or DISORDERED(NAME))"},
      {"GP = (A,B)1\nG(Q,A) = 1", "Line 2: phase Q has no line GQ = (...)... of its sublattices"},
      {"GP = (A,B)1\nG(P,A:B) = 1", "Line 1: P: a parameter names 2 sublattices, the phase has 1"},
      {"GP = (A)1 (B)1\nG(P,B:B) = 1",
       "Line 1: P: a parameter names a constituent sublattice 1 does not hold"},
      {"GP = (A,B)1\nGP = (A,B)1", "Line 2: phase P declared twice"},
      {"% components: CU MG\nGP = (A,B)1",
       "Line 2: A is neither of the components CU and MG (nor a molecule of them, as CU2) nor VA"},
      {"GP = 1\nGP = (A,B)1\nG(P,A) = 0",
       "Phase P is declared twice: on sublattices and by an expression"},
  };
  for (const auto& c : cases) {
    RecordingPorts ports;
    calc::PhaseSheet sheet(ports);
    try {
      sheet.Compile(c.sheet, '.');
      ADD_FAILURE() << c.sheet;
    } catch (const calc::ESheetError& e) {
      EXPECT_STREQ(e.what(), c.what);
    }
  }
}

TEST(Sublattice, ACompoundOnSublatticesIsAPointPhase) {
  Sheet s("GL = 0\nGS = 0\nGAB2 = (A)1 (B)2 (VA)3\nG(AB2,A:B:VA) = -30000+T\n");
  ASSERT_EQ(s.sheet.PointPhases.size(), 1u);
  calc::PointPhase& pp = s.sheet.PointPhases[0];
  EXPECT_EQ(pp.Text, "0.666666666666667");
  EXPECT_EQ(pp.Name, "AB2");
  EXPECT_DOUBLE_EQ(pp.Energy(500, 1, 0), (-30000 + 500) / 3.0);
}

}  // namespace
