// One alloy of the sample Pb-Sn system (imported from its assessment) along a path: the
// equilibrium at 1000 temperatures from 670 K down to 300 K, and a Scheil path of 1000 steps
// over the same range, each with its boundaries solved at their exact temperatures.

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

#include "calc/headless_host.h"
#include "calc/path.h"
#include "calc/scheil.h"
#include "problem/problem_reader.h"

namespace {

// Pb-30 wt% Sn as a mole fraction of Sn (atomic masses 207.2 and 118.71).
constexpr double kX = (30 / 118.71) / (30 / 118.71 + 70 / 207.2);

struct PbSn {
  calc::HeadlessHost host;
  calc::PhaseSheet sheet{host};
  PbSn() {
    for (const calc::ProblemInput& p :
         problem::ReadProblemTable(BRELONA_SOURCE_DIR "/data/Problems.d")) {
      if (p.ProblemName.rfind("Pb-Sn", 0) == 0 && sheet.Compile(p.Functs, '.')) return;
    }
    throw std::runtime_error("no Pb-Sn problem in data/Problems.d");
  }
};

void Step(benchmark::State& state) {
  PbSn pbsn;
  calc::PathRequest request;
  request.X = kX;
  request.From = 670;
  request.To = 300;
  request.Points = static_cast<int>(state.range(0));
  size_t crossings = 0;
  for (auto _ : state) {
    const calc::PathResult r = calc::StepPath(pbsn.sheet, request);
    if (!r.Error.empty()) state.SkipWithError(r.Error.c_str());
    crossings = r.Crossings.size();
    benchmark::DoNotOptimize(r.Points.back().G);
  }
  state.counters["crossings"] = static_cast<double>(crossings);
}

void Scheil(benchmark::State& state) {
  PbSn pbsn;
  calc::ScheilRequest request;
  request.X = kX;
  request.From = 670;
  request.To = 300;
  request.Points = static_cast<int>(state.range(0));
  double last = 0;
  for (auto _ : state) {
    const calc::ScheilResult r = calc::Scheil(pbsn.sheet, request);
    if (!r.Error.empty()) state.SkipWithError(r.Error.c_str());
    last = r.LastLiquid;
    benchmark::DoNotOptimize(r.FractionSolid.back());
  }
  state.counters["last_liquid"] = last;
}

}  // namespace

BENCHMARK(Step)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(Scheil)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
