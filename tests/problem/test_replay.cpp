// The run inputs of tests/repro, each read by the problem reader and run by the engine without
// windows, as brelona-calc and the Python module run them: each sweeps every level of its
// range. In the sanitizer build this is where they are replayed.
#include <gtest/gtest.h>

#include <string>

#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/results.h"
#include "problem/problem_reader.h"

namespace problem {
namespace {

const std::string kRepro = BRELONA_SOURCE_DIR "/tests/repro/";

void ExpectWholeSweep(const calc::ProblemInput& input, int levels) {
  calc::HeadlessHost host;
  host.problem = input;
  calc::Results results;
  calc::Engine engine(host, host, results);
  engine.Run();
  EXPECT_EQ(results.State.CheckFailed, 0) << input.ProblemName;
  EXPECT_EQ(results.State.LevelIndex, levels - 1) << input.ProblemName;
}

TEST(Replay, RunInputsThatOnceCrashedSweepEveryLevel) {
  SheetRange range;
  range.Ymin = 300;
  range.Ymax = 560;
  range.Zvalue = 1;
  ExpectWholeSweep(ReadSheetFile(kRepro + "run_hull_stack_overflow.txt", range), 101);
  range.Ymin = range.Ymax = 700;
  ExpectWholeSweep(ReadSheetFile(kRepro + "eutectic_sheet.txt", range), 1);
  for (const char* file : {"run_ymin_eq_ymax.json", "run_y_tiny_span.json"}) {
    ExpectWholeSweep(ReadProblemsJson(kRepro + file).at(0), 1);
  }
}

}  // namespace
}  // namespace problem
