// The refinement stage beside the sweep it follows, on the regular-solution eutectic: the
// sweep with the special-point finder alone, the refinement alone on the finished results
// (every tie line of every level, the invariant, the transitions), and both as one Run.
// The ratio refine / sweep is what a user pays for exact answers.

#include <benchmark/benchmark.h>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/refine.h"
#include "calc/results.h"

namespace {

const char* kEutectic =
    "GL=(1-X)*10*(900-T)+X*10*(1100-T)-T*Sid\n"
    "GS=25000*X*(1-X)-T*Sid";

// Runs the finder (and with it the refinement when on) where a window would build the diagram.
class FinderHost : public calc::HeadlessHost {
 public:
  calc::Engine* engine = nullptr;
  void SweepCompleted() override { engine->FindSpecialPoints(calc::kTemperatureText); }
};

struct Setup {
  FinderHost host;
  calc::Results results;
  calc::Engine engine{host, host, results};
  Setup(int xp, int yp, bool refine) {
    host.engine = &engine;
    host.problem.ProblemName = "Eutectic";
    host.problem.Functs = kEutectic;
    host.problem.Yparameter = calc::YParameter::Temperature;
    host.problem.Ymin = 500;
    host.problem.Ymax = 1200;
    host.problem.Zparameter = "P, bar";
    host.problem.Zvalue = 1;
    host.problem.XPoints = xp;
    host.problem.YPoints = yp;
    host.problem.Refine = refine;
  }
};

void Sweep(benchmark::State& state) {
  Setup s(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false);
  for (auto _ : state) {
    s.engine.Run();
    benchmark::DoNotOptimize(s.results.Nodes.size());
  }
}

void RefineOnly(benchmark::State& state) {
  Setup s(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false);
  s.engine.Run();
  for (auto _ : state) {
    calc::RefineResults(s.engine.Sheet(), s.results);
    benchmark::DoNotOptimize(s.results.Refined.Boundaries.size());
  }
  state.counters["tie_lines"] = static_cast<double>(s.results.Refined.Boundaries.size());
  size_t approximate = 0;
  for (const calc::BoundaryEnd& b : s.results.Refined.Boundaries) approximate += b.Approximate;
  state.counters["approximate"] = static_cast<double>(approximate);
}

void SweepAndRefine(benchmark::State& state) {
  Setup s(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), true);
  for (auto _ : state) {
    s.engine.Run();
    benchmark::DoNotOptimize(s.results.Refined.Boundaries.size());
  }
}

BENCHMARK(Sweep)->Args({100, 100})->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(RefineOnly)->Args({100, 100})->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(SweepAndRefine)->Args({100, 100})->Args({1000, 1000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
