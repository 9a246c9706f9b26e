// Cross-checks of whole sweeps against textbook thermodynamics: the tie-line ends the engine
// finds at every level must lie within one X step of the closed-form or numerically solved
// phase boundaries.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine_fixture.h"

namespace calc {
namespace {

using testing::EngineTest;
using testing::MakeProblem;

constexpr double kR = 8.31441;

double Bisect(const std::function<double(double)>& f, double lo, double hi) {
  double flo = f(lo);
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    const double fm = f(mid);
    if ((fm < 0) == (flo < 0)) {
      lo = mid;
      flo = fm;
    } else {
      hi = mid;
    }
  }
  return 0.5 * (lo + hi);
}

TEST_F(EngineTest, RegularSolutionGapFollowsTheBinodal) {
  const double omega = 20000;  // critical temperature omega / (2R) = 1202.7 K
  ports.problem = MakeProblem(
      "GS=20000*X*(1-X)-T*Sid\n"
      "GL=20000*X*(1-X)-T*Sid+5000",
      400, 1300, 200, 45);
  ports.problem.ShowChart = false;
  engine.Run();
  ASSERT_EQ(Levels(), 46);
  const double xstep = results.State.XStep;
  int checked = 0;
  for (int level = 0; level < Levels(); ++level) {
    const double t = 1300 - 20.0 * level;
    const auto& row = results.ZPoints.Row(level);
    if (t >= omega / (2 * kR)) {
      EXPECT_TRUE(row.empty()) << t;
      continue;
    }
    const double xb = Bisect(
        [&](double x) { return std::log(x / (1 - x)) - omega * (2 * x - 1) / (kR * t); }, 1e-12,
        0.5 - 1e-9);
    if (1 - 2 * xb < 2 * xstep) continue;  // narrower than the grid can show
    ASSERT_EQ(row.size(), 2u) << t;
    EXPECT_NEAR(row[0].Y, t, 1e-9);
    EXPECT_NEAR(row[0].X, 1 - xb, xstep) << t;
    EXPECT_NEAR(row[1].X, xb, xstep) << t;
    EXPECT_EQ(results.PhaseName(row[0].Phase), "S");
    ++checked;
  }
  EXPECT_GT(checked, 35);
}

TEST_F(EngineTest, IdealLensFollowsSolidusAndLiquidus) {
  // Pure A melts at 1200 K, pure B at 800 K, entropy of fusion 10 J/(mol K) for both.
  ports.problem = MakeProblem(
      "GL=(1-X)*10*(1200-T)+X*10*(800-T)-T*Sid\n"
      "GS=-T*Sid",
      700, 1300, 100, 60);
  ports.problem.ShowChart = false;
  engine.Run();
  ASSERT_EQ(Levels(), 61);
  EXPECT_TRUE(ports.messages.empty());
  const double xstep = results.State.XStep;
  int checked = 0;
  for (int level = 0; level < Levels(); ++level) {
    const double t = 1300 - 10.0 * level;
    const auto& row = results.ZPoints.Row(level);
    if (t >= 1200 || t <= 800) {
      EXPECT_TRUE(row.empty()) << t;
      continue;
    }
    const double a = std::exp(-10 * (1200 - t) / (kR * t));
    const double b = std::exp(-10 * (800 - t) / (kR * t));
    const double xs = (1 - a) / (b - a);
    const double xl = b * xs;
    if (xl - xs < 2 * xstep) continue;
    ASSERT_EQ(row.size(), 2u) << t;
    EXPECT_NEAR(row[0].X, xl, xstep) << t;
    EXPECT_EQ(results.PhaseName(row[0].Phase), "L");
    EXPECT_NEAR(row[1].X, xs, xstep) << t;
    EXPECT_EQ(results.PhaseName(row[1].Phase), "S");
    ++checked;
  }
  EXPECT_GT(checked, 30);
  // The finder sees the two melting points as other special points at X = 0 and X = 1.
  engine.FindSpecialPoints(kTemperatureText);
  EXPECT_TRUE(results.Nodes.empty());
  ASSERT_EQ(results.MemoLines.size(), 2u) << results.MemoLines[0];
  ASSERT_EQ(results.MemoPoints.size(), 2u);
  EXPECT_EQ(results.MemoPoints[0].X, 0);
  EXPECT_NEAR(results.MemoPoints[0].Y, 1200, 10);
  EXPECT_EQ(results.MemoPoints[1].X, 1);
  EXPECT_NEAR(results.MemoPoints[1].Y, 800, 10);
}

// Whether the liquid of the eutectic model below is stable somewhere at temperature t: lower
// hull of min(GL, GS) on a fine grid by a monotone chain.
bool LiquidOnLowerHull(double t) {
  const int n = 4000;
  std::vector<double> xs, gs;
  std::vector<bool> liquid;
  for (int i = 0; i <= n; ++i) {
    const double x = static_cast<double>(i) / n;
    const double mix = (x > 0 ? x * std::log(x) : 0) + (x < 1 ? (1 - x) * std::log(1 - x) : 0);
    const double gl = (1 - x) * 10 * (1000 - t) + x * 10 * (800 - t) + kR * t * mix;
    const double gsol = 20000 * x * (1 - x) + kR * t * mix;
    xs.push_back(x);
    gs.push_back(std::min(gl, gsol));
    liquid.push_back(gl < gsol);
  }
  std::vector<int> hull;
  for (int i = 0; i <= n; ++i) {
    while (hull.size() >= 2) {
      const int a = hull[hull.size() - 2], b = hull.back();
      const double cross = (xs[b] - xs[a]) * (gs[i] - gs[a]) - (gs[b] - gs[a]) * (xs[i] - xs[a]);
      if (cross > 0) break;
      hull.pop_back();
    }
    hull.push_back(i);
  }
  for (int i : hull) {
    if (liquid[static_cast<size_t>(i)]) return true;
  }
  return false;
}

TEST_F(EngineTest, EutecticGivesOneNodeAtTheInvariantTemperature) {
  // Liquid ideal; solid regular with a wide gap: a simple eutectic.
  ports.problem = MakeProblem(
      "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\n"
      "GS=20000*X*(1-X)-T*Sid",
      300, 1100, 100, 80);
  ports.problem.ShowChart = false;
  ports.on_build_diagram = [&] { engine.FindSpecialPoints(kTemperatureText); };
  engine.Run();
  ASSERT_EQ(ports.build_diagram_calls, 1);
  ASSERT_EQ(results.Nodes.size(), 1u);
  const TNode& node = results.Nodes[0];
  EXPECT_LT(node.XLeft, node.X);
  EXPECT_LT(node.X, node.XRight);
  // The node is found on the last level that still shows the liquid, so it lies at most one
  // Y step above the eutectic temperature of the same model, found here independently.
  const double te = Bisect([](double t) { return LiquidOnLowerHull(t) ? 1.0 : -1.0; }, 300, 800);
  EXPECT_GE(node.Y, te - 1) << te;
  EXPECT_LE(node.Y, te + 10) << te;
  // Melting points of the pure components.
  ASSERT_EQ(results.MemoPoints.size(), 2u);
  EXPECT_EQ(results.MemoPoints[0].X, 0);
  EXPECT_NEAR(results.MemoPoints[0].Y, 1000, 10);
  EXPECT_NEAR(results.MemoPoints[1].X, 1, 0.05);
  EXPECT_NEAR(results.MemoPoints[1].Y, 800, 10);
}

// A liquid and two solids, the second of which (BETA) is so narrow that only its grid node at
// X = 0.3 ever sees it: it forms by a peritectic L + ALPHA -> BETA near 585 K, and a eutectic
// follows below. The same system written as two solution phases and a compound at 0.3 must
// give the same cells (with "C" for BETA), the same tie-line ends and the same nodes.
TEST(ThreePhases, NarrowSolutionPhaseMatchesTheCompound) {
  const std::string common =
      "GLIQUID=10*(1-X)*(1000-T)+10*X*(700-T)-T*Sid\n"
      "GALPHA=15000*X*(1-X)-T*Sid\n";
  struct Run {
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> ends;  // "level|X|name", X to 1e-9
    std::vector<std::string> nodes;
    std::set<std::tuple<int, int, int>> colors;  // of the mosaic's two-phase runs
  };
  auto run = [](const std::string& sheet, const std::string& compound_name) {
    testing::RecordingPorts ports;
    Results results;
    Engine engine(ports, ports, results, &ports, ports.LevelsInto(results));
    ports.problem = MakeProblem(sheet, 400, 1000, 100, 120);
    ports.problem.ShowChart = false;
    ports.problem.ShowMosaicDiagram = true;
    engine.Run();
    engine.FindSpecialPoints(kTemperatureText);
    Run out;
    const CellGrid& g = results.Cells();
    for (int r = 1; r < g.RowCount(); ++r) {
      out.cells.emplace_back();
      for (int c = 1; c < g.ColCount(); ++c) {
        const std::string& t = g.Cell(c, r);
        out.cells.back().push_back(t == "C" ? "BETA" : t);
      }
    }
    for (int r = 0; r < results.ZPoints.RowCount(); ++r) {
      for (const TZPoint& p : results.ZPoints.Row(r)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%d|%.9f|", r, p.X);
        const std::string& name = results.PhaseName(p.Phase);
        out.ends.push_back(buf + (name == compound_name ? std::string("BETA") : name));
      }
    }
    const MosaicRaster& m = results.Mosaic;
    for (int y = 0; y < m.Height(); ++y)
      for (int x = 0; x < m.Width(); ++x) {
        const Rgb c = m.Pixel(x, y);
        if (!(c == kWhite) && !(c == kRed) && !(c == Rgb{0, 0, 0}))
          out.colors.insert({c.r, c.g, c.b});
      }
    for (const TNode& n : results.Nodes) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "%.6f|%.9f|%.9f|%.9f", n.Y, n.XLeft, n.X, n.XRight);
      out.nodes.push_back(buf);
    }
    return out;
  };
  const Run three = run(common + "GBETA=1000+8*(T-800)+1E8*(X-0.3)^2", "");
  const Run compound = run(common + "X=0.3;GC=1000+8*(T-800)", "0.3");
  EXPECT_EQ(three.cells, compound.cells);
  EXPECT_EQ(three.ends, compound.ends);
  EXPECT_EQ(three.nodes, compound.nodes);
  // Fields with the third phase have mosaic colours of their own; with two solution phases and
  // a compound every run has the mosaic colour.
  const Rgb base = SweepState().MosaicColor;
  EXPECT_EQ(compound.colors, (std::set<std::tuple<int, int, int>>{{base.r, base.g, base.b}}));
  EXPECT_EQ(three.colors.size(), 3u);
  EXPECT_EQ(three.colors.count({base.r, base.g, base.b}), 1u);
  // The peritectic first (BETA between ALPHA and the liquid), then the eutectic.
  ASSERT_EQ(three.nodes.size(), 2u);
  EXPECT_NE(three.nodes[0].find("|0.300000000|"), std::string::npos) << three.nodes[0];
  for (const char* phase : {"LIQUID", "ALPHA", "BETA"}) {
    bool seen = false;
    for (const auto& row : three.cells)
      seen |= std::find(row.begin(), row.end(), phase) != row.end();
    EXPECT_TRUE(seen) << phase;
  }
}

}  // namespace
}  // namespace calc
