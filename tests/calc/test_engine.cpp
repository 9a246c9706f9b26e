#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "numeric/errors.h"

namespace calc {
namespace {

using testing::EngineTest;
using testing::MakeProblem;
using V = std::vector<std::string>;

// Two parabolas of equal curvature: at T = 500 their common tangent is G = 0 touching S at
// 0.2 and L at 0.7. Above 500 the solid is stable everywhere, below it the liquid. Both pure
// components change phase inside 400..600 (at 455 and 555).
const char* kGapSheet =
    "GL=1000*(X-0.7)^2+10*(T-500)\n"
    "GS=1000*(X-0.2)^2";

// A stable compound at 0.35 just below a solid parabola; the liquid is never stable at 500.
// The pure components change phase at 500 and 501; the levels themselves are of no interest.
const char* kQuietSheet = "GL=500-T+X\nGS=0";

const char* kCompoundSheet =
    "GS=1000*(X-0.5)^2\n"
    "GL=1000*(X-0.5)^2+100+10*(T-500)\n"
    "X=0.35;GC=20";

TEST_F(EngineTest, ProblemCheckMessages) {
  struct Case {
    std::string functs;
    double ymin, ymax;
    YParameter y;
    V messages;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"", 400, 600, YParameter::Temperature, {"error[O]: Gibbs energy can not be computed"}, false},
      {"X=0.5;GC=1", 400, 600, YParameter::Temperature,
       {"error[O]: Gibbs energy can not be computed"}, false},
      {"GC=1", 400, 600, YParameter::Temperature,
       {"warning[O]: Point phase concentration is invalid or not defined"}, false},
      {kGapSheet, 600, 400, YParameter::Temperature,
       {"warning[O]: Ymax must be more that Ymin"}, false},
      {kGapSheet, 400, 600, YParameter::None, {"error[O]: P, bar is not assigned"}, false},
      {kGapSheet, 400, 600, YParameter::Temperature, {}, true},
      // No transition of pure A inside the range: only the first warning, no second search.
      {kGapSheet, 560, 600, YParameter::Temperature,
       {"warning[O]: Ymin value is out of given interval"}, true},
      // Pure A changes at 455, pure B at 555, outside 400..500.
      {kGapSheet, 400, 500, YParameter::Temperature,
       {"warning[O]: Ymax value is out of given interval"}, true},
      // Three solution phases: no end-member check at all.
      {"GL=1\nGS=2\nGV=3", 400, 600, YParameter::Temperature, {}, true},
      // One solution phase: none either.
      {"GL=1", 400, 600, YParameter::Temperature, {}, true},
      // Ymin = Ymax passes.
      {"GL=1\nGS=2\nGV=3", 500, 500, YParameter::Temperature, {}, true},
  };
  for (const Case& c : cases) {
    ports.messages.clear();
    ports.log.clear();
    ports.problem = MakeProblem(c.functs, c.ymin, c.ymax, 10, 2);
    ports.problem.Yparameter = c.y;
    EXPECT_EQ(engine.CheckProblem(), c.ok) << c.functs;
    EXPECT_EQ(results.State.CheckFailed, c.ok ? 0 : 1) << c.functs;
    EXPECT_EQ(ports.messages, c.messages) << c.functs << " " << c.ymin << ".." << c.ymax;
    EXPECT_EQ(engine.ZParameterUnassigned(), c.y == YParameter::None) << c.functs;
  }
}

TEST_F(EngineTest, GridLimitsAreCheckedBeforeAnything) {
  struct Case {
    int xpoints, ypoints;
    std::string point_phases;
    std::string message;  // empty: the check passes
  };
  const std::string one_compound = "X=0.25;GC=1\n";
  const std::vector<Case> cases = {
      {1000000, 10, "", ""},
      {1000001, 10, "",
       "XPoints = 1000001 is too large: at most 1000000 points along X can be computed"},
      {2147483647, 10, "",
       "XPoints = 2147483647 is too large: at most 1000000 points along X can be computed"},
      {10, 1000000, "", ""},
      {10, 2147483647, "",
       "YPoints = 2147483647 is too large: at most 1000000 levels can be computed"},
      // 16384 rows (header, 16382 levels, the extra one) by 16384 columns (header, 16383
      // nodes) is 2^28 cells, the most; a compound adds a column.
      {16382, 16381, "", ""},
      {16382, 16381, one_compound,
       "A cell grid of 16384 rows and 16385 columns is too large: at most 268435456 cells can be "
       "kept. Lower XPoints or YPoints"},
  };
  for (const Case& c : cases) {
    ports.messages.clear();
    ports.problem =
        MakeProblem(c.point_phases + "GL=1\nGS=2\nGV=3", 400, 600, c.xpoints, c.ypoints);
    EXPECT_EQ(engine.CheckProblem(), c.message.empty()) << c.xpoints << " " << c.ypoints;
    EXPECT_EQ(ports.messages, c.message.empty() ? V{} : V{"error[O]: " + c.message});
  }
}

TEST_F(EngineTest, PhaseCountLimit) {
  // 10 001 phases: the first 10 000 compile, the next one is refused.
  std::string sheet = "GL=1\nGS=2\nX=0.5;GC=3\n";
  for (int i = 3; i <= 10000; ++i) sheet += "GP" + std::to_string(i) + "=1\n";
  ports.problem = MakeProblem(sheet, 400, 600, 10, 2);
  EXPECT_FALSE(engine.CheckProblem());
  EXPECT_EQ(ports.messages,
            V{"error[O]: The phase sheet has more than 10000 phases: at most 10000 can be "
              "computed"});
  EXPECT_EQ(engine.Sheet().Phases.size() + engine.Sheet().PointPhases.size(), 10000u);
}

TEST_F(EngineTest, EvaluatorErrorInsideTheEndMemberSearchCountsAsNoRoot) {
  // At T = 500 the liquid divides by zero; the search at X = 0 starts at Ymin = 500.
  ports.problem = MakeProblem("GL=1/(T-500)\nGS=0", 500, 600, 10, 2);
  EXPECT_TRUE(engine.CheckProblem());
  EXPECT_EQ(ports.messages, V{"warning[O]: Ymin value is out of given interval"});
}

TEST_F(EngineTest, RefusedPostEndsTheCheckSilently) {
  ports.problem = MakeProblem("", 400, 600, 10, 2);
  ports.post_ok = false;
  EXPECT_FALSE(engine.CheckProblem());
  EXPECT_TRUE(ports.messages.empty());
  EXPECT_EQ(results.State.CheckFailed, 1);
}

TEST_F(EngineTest, CheckPreparesTheSweepState) {
  struct Case {
    YParameter y;
    double z;
    int xpoints, ypoints;
    double T, p, xstep, ystep;
    int zrows, zsize;
  };
  const std::vector<Case> cases = {
      {YParameter::Temperature, 3, 10, 4, 0, 3, 0.1, 50, 5, 10},
      {YParameter::Temperature, 0, 1, 0, 0, 1, 0.5, 200, 2, 2},
      {YParameter::Temperature, -5, 2, 1, 0, 1, 0.5, 200, 2, 2},
      {YParameter::Pressure, 1200, 0, -3, 1200, 1, 0.5, 200, 2, 2},
  };
  for (const Case& c : cases) {
    Results fresh_results;
    testing::RecordingPorts p;
    Engine e(p, p, fresh_results, &p, p.LevelsInto(fresh_results));
    p.problem = MakeProblem("GL=1\nGS=2\nGV=3", 400, 600, c.xpoints, c.ypoints);
    p.problem.Yparameter = c.y;
    p.problem.Zvalue = c.z;
    ASSERT_TRUE(e.CheckProblem());
    const SweepState& st = fresh_results.State;
    EXPECT_EQ(st.T, c.T);
    EXPECT_EQ(st.p, c.p);
    EXPECT_DOUBLE_EQ(st.XStep, c.xstep);
    EXPECT_DOUBLE_EQ(st.YStep, c.ystep);
    EXPECT_EQ(st.Y, 600);
    EXPECT_EQ(st.LevelIndex, -1);
    EXPECT_EQ(fresh_results.ZPoints.RowCount(), c.zrows);
    EXPECT_EQ(fresh_results.ZPoints.RowSize(), c.zsize);
    EXPECT_DOUBLE_EQ(p.axis_increment, 0.1);
  }
}

TEST_F(EngineTest, XLevelsWithPointPhaseColumns) {
  struct Case {
    std::string point_phases;
    int xpoints;
    char sep;
    V header;
  };
  const std::vector<Case> cases = {
      {"", 0, '.', {" Y/X", "0", "0.5", "1"}},
      {"", 1, '.', {" Y/X", "0", "0.5", "1"}},
      {"", 2, '.', {" Y/X", "0", "0.5", "1"}},
      {"", 4, ',', {" Y/X", "0", "0,25", "0,5", "0,75", "1"}},
      {"X=0.35;GC=1", 10, '.',
       {" Y/X", "0", "0.1", "0.2", "0.3", "0.35", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"}},
      {"X=0.5;GC=1", 10, '.',
       {" Y/X", "0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"}},
      {"X=0.32;GC=1\nX=0.37;GC=1", 10, '.',
       {" Y/X", "0", "0.1", "0.2", "0.3", "0.32", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"}},
      {"X=0.37;GC=1\nX=0.32;GC=1", 10, '.',
       {" Y/X", "0", "0.1", "0.2", "0.3", "0.37", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"}},
      {"X=1/3;GC=1", 4, '.', {" Y/X", "0", "0.25", "0.33333333", "0.5", "0.75", "1"}},
      {"X=0.9999;GC=1\nX=0.00001;GC=1", 2, '.', {" Y/X", "0", "0.00001", "0.5", "0.9999", "1"}},
  };
  for (const Case& c : cases) {
    ports.separator = c.sep;
    ports.problem = MakeProblem("GL=1\nGS=2\nGV=3\n" + c.point_phases, 400, 600, c.xpoints, 2);
    ASSERT_TRUE(engine.CheckProblem());
    engine.SetUp();
    EXPECT_EQ(HeaderRow(), c.header) << c.point_phases << " " << c.xpoints;
    EXPECT_EQ(results.Cells().RowCount(), 2);
    ASSERT_EQ(results.XLevels.size() + 1, c.header.size());
    EXPECT_EQ(results.XLevels.back().X, 1.0);
  }
  // XPoints 100 with point phases at 0.505 and 0.507: one extra column, at 0.505.
  ports.separator = '.';
  ports.problem = MakeProblem("GL=1\nGS=2\nX=0.505;GC=1\nX=0.507;GC=1", 400, 600, 100, 2);
  ASSERT_TRUE(engine.CheckProblem());
  engine.SetUp();
  ASSERT_EQ(results.XLevels.size(), 102u);
  EXPECT_EQ(results.XLevels[51].Text, "0.505");
  EXPECT_EQ(results.XLevels[52].Text, "0.51");
}

// Many point phases, some on grid nodes, some within 1e-10 of them, some sharing an interval:
// the X levels agree with the rule applied literally (every interval scans the sheet's point
// phases in order).
TEST_F(EngineTest, XLevelsOfManyPointPhasesFollowTheRule) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    const int xpoints = 2 + static_cast<int>(rng() % 60);
    std::string sheet = "GL=1\nGS=2\nGV=3\n";
    for (int j = 0; j < 40; ++j) {
      const double node = static_cast<double>(rng() % (xpoints + 1)) / xpoints;
      const double offsets[] = {0,
                                3e-11,
                                -3e-11,
                                0.3 / xpoints,
                                0.6 / xpoints,
                                std::uniform_real_distribution<double>(0, 1.0 / xpoints)(rng)};
      const double xp = std::clamp(node + offsets[rng() % 6], 0.0, 1.0);
      char buf[64];
      std::snprintf(buf, sizeof buf, "X=%.17g;GC=1\n", xp);
      sheet += buf;
    }
    ports.problem = MakeProblem(sheet, 400, 600, xpoints, 2);
    ASSERT_TRUE(engine.CheckProblem());
    engine.SetUp();
    std::vector<double> want;
    const double step = results.State.XStep;
    for (double x = 0; x <= 1;) {
      want.push_back(x);
      if (x >= 1 || std::abs(1 - x) < 1e-12) break;
      x += step;
      if (std::abs(1 - x) < 1e-12 || x > 1) x = 1;
      for (const PointPhase& pp : engine.Sheet().PointPhases) {
        const double xp = pp.Composition;
        if (std::abs(x - xp) < 1e-10 || std::abs((x - step) - xp) < 1e-10 || x <= xp ||
            x - step >= xp) {
          continue;
        }
        want.push_back(xp);
        break;
      }
    }
    std::vector<double> got;
    for (const XLevel& l : results.XLevels) got.push_back(l.X);
    EXPECT_EQ(got, want) << sheet;
  }
}

TEST_F(EngineTest, SetUpKeepsEveryPhaseAndRebuildsSeries) {
  ports.problem = MakeProblem("GLIQUID=1\nGS=2\nGV=3", 400, 600, 10, 2);
  ASSERT_TRUE(engine.CheckProblem());
  engine.SetUp();
  EXPECT_EQ(engine.Sheet().Phases.size(), 3u);
  ASSERT_EQ(ports.rebuilt_series.size(), 1u);
  EXPECT_EQ(ports.rebuilt_series[0], (V{"LIQUID", "S", "V", "Convex"}));
  EXPECT_EQ(results.Mosaic.Width(), 200);
  EXPECT_EQ(results.Mosaic.Height(), 110);
  EXPECT_EQ(CountMosaicPixels(kWhite), 200 * 110);
  EXPECT_EQ(results.State.MosaicColor, (Rgb{0xC0, 0xDC, 0xC0}));
  EXPECT_EQ(ports.log, (V{"post", "rebuild series"}));
}

TEST_F(EngineTest, TwoPhaseRegionCellsPointsAndMosaic) {
  ports.problem = MakeProblem(kGapSheet, 400, 600, 10, 2);
  engine.Run();
  ASSERT_TRUE(ports.messages.empty()) << ports.messages[0];
  EXPECT_EQ(Levels(), 3);
  EXPECT_EQ(HeaderColumn(), (V{"600", "500", "400"}));
  EXPECT_EQ(RowCells(1), V(11, "S"));
  EXPECT_EQ(RowCells(2), (V{"S", "S", "S", "", "", "", "", "L", "L", "L", "L"}));
  EXPECT_EQ(RowCells(3), V(11, "L"));
  EXPECT_TRUE(ZRow(0).empty());
  EXPECT_EQ(ZRow(1), (V{"0.7|500|8|L", "0.2|500|3|S"}));
  EXPECT_TRUE(ZRow(2).empty());
  // Scale (110 - 10) / 200: level 1 lies on row 50; the run covers round(200 * 0.2) = 40 to
  // round(200 * 0.7) = 140.
  EXPECT_EQ(MosaicRow(50), std::string(40, '.') + std::string(101, 'o') + std::string(59, '.'));
  EXPECT_EQ(CountMosaicPixels(results.State.MosaicColor), 101);
  EXPECT_EQ(ports.build_diagram_calls, 1);
}

TEST_F(EngineTest, StableCompoundGetsItsColumnTwoSegmentsAndOneCircle) {
  ports.problem = MakeProblem(kCompoundSheet, 400, 600, 10, 2);
  engine.Run();
  ASSERT_EQ(Levels(), 3);
  // Level 1 (T = 500): the compound at 0.35 is a hull vertex between the nodes 0.3 and 0.4.
  EXPECT_EQ(RowCells(2), (V{"S", "S", "S", "S", "C", "S", "S", "S", "S", "S", "S", "S"}));
  EXPECT_EQ(ZRow(1), (V{"0.4|500|6|S", "0.35|500|0|0.35", "0.35|500|0|0.35", "0.3|500|4|S"}));
  // Row 50: the runs 60..70 and 70..80, and the ring around (70, 50), whose middle row the
  // runs paint over.
  EXPECT_EQ(MosaicRow(48), std::string(69, '.') + "##" + std::string(129, '.'));
  EXPECT_EQ(MosaicRow(49), std::string(68, '.') + "#..#" + std::string(128, '.'));
  EXPECT_EQ(MosaicRow(50), std::string(60, '.') + std::string(21, 'o') + std::string(119, '.'));
  EXPECT_EQ(MosaicRow(51), std::string(69, '.') + "##" + std::string(129, '.'));
  // At 400 the liquid covers everything and the compound lies above it.
  EXPECT_EQ(RowCells(3), V(12, "L"));
}

TEST_F(EngineTest, SegmentsThatDoNotFitAreReported) {
  // X levels 0, 0.25 (compound), 0.5, 1; each row has room for two entries, one segment.
  ports.problem = MakeProblem(
      "GS=1000*(X-0.5)^2\nGL=1000*(X-0.5)^2+100+10*(T-500)\nX=0.25;GC=-100", 500, 500, 2, 1);
  engine.Run();
  EXPECT_EQ(ports.messages, (V{"warning[O]: Ymin value is out of given interval",
                              "message: Error at Temperature, K = 500\rX = 0"}));
  EXPECT_EQ(RowCells(1), (V{"S", "C", "S", "S"}));
  EXPECT_EQ(ZRow(0), (V{"0.5|500|3|S", "0.25|500|0|0.25"}));
  // Only the written segment is drawn: round(200 * 0.25) = 50 .. 100, on row 0.
  EXPECT_EQ(CountMosaicPixels(results.State.MosaicColor), 51);
}

TEST_F(EngineTest, HullListOrderAndConvexSeries) {
  // A point phase at X = 1 above the solid's end: both are hull vertices, the node first.
  ports.problem = MakeProblem(
      "GS=1000*(X-0.5)^2\nGL=1000*(X-0.5)^2+100+10*(T-500)\nX=1;GC=300", 500, 500, 10, 1);
  engine.Run();
  ASSERT_GE(results.HullList.size(), 3u);
  EXPECT_EQ(results.HullList[0].X, 1.0);
  EXPECT_FALSE(results.HullList[0].IsPointPhase);
  EXPECT_EQ(results.HullList[1].X, 1.0);
  EXPECT_TRUE(results.HullList[1].IsPointPhase);
  for (size_t i = 1; i < results.HullList.size(); ++i) {
    EXPECT_GE(results.HullList[i - 1].X, results.HullList[i].X);
  }
  ASSERT_EQ(ports.series.size(), 3u);
  EXPECT_EQ(ports.series[0].size(), 11u);  // S at every X level
  EXPECT_EQ(ports.series[1].size(), 11u);  // L
  // Convex: the node at 1, then every node down to 0; the compound is left out.
  ASSERT_EQ(ports.series[2].size(), 11u);
  EXPECT_EQ(ports.series[2][0].g, 250);
  for (const ChartPoint& p : ports.series[2]) EXPECT_NE(p.g, 300);
  // The compound lies above the solid at X = 1: it ends no segment and leaves the solid's
  // cell alone, just as the same compound at X = 0 does.
  for (const char* compound : {"X=1;GC=300", "X=0;GC=300"}) {
    ports.problem =
        MakeProblem(std::string("GS=1000*(X-0.5)^2\nGL=1000*(X-0.5)^2+100+10*(T-500)\n") + compound,
                    500, 500, 10, 1);
    engine.Run();
    EXPECT_EQ(RowCells(1), V(11, "S")) << compound;
    EXPECT_TRUE(ZRow(0).empty()) << compound;
  }
  // Nor does it take the place of the solid at X = 1 that ends a tie line to the liquid: the
  // level keeps the segment it has without the compound.
  const std::string sheet = "GL=1000*(X-0.3)^2\nGS=100000*(X-1)^2-200\n";
  ports.problem = MakeProblem(sheet, 500, 500, 10, 1);
  engine.Run();
  const V without = ZRow(0);
  ASSERT_EQ(without.size(), 2u);
  EXPECT_EQ(without[0].substr(0, 2), "1|");
  ports.problem = MakeProblem(sheet + "X=1;GC=300", 500, 500, 10, 1);
  engine.Run();
  EXPECT_EQ(ZRow(0), without);
}

TEST_F(EngineTest, WorkingChartOnlyClearedWhenHidden) {
  ports.problem = MakeProblem(kGapSheet, 400, 600, 10, 2);
  ports.problem.ShowChart = false;
  engine.Run();
  EXPECT_EQ(ports.clear_series_calls, 3);
  EXPECT_EQ(ports.set_series_calls, 0);
  for (const auto& s : results.ChartSeries) EXPECT_TRUE(s.empty());
}

TEST_F(EngineTest, HiddenMosaicStaysWhite) {
  ports.problem = MakeProblem(kCompoundSheet, 400, 600, 10, 2);
  ports.problem.ShowMosaicDiagram = false;
  engine.Run();
  EXPECT_EQ(CountMosaicPixels(kWhite), 200 * 110);
}

TEST_F(EngineTest, LevelCountsIncludingTheExtraLevel) {
  struct Case {
    double ymin, ymax;
    int ypoints;
    int levels;
    std::string last_header;
  };
  const std::vector<Case> cases = {
      {300, 700, 4, 5, "300"},
      {0, 1, 10, 11, "0"},
      {500, 500, 7, 1, "500"},
      // Rounding leaves the fourth value more than 1e-11 above Ymin: one more level at Ymin.
      {1.7, 1e6, 3, 5, "1.7"},
  };
  for (const Case& c : cases) {
    Results r;
    testing::RecordingPorts p;
    Engine e(p, p, r, &p, p.LevelsInto(r));
    p.problem = MakeProblem("GL=1\nGS=2*X", c.ymin, c.ymax, 4, c.ypoints);
    e.Run();
    EXPECT_EQ(r.State.LevelIndex + 1, c.levels) << c.ymax;
    EXPECT_EQ(r.Cells().RowCount(), c.levels + 1) << c.ymax;
    EXPECT_EQ(r.Cells().Cell(0, c.levels), c.last_header) << c.ymax;
    EXPECT_EQ(r.ZPoints.RowCount(), std::max(c.levels, c.ypoints + 1)) << c.ymax;
    EXPECT_EQ(p.build_diagram_calls, 1);
  }
}

TEST_F(EngineTest, SingleLevelRangeDrawsOnRowZero) {
  ports.problem = MakeProblem(kGapSheet, 500, 500, 10, 5);
  engine.Run();
  EXPECT_EQ(Levels(), 1);
  EXPECT_EQ(results.State.MosaicRow, 0);
  EXPECT_EQ(MosaicRow(0), std::string(40, '.') + std::string(101, 'o') + std::string(59, '.'));
}

TEST_F(EngineTest, StatusLineEveryTenLevels) {
  ports.problem = MakeProblem("GL=1\nGS=2*X", 0, 25, 4, 25);
  engine.Run();
  EXPECT_EQ(ports.status, (V{"Temperature, K = 24", "Temperature, K = 14", "Temperature, K = 4"}));
  ports.status.clear();
  ports.separator = ',';
  ports.problem = MakeProblem("GL=1\nGS=2*X", 0, 0.25, 4, 2);
  ports.problem.Yparameter = YParameter::Pressure;
  engine.Run();
  EXPECT_EQ(ports.status, (V{"Pressure, bar = 0,125"}));
}

TEST_F(EngineTest, StepModeAndRestart) {
  ports.step_mode = true;
  ports.problem = MakeProblem(kQuietSheet, 300, 700, 4, 4);
  const V headers = {"700", "600", "500", "400"};
  for (int i = 0; i < 4; ++i) {
    engine.Run();
    EXPECT_EQ(Levels(), i + 1);
    EXPECT_EQ(HeaderColumn().back(), headers[static_cast<size_t>(i)]);
    EXPECT_EQ(ports.build_diagram_calls, i == 3 ? 1 : 0);
  }
  EXPECT_EQ(std::count(ports.log.begin(), ports.log.end(), "post"), 1);
  EXPECT_EQ(results.Cells().RowCount(), 5);
  // The sweep is complete: the next command asks; No changes nothing.
  ports.answers = {DialogButton::No};
  engine.Run();
  EXPECT_EQ(ports.messages, V{"confirm[YN]: Restart the problem?"});
  EXPECT_EQ(Levels(), 4);
  EXPECT_EQ(std::count(ports.log.begin(), ports.log.end(), "post"), 1);
  // Yes starts over at 700.
  ports.answers = {DialogButton::Yes};
  engine.Run();
  EXPECT_EQ(ports.messages.size(), 2u);
  EXPECT_EQ(Levels(), 1);
  EXPECT_EQ(HeaderColumn(), V{"700"});
  EXPECT_EQ(std::count(ports.log.begin(), ports.log.end(), "post"), 2);
}

TEST_F(EngineTest, StepModeContinuesOnlyAfterASuccessfulCheck) {
  ports.step_mode = true;
  ports.problem = MakeProblem(kQuietSheet, 300, 700, 4, 4);
  engine.Run();
  engine.Run();
  EXPECT_EQ(Levels(), 2);
  // Another check fails in the middle of the sweep (e.g. the database was reopened).
  ports.problem.Functs = "";
  EXPECT_FALSE(engine.CheckProblem());
  ports.problem.Functs = kQuietSheet;
  engine.Run();  // starts over instead of continuing with emptied phase lists
  EXPECT_EQ(Levels(), 1);
  EXPECT_EQ(HeaderColumn(), V{"700"});
}

TEST_F(EngineTest, ChangingTheProblemRangeRestartsAStepSweep) {
  ports.step_mode = true;
  ports.problem = MakeProblem(kQuietSheet, 300, 700, 4, 4);
  engine.Run();
  engine.Run();
  engine.SetYRange(300, 700);
  engine.Run();
  EXPECT_EQ(Levels(), 1);
}

TEST_F(EngineTest, ACompleteSweepEndsWithItsResults) {
  ports.problem = MakeProblem(kQuietSheet, 300, 700, 4, 4);
  engine.Run();
  EXPECT_EQ(ports.log, (V{"post", "rebuild series", "diagram"}));
}

TEST_F(EngineTest, RunInsideARunningSweepIsIgnored) {
  ports.problem = MakeProblem(kQuietSheet, 300, 700, 4, 4);
  int nested = 0;
  ports.on_process_events = [&] {
    ++nested;
    engine.Run();
  };
  engine.Run();
  EXPECT_GE(nested, 5);
  EXPECT_EQ(Levels(), 5);
  EXPECT_EQ(std::count(ports.log.begin(), ports.log.end(), "post"), 1);
  EXPECT_EQ(ports.build_diagram_calls, 1);
}

TEST_F(EngineTest, EvaluatorErrorDuringALevelEndsTheCommand) {
  // The liquid divides by zero at T = 600, the third level.
  ports.problem = MakeProblem("GL=1/(T-600)\nGS=0", 400, 800, 4, 4);
  try {
    engine.Run();
    FAIL() << "no error";
  } catch (const numeric::EMathError& e) {
    EXPECT_STREQ(e.what(), "Floating point division by zero");
    // The place: the first X of the level at which a phase fails, with its sheet line.
    const auto* at = dynamic_cast<const EGridPointError*>(&e);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->Place(), "phase L at X = 0, T = 600");
    EXPECT_EQ(at->Line, 1);
  }
  EXPECT_EQ(Levels(), 2);
  EXPECT_EQ(results.State.Y, 600);
  EXPECT_FALSE(engine.Running());
  EXPECT_EQ(ports.build_diagram_calls, 0);
  // Without step mode the next command starts over.
  ports.problem.Functs = "GL=1/(T-601)\nGS=0";
  engine.Run();
  EXPECT_EQ(Levels(), 5);
}

TEST_F(EngineTest, EmptyLevels) {
  // One solution phase and no point phase; energies never below 1e10.
  for (const std::string functs : {"GL=X", "GL=20000000000\nGS=30000000000+X"}) {
    Results r;
    testing::RecordingPorts p;
    Engine e(p, p, r, &p, p.LevelsInto(r));
    p.problem = MakeProblem(functs, 400, 600, 4, 2);
    e.Run();
    EXPECT_EQ(r.State.LevelIndex, 2) << functs;
    for (int row = 1; row <= 3; ++row) {
      for (int c = 1; c < r.Cells().ColCount(); ++c) EXPECT_EQ(r.Cells().Cell(c, row), "");
      EXPECT_TRUE(r.ZPoints.Row(row - 1).empty());
    }
    EXPECT_TRUE(r.HullList.empty());
    EXPECT_EQ(p.build_diagram_calls, 1);
  }
}

TEST_F(EngineTest, BlankDiagramSaysWhy) {
  struct Case {
    std::string functs;
    YParameter y;
    double ymin, ymax;
    std::string reason;  // empty: the diagram is not blank, no message
  };
  const std::vector<Case> cases = {
      {"GL=X", YParameter::Temperature, 400, 600,
       "the phase sheet has a single solution phase (L). The sweep needs at least two solution "
       "phases; point phases alone formed no tie line."},
      {"GL=\nGS=\nGV=X*X", YParameter::Temperature, 400, 600,
       "the lines of the solution phases L, S have no expression, so fewer than two phases take "
       "part."},
      {"GL=2E10\nGS=3E10+X\nGV=1E10", YParameter::Temperature, 400, 600,
       "no phase has a Gibbs energy below 1e10 at any X level of any level."},
      {"GL=1000*(X-0.7)^2\nGS=1000*(X-0.2)^2\nGV=1", YParameter::Pressure, -2, 0,
       "every tie line lies at a Y of 0 or below, which the diagram does not show."},
      {"GL=X*X\nGS=2\nGV=3", YParameter::Temperature, 400, 600,
       "no two-phase field and no change of phase lie in the range; the cells show L only."},
      {"GL=1000*(X-0.7)^2\nGS=1000*(X-0.2)^2\nGV=1", YParameter::Temperature, 400, 600, ""},
      // One solution phase, but the compounds form a tie line.
      {"GL=X\nX=0.25;GC=-10\nX=0.75;GC=-20", YParameter::Temperature, 400, 600, ""},
  };
  for (const Case& c : cases) {
    ports.messages.clear();
    ports.problem = MakeProblem(c.functs, c.ymin, c.ymax, 4, 2);
    ports.problem.Yparameter = c.y;
    engine.Run();
    EXPECT_EQ(ports.messages,
              c.reason.empty() ? V{} : V{"info[O]: The diagram is empty: " + c.reason})
        << c.functs;
  }
  // Special points alone (the melting points of a lens narrower than the grid) are a diagram.
  ports.messages.clear();
  ports.problem =
      MakeProblem("GL=10*(1-X)*(500-T)+10*X*(510-T)-T*Sid\nGS=-T*Sid\nGV=1E6", 400, 600, 4, 4);
  ports.on_build_diagram = [&] { engine.FindSpecialPoints(kTemperatureText); };
  engine.Run();
  for (int r = 0; r < 5; ++r) EXPECT_TRUE(results.ZPoints.Row(r).empty());
  EXPECT_FALSE(results.SpecialPoints.empty());
  EXPECT_EQ(ports.messages, V{});
}

TEST_F(EngineTest, IgnoredLinesAreListedInOneWarning) {
  ports.problem =
      MakeProblem("% comment only\nGL=1\n  LIQ = 2  % no kind\nGS=2\n\nGV=3\nX=0.5;GC=\nGL\nG(X)=1",
                  400, 600, 4, 2);
  ASSERT_TRUE(engine.CheckProblem());
  EXPECT_EQ(ports.messages,
            V{"warning[O]: These lines of the phase sheet were ignored (no phase, entropy or "
              "point-phase line, no \"=\", or no expression):\nline 3: LIQ = 2  % no kind\n"
              "line 7: X=0.5;GC=\nline 8: GL\nline 9: G(X)=1"});
  // A long list stops after 20 lines; the check goes on to its own messages.
  std::string sheet;
  for (int i = 0; i < 25; ++i) sheet += "LIQ=" + std::to_string(i) + "\n";
  ports.messages.clear();
  ports.problem = MakeProblem(sheet, 400, 600, 4, 2);
  EXPECT_FALSE(engine.CheckProblem());
  ASSERT_EQ(ports.messages.size(), 2u);
  EXPECT_NE(ports.messages[0].find("\nline 20: LIQ=19\n... and 5 more"), std::string::npos);
  EXPECT_EQ(ports.messages[0].find("line 21"), std::string::npos);
  EXPECT_EQ(ports.messages[1], "error[O]: Gibbs energy can not be computed");
}

TEST_F(EngineTest, OnlyPointPhasesWithOneSolutionPhase) {
  // The solution phase offers nothing; the two compounds alone form the hull: one segment.
  ports.problem = MakeProblem("GL=X\nX=0.25;GC=-10\nX=0.75;GC=-20", 500, 500, 4, 1);
  engine.Run();
  EXPECT_EQ(RowCells(1), (V{"", "C", "", "C", ""}));
  EXPECT_EQ(ZRow(0), (V{"0.75|500|0|0.75", "0.25|500|0|0.25"}));
}

TEST_F(EngineTest, LevelAtZeroLeavesNoVisiblePoints) {
  ports.problem = MakeProblem(kGapSheet, 400, 600, 10, 2);
  ports.problem.Yparameter = YParameter::Pressure;
  ports.problem.Zvalue = 500;
  ports.problem.Functs = "GL=1000*(X-0.7)^2+p\nGS=1000*(X-0.2)^2";
  ports.problem.Ymin = 0;
  ports.problem.Ymax = 0;
  engine.Run();
  ASSERT_EQ(ZRow(0).size(), 2u);
  for (const TZPoint& p : results.ZPoints.Row(0)) EXPECT_EQ(p.Y, 0);
}

TEST_F(EngineTest, StepBelowTheResolutionOfYEndsAtYmin) {
  // Near 1e20 one unit in the last place is 16384: a step of 100 cannot lower Y.
  ports.problem = MakeProblem("GL=1\nGS=2*X", 1e20 - 1e5, 1e20, 4, 1000);
  engine.Run();
  EXPECT_EQ(Levels(), 2);
  EXPECT_EQ(results.State.Y, 1e20 - 1e5);
  EXPECT_EQ(ports.build_diagram_calls, 1);
}

TEST_F(EngineTest, InfiniteRangeEndsInsteadOfLoopingForever) {
  // A damaged record: Ymin is minus infinity. The energies do not depend on T, so the levels
  // themselves raise no error.
  ports.problem = MakeProblem("GL=1\nGS=2*X", -std::numeric_limits<double>::infinity(), 500, 4, 3);
  engine.Run();
  EXPECT_EQ(Levels(), 2);
  EXPECT_EQ(ports.build_diagram_calls, 1);
}

TEST_F(EngineTest, MosaicRowsOutsideThePictureAreNotDrawn) {
  // A picture lower than 10 pixels puts every level above its first row.
  ports.mosaic_size = {200, 5};
  ports.problem = MakeProblem(kGapSheet, 400, 600, 10, 2);
  engine.Run();
  EXPECT_LT(results.State.MosaicRow, 0);
  EXPECT_EQ(CountMosaicPixels(kWhite), 200 * 5);
  EXPECT_EQ(RowCells(2), (V{"S", "S", "S", "", "", "", "", "L", "L", "L", "L"}));
}

}  // namespace
}  // namespace calc
