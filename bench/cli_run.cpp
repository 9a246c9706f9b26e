// The whole `brelona-calc run` of a 1000 x 1000 eutectic in one process: the sweep as the run
// times it (the `seconds` of summary.json), then every output file, each timed. Reports the
// outputs' time against the sweep's, and the run's total against the sweep's (the goal is a
// total of at most 1.5 x the sweep). DiagramPicture times the two diagram pictures apart.
//
//   bench_cli_run [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "calc/problem.h"
#include "cli/run_host.h"
#include "cli/run_outputs.h"
#include "views/diagram_image.h"

namespace {

namespace fs = std::filesystem;

calc::ProblemInput Eutectic(int xpoints, int ypoints) {
  calc::ProblemInput p;
  p.ProblemName = "Eutectic";
  p.Functs = "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid";
  p.Yparameter = calc::YParameter::Temperature;
  p.Ymin = 300;
  p.Ymax = 1100;
  p.Zparameter = "P, bar";
  p.Zvalue = 1;
  p.XPoints = xpoints;
  p.YPoints = ypoints;
  p.ShowMosaicDiagram = true;
  return p;
}

void CliRun(benchmark::State& state) {
  const calc::ProblemInput problem =
      Eutectic(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const fs::path dir = fs::temp_directory_path() / "brelona_bench_cli_run";
  cli::RunOptions options;
  double sweep = 0, outputs = 0;
  std::map<std::string, double> per_file;
  for (auto _ : state) {
    cli::RunHost host(problem, options);
    const auto start = std::chrono::steady_clock::now();
    host.engine().Run();
    const auto swept = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(swept - start).count();
    cli::OutputTimes times;
    cli::WriteRunOutputs(dir, problem, host, seconds, &times);
    sweep += seconds;
    outputs += std::chrono::duration<double>(std::chrono::steady_clock::now() - swept).count();
    for (const auto& [name, t] : times) per_file[name] += t;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["sweep_ms"] = 1000 * sweep / n;
  state.counters["outputs_ms"] = 1000 * outputs / n;
  state.counters["outputs/sweep"] = outputs / sweep;
  state.counters["total/sweep"] = (sweep + outputs) / sweep;
  for (const auto& [name, t] : per_file) state.counters[name + " ms"] = 1000 * t / n;
  fs::remove_all(dir);
}
BENCHMARK(CliRun)->Args({1000, 1000})->Unit(benchmark::kMillisecond)->UseRealTime();

// Where the diagram's time goes: the PNG alone (0) and the SVG alone (1), after one sweep.
void DiagramPicture(benchmark::State& state) {
  const calc::ProblemInput problem = Eutectic(1000, 1000);
  cli::RunOptions options;
  cli::RunHost host(problem, options);
  host.engine().Run();
  const fs::path file =
      fs::temp_directory_path() / (state.range(0) ? "brelona_bench.svg" : "brelona_bench.png");
  views::DiagramImageOptions pictures;
  (state.range(0) ? pictures.svgPath : pictures.pngPath) = QString::fromStdString(file.string());
  if (state.range(0) && !views::CanWriteSvg()) {
    state.SkipWithError("no SVG support in this build");
    return;
  }
  for (auto _ : state) views::RenderDiagram(host.results(), problem.Yparameter, nullptr, pictures);
  fs::remove(file);
}
BENCHMARK(DiagramPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
