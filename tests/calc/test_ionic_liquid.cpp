// The ionic two-sublattice liquid: the Cu-O liquid of Schramm et al. (2005) written by hand in
// a sheet, against the model's sums written out here, a search of its cation fractions and the
// value open-source CALPHAD libraries publish for it.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "calc/phase_sheet.h"
#include "calc/sublattice_sheet.h"
#include "recording_ports.h"

using calc::testing::RecordingPorts;

namespace {

constexpr double R = calc::kDatabaseGasConstant;

// The unary and oxide functions below 1358 K.
const std::string kGhserCu =
    "(-7770.458+130.485235*T-24.112392*T*LN(T)-0.00265684*T^2+1.29223E-7*T^3+52478/T)";
const std::string kGCuLiq = "(12964.735-9.511904*T-5.849E-21*T^7+" + kGhserCu + ")";
const std::string kGCu2O = "(-114945+307.98*T-67.71*T*LN(T))";
const std::string kGCu2O2 = "(1.333333*" + kGCu2O + "+16236-20*T)";
const std::string kGCu2O3 = "(1.666667*" + kGCu2O + "-33972.668+25.917348*T)";

const std::string kCuO =
    "% components: CU O\n"
    "GLIQ = IONIC (CU+1,CU+2,CU+3) (O-2,VA)\n"
    "G(LIQ,CU+1:VA) = " +
    kGCuLiq +
    "\n"
    "G(LIQ,CU+2:VA) = 3*" +
    kGCuLiq + "+" + kGCu2O2 + "-2*" + kGCu2O +
    "\n"
    "G(LIQ,CU+3:VA) = 6*" +
    kGCuLiq + "+0.5*" + kGCu2O2 + "+" + kGCu2O3 + "-4*" + kGCu2O +
    "\n"
    "G(LIQ,CU+1:O-2) = " +
    kGCu2O +
    "\n"
    "G(LIQ,CU+2:O-2) = " +
    kGCu2O2 +
    "\n"
    "G(LIQ,CU+3:O-2) = " +
    kGCu2O3 +
    "\n"
    "L(LIQ,CU+1:O-2,VA;0) = 13287+11.82*T\n"
    "L(LIQ,CU+1:O-2,VA;1) = -17125+11.52*T\n"
    "L(LIQ,CU+1:O-2,VA;2) = 21762-10.15*T\n"
    "L(LIQ,CU+1,CU+2:O-2;0) = -106048+70*T\n";

// The same functions in C++.
double GhserCu(double T) {
  return -7770.458 + 130.485235 * T - 24.112392 * T * std::log(T) - 0.00265684 * T * T +
         1.29223E-7 * T * T * T + 52478 / T;
}
double GCuLiq(double T) {
  return 12964.735 - 9.511904 * T - 5.849E-21 * std::pow(T, 7) + GhserCu(T);
}
double GCu2O(double T) {
  return -114945 + 307.98 * T - 67.71 * T * std::log(T);
}
double GCu2O2(double T) {
  return 1.333333 * GCu2O(T) + 16236 - 20 * T;
}
double GCu2O3(double T) {
  return 1.666667 * GCu2O(T) - 33972.668 + 25.917348 * T;
}

double XLnX(double v) {
  return v > 0 ? v * std::log(v) : 0;
}

// Gm and X(O) of (Cu+1 Cu+2 Cu+3)_P (O-2, Va)_Q at cation fractions y and O-2 fraction t, with
// `extra` a cation interaction over vacancies of order 1 (y1 y2 yVa^2 Q (y1 - y2) extra).
struct Point {
  double g, x;
};
Point CuO(const double y[3], double t, double T, double extra = 0) {
  const double va = 1 - t, q = y[0] + 2 * y[1] + 3 * y[2], p = 2 * t + q * va;
  const double gva[3] = {GCuLiq(T), 3 * GCuLiq(T) + GCu2O2(T) - 2 * GCu2O(T),
                         6 * GCuLiq(T) + 0.5 * GCu2O2(T) + GCu2O3(T) - 4 * GCu2O(T)};
  const double go[3] = {GCu2O(T), GCu2O2(T), GCu2O3(T)};
  double g = 0;
  for (int i = 0; i < 3; ++i) g += y[i] * t * go[i] + q * va * y[i] * gva[i];
  g += R * T * (p * (XLnX(y[0]) + XLnX(y[1]) + XLnX(y[2])) + q * (XLnX(t) + XLnX(va)));
  const double d = t - va;
  g += y[0] * t * va *
       ((13287 + 11.82 * T) + (-17125 + 11.52 * T) * d + (21762 - 10.15 * T) * d * d);
  g += y[0] * y[1] * t * (-106048 + 70 * T);
  g += y[0] * y[1] * va * va * q * (y[0] - y[1]) * extra;
  const double atoms = p + q * t;
  return {g / atoms, q * t / atoms};
}

// The lowest Gm at X(O) = x over the cation fractions y1 = a, y2 = b: the O-2 fraction found by
// bisection on the composition, a and b by golden sections (the liquid reaches x only where
// its cations' charge Q is at least 2x / (1 - x), at y(O-2) = 1).
double SearchedMinimum(double x, double T) {
  const double qmin = 2 * x / (1 - x);
  auto golden = [](double lo, double hi, const std::function<double(double)>& f) {
    const double r = (std::sqrt(5.0) - 1) / 2;
    double c = hi - r * (hi - lo), d = lo + r * (hi - lo), fc = f(c), fd = f(d);
    while (hi - lo > 1e-14) {
      if (fc < fd) {
        hi = d, d = c, fd = fc, c = hi - r * (hi - lo), fc = f(c);
      } else {
        lo = c, c = d, fc = fd, d = lo + r * (hi - lo), fd = f(d);
      }
    }
    return std::min(fc, fd);
  };
  auto at = [&](double a, double b) {
    const double y[3] = {a, b, 1 - a - b};
    double lo = 0, hi = 1;
    for (int i = 0; i < 60; ++i) {
      const double mid = (lo + hi) / 2;
      (CuO(y, mid, T).x < x ? lo : hi) = mid;
    }
    return CuO(y, (lo + hi) / 2, T).g;
  };
  return golden(0, std::min(1.0, (3 - qmin) / 2), [&](double a) {
    return golden(0, std::min(1 - a, 3 - 2 * a - qmin), [&](double b) { return at(a, b); });
  });
}

struct Sheet {
  RecordingPorts ports;
  calc::PhaseSheet sheet{ports};
  explicit Sheet(const std::string& text) { EXPECT_TRUE(sheet.Compile(text, '.')); }
  calc::SublatticeModel& Model() { return *sheet.Phases.at(0).Model; }
};

TEST(IonicLiquid, EnergyIsTheSumOfItsTerms) {
  Sheet s(kCuO + "L(LIQ,CU+1,CU+2:VA;1) = 5000\n");
  calc::SublatticeModel& m = s.Model();
  m.SetLevel(1100, 1);
  const double y[3] = {0.5, 0.3, 0.2};
  const Point want = CuO(y, 0.4, 1100, 5000);
  EXPECT_NEAR(m.EnergyAt({0.5, 0.3, 0.2, 0.4, 0.6}), want.g, 1e-8 * std::abs(want.g));
  EXPECT_NEAR(m.CompositionAt({0.5, 0.3, 0.2, 0.4, 0.6}), want.x, 1e-14);
}

TEST(IonicLiquid, MinimumIsThePublishedValueAndTheSearchedOne) {
  Sheet s(kCuO);
  calc::SublatticeModel& m = s.Model();
  EXPECT_EQ(m.XMin(), 0);
  EXPECT_DOUBLE_EQ(m.XMax(), 0.6);  // Cu2O3
  m.SetLevel(1000, 1);
  // x(Cu) = 0.6618 at 1000 K.
  const double g = m.Minimum(1 - 0.6618, calc::OrderVariant::Any);
  EXPECT_NEAR(g, -92505.7, 0.1);
  EXPECT_NEAR(SearchedMinimum(1 - 0.6618, 1000), -92505.7, 0.1);
  EXPECT_NEAR(m.CompositionAt(m.LastConstitution()), 1 - 0.6618, 1e-13);
  for (double x : {0.0, 0.01, 0.2, 0.45, 0.59}) {
    m.ResetStarts();
    EXPECT_NEAR(m.Minimum(x, calc::OrderVariant::Any), SearchedMinimum(x, 1000), 1e-6) << x;
  }
  EXPECT_TRUE(std::isnan(m.Minimum(0.61, calc::OrderVariant::Any)));
}

TEST(IonicLiquid, FormsNotHandledAreRefusedWithTheReason) {
  const struct {
    const char* sheet;
    const char* what;
  } cases[] = {
      {"GP = (A,B)1 (B-2,VA)1", "Line 1: ions belong to an IONIC declaration"},
      {"GL = IONIC (A+1) (B-2,B-1,VA)",
       "Line 1: L: an ionic liquid with two anions is not handled"},
      {"GL = IONIC (A+1) (B-2)",
       "Line 1: L: an ionic liquid needs an anion and VA on its second "
       "sublattice"},
      {"GL = IONIC (A+1,B+1) (B-2,VA)",
       "Line 1: L: an ionic liquid with cations of both components is not handled"},
      {"GL = IONIC (A+X) (B-2,VA)",
       "Line 1: the charge of A+X must be a number after its sign, as CU+2"},
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

}  // namespace
