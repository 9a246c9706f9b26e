// A sweep on a thread of its own, its levels taken by another thread as they come: the same
// results as the sweep of the Run command, a stop within a level and a run started again,
// live mode's runs with edits coming while they compute, and the special points found there. Built
// also with ThreadSanitizer (scripts/test).

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "calc/level_mailbox.h"
#include "calc/two_threads.h"
#include "engine_fixture.h"

namespace calc::testing {
namespace {

const char* kSheet =
    "GL=1000*(X-0.7)^2+10*(T-500)\n"
    "GS=1000*(X-0.2)^2\n"
    "X=0.45;GC=-50+0.1*T";

// What a receiving thread makes of the posted levels: it draws their mosaic marks on the
// results' raster, as the main window does, and counts what came.
struct Receiver {
  Results& results;
  LevelMailbox box;
  int levels = 0, takes = 0, last_index = -1;
  std::vector<std::string> statuses;
  std::vector<std::vector<ChartPoint>> chart;

  explicit Receiver(Results& r) : results(r) {
    box.SetShowChart(true);
    box.SetShowMosaic(true);
  }
  void Take() {
    PostedLevel p = box.Take();
    if (p.levels == 0) return;
    ++takes;
    levels += p.levels;
    last_index = p.level_index;
    if (!p.status.empty()) statuses.push_back(p.status);
    if (p.chart) chart = p.series;
    for (const MosaicMark& m : p.mosaic) m.DrawOn(results.Mosaic);
  }
  // Runs engine.Sweep on a worker and takes its levels here until it ends; `during` is called
  // after every take.
  std::exception_ptr SweepOnWorker(Engine& engine, const std::function<void()>& during = {}) {
    std::atomic<bool> done{false};
    std::exception_ptr error;
    std::thread worker([&] {
      try {
        engine.Sweep(&box);
      } catch (...) {
        error = std::current_exception();
      }
      done = true;
    });
    while (!done) {
      Take();
      if (during) during();
      std::this_thread::yield();
    }
    worker.join();
    Take();
    return error;
  }
};

class SweepThreadTest : public EngineTest {
 protected:
  // The same problem run by Run on this thread, for comparison.
  RecordingPorts ref_ports;
  Results ref;
  Engine ref_engine{ref_ports, ref_ports, ref, &ref_ports, ref_ports.LevelsInto(ref)};

  void Start(int xpoints, int ypoints) {
    ports.problem = MakeProblem(kSheet, 400, 600, xpoints, ypoints);
    ref_ports.problem = ports.problem;
    ref_engine.Run();
    ASSERT_TRUE(ref_engine.SweepComplete());
  }
  void ExpectSameAsReference() {
    ASSERT_EQ(results.Cells().RowCount(), ref.Cells().RowCount());
    for (int r = 0; r < ref.Cells().RowCount(); ++r) {
      for (int c = 0; c < ref.Cells().ColCount(); ++c) {
        ASSERT_EQ(results.Cells().Cell(c, r), ref.Cells().Cell(c, r)) << c << "," << r;
        ASSERT_EQ(results.Cells().Phase(c, r), ref.Cells().Phase(c, r)) << c << "," << r;
      }
    }
    ASSERT_EQ(results.ZPoints.RowCount(), ref.ZPoints.RowCount());
    for (int r = 0; r < ref.ZPoints.RowCount(); ++r) {
      ASSERT_EQ(results.ZPoints.Row(r).size(), ref.ZPoints.Row(r).size()) << r;
    }
    for (int y = 0; y < ref.Mosaic.Height(); ++y) {
      for (int x = 0; x < ref.Mosaic.Width(); ++x) {
        ASSERT_EQ(results.Mosaic.Pixel(x, y), ref.Mosaic.Pixel(x, y)) << x << "," << y;
      }
    }
  }
};

// The helper kept from call to call: every item done once at every call, whichever thread
// takes it; an item's exception comes back to the caller, and the next call works as before.
TEST(ModelThreads, AKeptSecondThreadDoesEachItemOnceAndPassesOnAnError) {
  TwoThreads threads;
  for (int call = 0; call < 300; ++call) {
    const size_t count = static_cast<size_t>(call % 6);
    std::vector<std::atomic<int>> done(count);
    const bool fail = call % 50 == 49;
    auto item = [&](size_t i) {
      done[i].fetch_add(1);
      if (fail && i == count - 1) throw std::runtime_error("item");
    };
    if (fail) {
      EXPECT_THROW(threads.ForEach(count, true, item), std::runtime_error) << call;
      continue;
    }
    threads.ForEach(count, true, item);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(done[i].load(), 1) << call << " " << i;
  }
}

// Two models (an ordering bcc and a solution on one sublattice) minimised on two threads at
// once: the grid and the exact answers of minimising them one after the other, to the bit.
TEST(ModelThreads, TwoModelsOnTwoThreadsGiveTheResultsOfOne) {
  const std::string sheet =
      "% components: A B\n"
      "GL = 10*(1500-T) - T*Sid\n"
      "GB2 = (A,B)0.5 (A,B)0.5 DISORDERED(A2)\n"
      "G(B2,A:B) = -8314.51\n"
      "G(B2,B:A) = -8314.51\n"
      "GF = (A,B)1\n"
      "G(F,A) = 2000-2*T\n"
      "G(F,B) = -1000\n"
      "L(F,A,B;0) = 6000\n";
  struct Run {
    RecordingPorts ports;
    Results results;
    Engine engine{ports, ports, results, &ports, ports.LevelsInto(results)};
  };
  Run runs[2];
  for (int threads = 0; threads < 2; ++threads) {
    Run& r = runs[threads];
    r.ports.problem = MakeProblem(sheet, 500, 1600, 60, 80);
    r.ports.problem.ShowChart = false;
    Engine* e = &r.engine;
    r.ports.on_build_diagram = [e] { e->FindSpecialPoints(kTemperatureText); };
    r.engine.SetModelThreads(threads == 1);
    r.engine.Run();
    ASSERT_TRUE(r.engine.SweepComplete());
  }
  const Results& one = runs[0].results;
  const Results& two = runs[1].results;
  ASSERT_EQ(one.Cells().RowCount(), two.Cells().RowCount());
  std::set<std::string> names;
  for (int r = 0; r < one.Cells().RowCount(); ++r)
    for (int c = 0; c < one.Cells().ColCount(); ++c) {
      ASSERT_EQ(one.Cells().Cell(c, r), two.Cells().Cell(c, r)) << c << "," << r;
      if (r > 0 && c > 0) names.insert(one.Cells().Cell(c, r));
    }
  // Both models hold cells of their own.
  EXPECT_TRUE(names.count("B2") && names.count("A2") && names.count("F"));
  const RefinedResults& a = one.Refined;
  const RefinedResults& b = two.Refined;
  ASSERT_TRUE(a.Ran && b.Ran);
  ASSERT_FALSE(a.Boundaries.empty());
  ASSERT_EQ(a.Boundaries.size(), b.Boundaries.size());
  for (size_t i = 0; i < a.Boundaries.size(); ++i) {
    EXPECT_EQ(a.Boundaries[i].XLeft, b.Boundaries[i].XLeft) << i;
    EXPECT_EQ(a.Boundaries[i].XRight, b.Boundaries[i].XRight) << i;
  }
  ASSERT_EQ(a.CriticalPoints.size(), b.CriticalPoints.size());
  ASSERT_EQ(a.CongruentPoints.size(), b.CongruentPoints.size());
  for (size_t i = 0; i < a.CongruentPoints.size(); ++i)
    EXPECT_EQ(a.CongruentPoints[i].Y, b.CongruentPoints[i].Y);
}

TEST_F(SweepThreadTest, PostedLevelsGiveWhatTheRunCommandGives) {
  Start(60, 40);
  Receiver rx(results);
  ASSERT_TRUE(engine.BeginRun());
  const int processed_before = ports.process_events_calls;
  const int charted_before = ports.set_series_calls;
  EXPECT_EQ(rx.SweepOnWorker(engine), nullptr);
  EXPECT_EQ(ports.process_events_calls, processed_before) << "the worker used no host";
  EXPECT_EQ(ports.set_series_calls, charted_before) << "nor the chart";
  EXPECT_EQ(ports.build_diagram_calls, 0);
  engine.EndRun();
  EXPECT_EQ(ports.build_diagram_calls, 1) << "the complete sweep's diagram, after EndRun";
  EXPECT_FALSE(engine.Running());
  EXPECT_EQ(rx.levels, 41);
  EXPECT_EQ(rx.last_index, 40);
  EXPECT_GE(rx.takes, 1);
  EXPECT_EQ(rx.statuses.back(), ref_ports.status.back()) << "every tenth level's status";
  EXPECT_EQ(rx.chart.size(), ref_ports.series.size());
  EXPECT_EQ(rx.chart.back().size(), ref_ports.series.back().size()) << "the last level's hull";
  ExpectSameAsReference();
}

TEST_F(SweepThreadTest, AStopWithinALevelKeepsTheLevelsBeforeAndARunStartsAgain) {
  // Levels long enough that the stop comes inside one: a fine X grid.
  Start(4000, 30);
  Receiver rx(results);
  ASSERT_TRUE(engine.BeginRun());
  EXPECT_EQ(rx.SweepOnWorker(engine,
                             [&] {
                               if (rx.levels >= 3) engine.RequestStop();
                             }),
            nullptr);
  engine.EndRun();
  const int kept = results.State.LevelIndex;
  EXPECT_GE(kept, 2);
  EXPECT_LT(kept, 30);
  EXPECT_FALSE(engine.SweepComplete());
  EXPECT_EQ(ports.build_diagram_calls, 0) << "no diagram of a stopped sweep";
  EXPECT_EQ(results.Cells().RowCount(), kept + 2) << "no row of the level left unfinished";
  EXPECT_EQ(rx.levels, kept + 1);
  for (int r = 1; r < results.Cells().RowCount(); ++r) {
    for (int c = 0; c < ref.Cells().ColCount(); ++c) {
      ASSERT_EQ(results.Cells().Cell(c, r), ref.Cells().Cell(c, r)) << c << "," << r;
    }
  }

  // Run again: a new sweep from Ymax, as after any run that did not end.
  Receiver again(results);
  ASSERT_TRUE(engine.BeginRun());
  EXPECT_FALSE(engine.StopRequested()) << "a new run clears the stop";
  EXPECT_EQ(again.SweepOnWorker(engine), nullptr);
  engine.EndRun();
  EXPECT_TRUE(engine.SweepComplete());
  EXPECT_EQ(ports.build_diagram_calls, 1);
  ExpectSameAsReference();
}

TEST_F(SweepThreadTest, AStoppedStepContinuesAndAnErrorComesBackToEndRun) {
  // Step mode: a stop inside the single level of a command leaves it to the next command.
  Start(50, 4);
  ports.step_mode = true;
  ASSERT_TRUE(engine.BeginRun());
  engine.RequestStop();
  Receiver rx(results);
  EXPECT_EQ(rx.SweepOnWorker(engine), nullptr);
  engine.EndRun();
  EXPECT_EQ(results.State.LevelIndex, -1);
  EXPECT_EQ(rx.levels, 0);
  // Four commands, 600 to 450; the fourth leaves Y at Ymin and completes, as a step-mode
  // sweep does.
  for (int level = 0; level < 4; ++level) {
    ASSERT_TRUE(engine.BeginRun());
    EXPECT_EQ(rx.SweepOnWorker(engine), nullptr);
    engine.EndRun();
    EXPECT_EQ(results.State.LevelIndex, level);
  }
  EXPECT_TRUE(ports.messages.empty()) << "never asked to restart: each command continues";
  EXPECT_TRUE(engine.SweepComplete());
  EXPECT_EQ(ports.build_diagram_calls, 1);
  for (int r = 0; r < results.Cells().RowCount(); ++r) {
    for (int c = 0; c < ref.Cells().ColCount(); ++c) {
      ASSERT_EQ(results.Cells().Cell(c, r), ref.Cells().Cell(c, r)) << c << "," << r;
    }
  }

  // An evaluator's error on the worker is thrown by EndRun, and the run is over.
  ports.step_mode = false;
  ports.problem = MakeProblem("GL=1/(T-500)\nGS=0", 400, 600, 10, 4);
  ASSERT_TRUE(engine.BeginRun());
  Receiver bad(results);
  const std::exception_ptr error = bad.SweepOnWorker(engine);
  ASSERT_NE(error, nullptr);
  EXPECT_THROW(engine.EndRun(error), std::exception);
  EXPECT_FALSE(engine.Running());
  EXPECT_EQ(results.State.LevelIndex, 1) << "600 and 550 computed, 500 failed";
}

// Live mode's recompute: edits of the sheet come from this thread while the sweep of the one
// before runs on the worker, each stopping it; a sheet with an error fails before its sweep and
// keeps the last levels; the newest sheet is computed, first a preview on a coarse grid; a stop,
// and live mode turned off and on again, leave the Run command's results.
TEST_F(SweepThreadTest, LiveEditsStopTheSweepUnderWayAndTheNewestSheetIsComputed) {
  Start(4000, 30);
  auto sheet = [](const std::string& slope) {
    return "GL=1000*(X-0.7)^2+" + slope + "*(T-500)\nGS=1000*(X-0.2)^2\nX=0.45;GC=-50+0.1*T";
  };
  const std::vector<std::string> edits = {sheet("11"), sheet("12"), sheet("13*(1-X"), sheet("14"),
                                          kSheet};
  ports.problem.Functs = edits[0];
  int rows = -1;
  for (size_t k = 0; k + 1 < edits.size(); ++k) {
    bool began = false;
    try {
      began = engine.BeginRun();
    } catch (const std::exception&) {
    }
    if (!began) {
      EXPECT_EQ(k, 2u) << "only the sheet with an error fails";
      EXPECT_FALSE(engine.Running());
      EXPECT_EQ(results.Cells().RowCount(), rows) << "the last levels stay";
      ports.problem.Functs = edits[k + 1];
      continue;
    }
    Receiver rx(results);
    const std::exception_ptr error = rx.SweepOnWorker(engine, [&] {
      if (rx.levels >= 2 && !engine.StopRequested()) {
        ports.problem.Functs = edits[k + 1];  // typed while the worker computes
        engine.RequestStop();
      }
    });
    engine.EndRun(error);
    EXPECT_FALSE(engine.SweepComplete()) << k;
    rows = results.Cells().RowCount();
    EXPECT_EQ(rows, results.State.LevelIndex + 2) << "no row of the level left unfinished";
  }
  EXPECT_EQ(ports.build_diagram_calls, 0) << "no diagram of a stopped sweep";

  // The typing pauses: the preview, then the whole grid, which the user stops.
  auto run = [&](int xpoints, bool stop) {
    ports.problem.XPoints = xpoints;
    ASSERT_TRUE(engine.BeginRun());
    Receiver rx(results);
    engine.EndRun(rx.SweepOnWorker(engine, [&] {
      if (stop && rx.levels >= 3) engine.RequestStop();
    }));
  };
  run(200, false);
  EXPECT_TRUE(engine.SweepComplete());
  EXPECT_EQ(results.Cells().ColCount(), 202) << "the preview's 201 compositions and the header";
  run(4000, true);
  EXPECT_FALSE(engine.SweepComplete());
  // Off and on again: the sheet on screen is computed once more.
  run(4000, false);
  EXPECT_EQ(ports.build_diagram_calls, 2);
  ExpectSameAsReference();
}

// Live mode's whole grid finds the special points on the sweep's thread too: the Run command's
// (refined) answers, which the diagram then takes as they are; a stop there ends the run as a
// stopped one, with no diagram, and the next run builds its own.
TEST_F(SweepThreadTest, SpecialPointsFoundOnTheSweepsThreadAndAStopThere) {
  const std::string y = "Temperature, K";
  ports.problem = MakeProblem(kSheet, 400, 600, 60, 40);
  ports.problem.Refine = true;
  ref_ports.problem = ports.problem;
  ref_engine.Run();
  ref_engine.FindSpecialPoints(y);
  ASSERT_TRUE(ref.Refined.Ran);
  ASSERT_FALSE(ref.Refined.Invariants.empty());

  auto run = [&](bool stop) {
    ASSERT_TRUE(engine.BeginRun());
    Receiver rx(results);
    std::thread worker([&] {
      engine.Sweep(&rx.box);
      if (stop) engine.RequestStop();  // as an edit would, from the window's thread
      engine.FindSpecialPointsAhead(y);
    });
    worker.join();
    rx.Take();
    engine.EndRun();
  };
  run(true);
  EXPECT_FALSE(engine.SweepComplete());
  EXPECT_FALSE(results.Refined.Ran);
  EXPECT_EQ(ports.build_diagram_calls, 0);
  run(false);
  ASSERT_EQ(ports.build_diagram_calls, 1);
  ASSERT_TRUE(results.Refined.Ran);
  ASSERT_EQ(results.Refined.Invariants.size(), ref.Refined.Invariants.size());
  EXPECT_EQ(results.Refined.Invariants[0].Y, ref.Refined.Invariants[0].Y);
  EXPECT_EQ(results.SpecialPoints.size(), ref.SpecialPoints.size());
  results.Refined.Invariants[0].Y = -1;
  engine.FindSpecialPoints(y);
  EXPECT_EQ(results.Refined.Invariants[0].Y, -1) << "kept, not searched again";
  engine.FindSpecialPoints(y);
  EXPECT_EQ(results.Refined.Invariants[0].Y, ref.Refined.Invariants[0].Y) << "asked again";
}

}  // namespace
}  // namespace calc::testing
