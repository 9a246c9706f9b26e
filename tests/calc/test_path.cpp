// Paths of one alloy against closed forms and against solutions written here a different way:
// the common tangent of an ideal liquid and a regular solid by Newton's method on analytic
// derivatives, the lever rule, H from the temperature derivative of that G, activities of ideal
// and regular solutions, and Scheil's equation for a lens of constant partition coefficient.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "calc/masses.h"
#include "calc/path.h"
#include "calc/scheil.h"
#include "recording_ports.h"

namespace calc {
namespace {

constexpr double R = 8.31441;

// An ideal liquid (A melts at 900 K, B at 1100 K, entropy of fusion 10 J/(mol K)) and a solid
// with a regular interaction of 25 kJ/mol: a eutectic between two terminal solid solutions.
const char* const kEutectic =
    "GL = (1-X)*10*(900-T) + X*10*(1100-T) - T*Sid\r\n"
    "GS = 25000*X*(1-X) - T*Sid";

double Mix(double x) {
  return x * std::log(x) + (1 - x) * std::log(1 - x);
}
struct Curve {
  std::function<double(double, double)> g, d1, d2;  // (x, T)
};
const Curve kL{[](double x, double T) {
                 return (1 - x) * 10 * (900 - T) + x * 10 * (1100 - T) + R * T * Mix(x);
               },
               [](double x, double T) { return 2000 + R * T * std::log(x / (1 - x)); },
               [](double x, double T) { return R * T / (x * (1 - x)); }};
const Curve kS{
    [](double x, double T) { return 25000 * x * (1 - x) + R * T * Mix(x); },
    [](double x, double T) { return 25000 * (1 - 2 * x) + R * T * std::log(x / (1 - x)); },
    [](double x, double T) { return -50000 + R * T / (x * (1 - x)); }};

struct Tie {
  double xa, xb, muA, muB;
};

// The common tangent of curves a and b at T by Newton's method from (xa, xb).
Tie Tangent(const Curve& a, const Curve& b, double T, double xa, double xb) {
  for (int i = 0; i < 100; ++i) {
    const double f1 = a.d1(xa, T) - b.d1(xb, T);
    const double f2 = (a.g(xa, T) - xa * a.d1(xa, T)) - (b.g(xb, T) - xb * b.d1(xb, T));
    const double j11 = a.d2(xa, T), j12 = -b.d2(xb, T);
    const double j21 = -xa * a.d2(xa, T), j22 = xb * b.d2(xb, T);
    const double det = j11 * j22 - j12 * j21;
    xa -= (f1 * j22 - f2 * j12) / det;
    xb -= (j11 * f2 - j21 * f1) / det;
  }
  const double m = a.d1(xa, T), c = a.g(xa, T) - xa * m;
  return {xa, xb, c, c + m};
}

double Bisect(const std::function<double(double)>& f, double lo, double hi) {
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    ((f(lo) < 0) == (f(mid) < 0) ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

struct Sheet {
  testing::RecordingPorts ports;
  PhaseSheet sheet{ports};
  explicit Sheet(const char* text) { EXPECT_TRUE(sheet.Compile(text, '.')); }
};

// Cooling X = 0.2 from the liquid: the liquidus, the lever rule in L + S against the tangent
// solved here, the eutectic where the B-rich solid touches that tangent, then S + S.
TEST(Path, CoolingThroughAEutecticMatchesTheTangentsAndTheLeverRule) {
  Sheet s(kEutectic);
  PathRequest request;
  request.X = 0.2;
  request.From = 1000;
  request.To = 500;
  request.Points = 101;
  const PathResult path = StepPath(s.sheet, request);
  ASSERT_EQ(path.Error, "");
  ASSERT_EQ(path.Points.size(), 101u);

  // The liquidus: the liquid's end of the S + L tangent at X = 0.2; the eutectic: where the
  // S + L tangent touches the solid again on the B side.
  const double liquidus =
      Bisect([](double T) { return Tangent(kS, kL, T, 0.01, 0.5).xb - 0.2; }, 700, 899);
  auto touch = [](double T) {
    const Tie t = Tangent(kS, kL, T, 0.01, 0.5);
    const double m = t.muB - t.muA;
    const double x = Bisect([&](double x) { return kS.d1(x, T) - m; }, 0.5, 1 - 1e-12);
    return kS.g(x, T) - (t.muA + m * x);
  };
  const double eutectic = Bisect(touch, 600, 800);
  ASSERT_EQ(path.Crossings.size(), 2u);
  EXPECT_NEAR(path.Crossings[0].At, liquidus, 1e-6);
  EXPECT_NEAR(path.Crossings[1].At, eutectic, 1e-5);
  EXPECT_FALSE(path.Crossings[0].Approximate);
  EXPECT_FALSE(path.Crossings[1].Approximate);
  ASSERT_EQ(path.Crossings[1].Before.Phases.size(), 2u);
  ASSERT_EQ(path.Crossings[1].After.Phases.size(), 2u);
  EXPECT_EQ(path.Crossings[1].Before.Phases[1].Name, "L");
  EXPECT_EQ(path.Crossings[1].After.Phases[1].Name, "S");

  int twoPhase = 0;
  for (const PathPoint& p : path.Points) {
    SCOPED_TRACE(p.T);
    EXPECT_FALSE(p.Approximate);
    if (p.T > liquidus) {
      ASSERT_EQ(p.Phases.size(), 1u);
      EXPECT_EQ(p.Phases[0].Name, "L");
      EXPECT_NEAR(p.MuA, kL.g(0.2, p.T) - 0.2 * kL.d1(0.2, p.T), 1e-6);
      continue;
    }
    ASSERT_EQ(p.Phases.size(), 2u);
    const bool liquid = p.T > eutectic;
    Tie t{};
    if (liquid) {
      t = Tangent(kS, kL, p.T, 0.01, 0.5);
    } else {
      // The solid's gap is symmetric: a horizontal tangent at the roots of its slope.
      const double xa = Bisect([&](double x) { return kS.d1(x, p.T); }, 1e-300, 0.25);
      t = {xa, 1 - xa, kS.g(xa, p.T), kS.g(xa, p.T)};
    }
    EXPECT_EQ(p.Phases[0].Name, "S");
    EXPECT_EQ(p.Phases[1].Name, liquid ? "L" : "S");
    EXPECT_NEAR(p.Phases[0].X, t.xa, 1e-8);
    EXPECT_NEAR(p.Phases[1].X, t.xb, 1e-8);
    const double lever = (0.2 - t.xa) / (t.xb - t.xa);
    EXPECT_NEAR(p.Phases[1].Amount, lever, 1e-8);
    EXPECT_NEAR(p.Phases[0].Amount, 1 - lever, 1e-8);
    EXPECT_NEAR(p.MuA, t.muA, 1e-5);
    EXPECT_NEAR(p.MuB, t.muB, 1e-5);
    ++twoPhase;
  }
  EXPECT_GT(twoPhase, 50);

  // The phase tracks: L then S, amounts 0 and compositions NaN where absent; the gap's second
  // solid is S#2.
  const std::vector<PhaseTrack> tracks = TrackPhases(path.Points);
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0].Name, "L");
  EXPECT_EQ(tracks[1].Name, "S");
  EXPECT_EQ(tracks[2].Name, "S#2");
  EXPECT_EQ(tracks[1].Amount[0], 0);
  EXPECT_TRUE(std::isnan(tracks[1].X[0]));
  EXPECT_EQ(PointsWithCrossings(path).size(), path.Points.size() + 4);
}

// H = G - T dG/dT: in the liquid H is the mixture of the pure liquids' enthalpies (the ideal
// mixing term has none) and Cp is 0; in S + L against the derivative of the tangent's G
// taken here by Richardson extrapolation, Cp against its second derivative.
TEST(Path, EnthalpyAndHeatCapacityAgainstTheDerivativesOfG) {
  Sheet s(kEutectic);
  PathRequest request;
  request.X = 0.2;
  request.From = 800;
  request.To = 680;
  request.Points = 7;
  const PathResult path = StepPath(s.sheet, request);
  ASSERT_EQ(path.Error, "");
  auto geq = [](double T) {
    const Tie t = Tangent(kS, kL, T, 0.01, 0.5);
    return t.muA * 0.8 + t.muB * 0.2;
  };
  int twoPhase = 0;
  for (const PathPoint& p : path.Points) {
    SCOPED_TRACE(p.T);
    if (p.Phases.size() == 1) {
      EXPECT_NEAR(p.H, 0.8 * 9000 + 0.2 * 11000, 1e-5);
      EXPECT_NEAR(p.Cp, 0, 1e-4);
      continue;
    }
    const double h = 0.5;
    const double d1 = (geq(p.T + h) - geq(p.T - h)) / (2 * h);
    const double d2 = (geq(p.T + h / 2) - geq(p.T - h / 2)) / h;
    const double dG = (4 * d2 - d1) / 3;
    EXPECT_NEAR(p.G, geq(p.T), 1e-6);
    EXPECT_NEAR(p.H, p.G - p.T * dG, 1e-4);
    const double c1 = (geq(p.T + h) - 2 * geq(p.T) + geq(p.T - h)) / (h * h);
    const double c2 = (geq(p.T + h / 2) - 2 * geq(p.T) + geq(p.T - h / 2)) / (h * h / 4);
    EXPECT_NEAR(p.Cp, -p.T * (4 * c2 - c1) / 3, 1e-3 * std::abs(p.Cp));
    ++twoPhase;
  }
  EXPECT_EQ(twoPhase, 5);
}

// Along X at a fixed temperature: the boundaries crossed are the tie lines' ends.
TEST(Path, AlongXCrossesTheTieLineEnds) {
  Sheet s(kEutectic);
  PathRequest request;
  request.Along = PathAxis::X;
  request.Y = 850;
  request.From = 0;
  request.To = 1;
  request.Points = 51;
  const PathResult path = StepPath(s.sheet, request);
  ASSERT_EQ(path.Error, "");
  // Both components are solid at 850 K: S, S + L, L, L + S, S.
  const Tie left = Tangent(kS, kL, 850, 0.01, 0.5), right = Tangent(kL, kS, 850, 0.5, 0.99);
  ASSERT_EQ(path.Crossings.size(), 4u);
  const double ends[] = {left.xa, left.xb, right.xa, right.xb};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(path.Crossings[i].At, ends[i], 1e-9) << i;
  EXPECT_EQ(path.Crossings[1].After.Phases[0].Name, "L");
  EXPECT_EQ(path.Crossings[1].After.Phases.size(), 1u);
}

// Activities: a = x in an ideal solution, ln a = ln x + W (1 - x)^2 / RT in a regular one,
// both referred to the liquid; referred to the solid instead, a_A changes by the factor
// exp((G_L - G_S) / RT) of pure A.
TEST(Path, ActivitiesOfIdealAndRegularSolutions) {
  for (const double W : {0.0, -12000.0, 9000.0}) {
    SCOPED_TRACE(W);
    const std::string text = "GL = (1-X)*10*(900-T) + X*10*(1100-T) + " + std::to_string(W) +
                             "*X*(1-X) - T*Sid\r\nGS = 30000 - T*Sid";
    Sheet s(text.c_str());
    PathRequest request;
    request.Along = PathAxis::X;
    request.Y = 1300;
    request.From = 0;
    request.To = 1;
    request.Points = 41;
    const PathResult path = StepPath(s.sheet, request);
    ASSERT_EQ(path.Error, "");
    EXPECT_DOUBLE_EQ(path.GasConstant, R);
    const double RT = R * 1300;
    for (const PathPoint& p : path.Points) {
      const double x = p.X;
      EXPECT_NEAR(p.ActivityB, x * std::exp(W * (1 - x) * (1 - x) / RT), 1e-9) << x;
      EXPECT_NEAR(p.ActivityA, (1 - x) * std::exp(W * x * x / RT), 1e-9) << x;
    }
    request.ReferenceA = "S";
    const PathResult solid = StepPath(s.sheet, request);
    const double factor = std::exp((10 * (900 - 1300.0) - 30000) / RT);
    EXPECT_NEAR(solid.Points[10].ActivityA, path.Points[10].ActivityA * factor, 1e-12);
  }
  Sheet s(kEutectic);
  PathRequest request;
  request.ReferenceB = "Q";
  request.From = 1000;
  request.To = 900;
  EXPECT_EQ(StepPath(s.sheet, request).Error, "no phase Q of pure B in the sheet");
  request.Points = 1;
  EXPECT_EQ(StepPath(s.sheet, request).Error, "the path needs 2 to 1000000 points");
}

// A lens of ideal solutions whose partition coefficient is k at every temperature: x_S = k x_L,
// the liquidus x_L = (E - 1) / (E - k) with E = exp(10 (1000 - T) / RT), and Scheil's equation
// x_L = x0 (1 - f_s)^(k - 1).
TEST(Scheil, ConstantPartitionCoefficientFollowsScheilsEquation) {
  const double k = 0.3, x0 = 0.1;
  Sheet s("GL = (1-X)*10*(1000-T) + X*8.31441*T*LN(0.3) - T*Sid\r\nGS = 0 - T*Sid");
  ScheilRequest request;
  request.X = x0;
  request.From = 1100;
  request.To = 500;
  request.Points = 121;
  const ScheilResult r = Scheil(s.sheet, request);
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(r.Liquid, "L");
  ASSERT_EQ(r.Solids.size(), 1u);
  EXPECT_EQ(r.Solids[0], "S");
  EXPECT_EQ(r.End, ScheilEnd::LowestLevel);
  const double E = (1 - k * x0) / (1 - x0);
  EXPECT_NEAR(r.LiquidusT, 10000 / (10 + R * std::log(E)), 1e-6);
  int checked = 0;
  for (size_t i = 0; i < r.T.size(); ++i) {
    SCOPED_TRACE(r.T[i]);
    if (r.T[i] > r.LiquidusT) {
      EXPECT_EQ(r.FractionSolid[i], 0);
      continue;
    }
    const double e = std::exp(10 * (1000 - r.T[i]) / (R * r.T[i]));
    EXPECT_NEAR(r.LiquidX[i], (e - 1) / (e - k), 1e-8);
    EXPECT_NEAR(r.FractionSolid[i], 1 - std::pow(r.LiquidX[i] / x0, 1 / (k - 1)), 2e-7);
    EXPECT_NEAR(r.SolidAmounts[0][i], r.FractionSolid[i], 1e-12);
    ++checked;
  }
  EXPECT_GT(checked, 80);
  EXPECT_EQ(r.T.back(), 500);
  EXPECT_NEAR(r.LastLiquid, 1 - r.FractionSolid.back(), 1e-15);
}

// The eutectic sheet: the liquid follows the A-rich solid's liquidus and the last liquid
// freezes at the eutectic of the equilibrium path, into both solids.
TEST(Scheil, EndsAtTheEutecticWithBothSolids) {
  Sheet s(kEutectic);
  ScheilRequest request;
  request.X = 0.2;
  request.From = 1000;
  request.To = 500;
  request.Points = 201;
  const ScheilResult r = Scheil(s.sheet, request);
  ASSERT_EQ(r.Error, "");
  EXPECT_EQ(r.Note, "");
  PathRequest eq;
  eq.X = 0.2;
  eq.From = 1000;
  eq.To = 500;
  const PathResult path = StepPath(s.sheet, eq);
  ASSERT_EQ(path.Crossings.size(), 2u);
  EXPECT_EQ(r.End, ScheilEnd::Eutectic);
  EXPECT_NEAR(r.LiquidusT, path.Crossings[0].At, 1e-7);
  EXPECT_NEAR(r.EndT, path.Crossings[1].At, 1e-5);
  // The eutectic liquid's composition, and more liquid left than the lever rule leaves there.
  EXPECT_NEAR(r.LiquidX[r.T.size() - 2], path.Crossings[1].Before.Phases[1].X, 1e-7);
  EXPECT_GT(r.LastLiquid, path.Crossings[1].Before.Phases[1].Amount);
  EXPECT_EQ(r.FractionSolid.back(), 1);
  EXPECT_TRUE(std::isnan(r.LiquidX.back()));
  ASSERT_EQ(r.Solids.size(), 2u);
  EXPECT_NEAR(r.SolidAmounts[0].back() + r.SolidAmounts[1].back(), 1, 1e-12);
  // All of B ends in the solids.
  EXPECT_NEAR(r.SolidB[0].back() + r.SolidB[1].back(), 0.2, 1e-5);
  ASSERT_EQ(r.Events.size(), 2u);
  EXPECT_EQ(r.Events[1].Text, "eutectic L → S + S");
}

// Masses from the directive or from the element names, and the conversion both ways.
TEST(Masses, FromTheSheetAndConvertedBothWays) {
  ComponentMasses m = ReadComponentMasses("% components: PB SN\nGL=0");
  EXPECT_EQ(m.A, 207.2);
  EXPECT_EQ(m.B, 118.71);
  // Pb-30 wt% Sn.
  const double x = (30 / 118.71) / (30 / 118.71 + 70 / 207.2);
  EXPECT_NEAR(MoleFractionB(0.3, m), x, 1e-15);
  EXPECT_NEAR(MassFractionB(x, m), 0.3, 1e-15);
  for (double v : {0.0, 1.0}) {
    EXPECT_EQ(MassFractionB(v, m), v);
    EXPECT_EQ(MoleFractionB(v, m), v);
  }
  for (int i = 1; i < 1000; ++i) {
    const double v = i / 1000.0, ulp = std::nextafter(v, 2.0) - v;
    EXPECT_LE(std::abs(MoleFractionB(MassFractionB(v, m), m) - v), 4 * ulp) << v;
    EXPECT_LE(std::abs(MassFractionB(MoleFractionB(v, m), m) - v), 4 * ulp) << v;
  }
  // The directive wins over the names; a directive that is not two positive numbers does not.
  m = ReadComponentMasses("% Components: Cu, Mg\n%MASSES: 63.5, 24.3\n% masses: 1 2");
  EXPECT_EQ(m.A, 63.5);
  EXPECT_EQ(m.B, 24.3);
  m = ReadComponentMasses("% components: cu mg\n% masses: 63.5 -1");
  EXPECT_EQ(m.A, 63.546);
  EXPECT_FALSE(ReadComponentMasses("% components: A B\nGL=0").Known());
  EXPECT_FALSE(ReadComponentMasses("GL=0").Known());
}

}  // namespace
}  // namespace calc
