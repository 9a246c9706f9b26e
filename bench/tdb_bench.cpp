// A 1000 x 1000 sweep of the Pb-Sn system imported from data/tdb/pbsn.tdb (three solution
// phases, each a few hundred operations long with its temperature ranges) beside the same
// sweep of the two-phase regular eutectic of bench_calc: what the longer formulas cost.

#include <benchmark/benchmark.h>

#include <string>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/results.h"
#include "tdb/importer.h"

namespace {

const char* kEutectic =
    "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\n"
    "GS=20000*X*(1-X)-T*Sid";

calc::ProblemInput Eutectic() {
  calc::ProblemInput p;
  p.ProblemName = "Eutectic";
  p.Functs = kEutectic;
  p.Ymin = 300;
  p.Ymax = 1100;
  p.Zparameter = "P, bar";
  p.Zvalue = 1;
  return p;
}

calc::ProblemInput PbSn() {
  tdb::ImportOptions o;
  o.A = "PB";
  o.B = "SN";
  o.SourceName = "pbsn.tdb";
  return tdb::ProblemOf(tdb::Import(tdb::ReadFile(BRELONA_SOURCE_DIR "/data/tdb/pbsn.tdb"), o),
                        "Pb-Sn");
}

void Sweep(benchmark::State& state, calc::ProblemInput problem) {
  calc::HeadlessHost host;
  host.problem = problem;
  host.problem.XPoints = static_cast<int>(state.range(0));
  host.problem.YPoints = static_cast<int>(state.range(1));
  host.problem.ShowChart = false;
  calc::Results results;
  calc::Engine engine(host, host, host, results);
  for (auto _ : state) {
    engine.Run();
    benchmark::DoNotOptimize(results.Cells().Cell(1, 1));
  }
  state.counters["levels"] = results.State.LevelIndex + 1;
  state.counters["phases"] = static_cast<double>(engine.Sheet().Phases.size());
}

void RegularEutectic(benchmark::State& state) {
  Sweep(state, Eutectic());
}
void ImportedPbSn(benchmark::State& state) {
  Sweep(state, PbSn());
}

}  // namespace

BENCHMARK(RegularEutectic)->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(ImportedPbSn)->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
