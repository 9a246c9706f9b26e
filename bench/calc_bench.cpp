// A full headless sweep of a two-phase regular-solution eutectic through the engine (the same
// path as the Run command), a three-phase sweep beside it, and the two-phase model computed by
// a hand-written loop with the energies as C++ functions and the same hull: the limit the
// engine is measured against.
//
// Peak memory of one size alone:
//   bench_calc --benchmark_filter='Engine/2000/2000/0' then read peak_rss_mb.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/hull.h"
#include "calc/results.h"

namespace {

// Liquid: ideal, pure A melts at 1000 K, pure B at 800 K (entropy of fusion 10 J/(mol K)).
// Solid: regular solution with a strong positive interaction, hence the eutectic.
const char* kEutectic =
    "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\n"
    "GS=20000*X*(1-X)-T*Sid";
constexpr double kYmin = 300, kYmax = 1100;

// Takes every level as a window would: the mosaic drawn, the working-chart points counted (with
// the problem's ShowChart), so the chart's cost is part of the run.
class BenchHost : public calc::HeadlessHost, public calc::LevelPort {
 public:
  calc::Results* results = nullptr;
  size_t chart_points = 0;
  void PostLevel(calc::PostedLevel level) override {
    for (const auto& s : level.series) chart_points += s.size();
    for (const calc::MosaicMark& m : level.mosaic) m.DrawOn(results->Mosaic);
  }
  bool ShowChart() const override { return problem.ShowChart; }
  bool ShowMosaic() const override { return true; }
};

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// A liquid and two solids: ALPHA with a wide gap, BETA a narrow phase at X = 0.3 formed by a
// peritectic near 590 K, then a eutectic near 560 K (the three-phase test sheet).
const char* kThreePhases =
    "GLIQUID=10*(1-X)*(1000-T)+10*X*(700-T)-T*Sid\n"
    "GALPHA=15000*X*(1-X)-T*Sid\n"
    "GBETA=1000+8*(T-800)+1E8*(X-0.3)^2";

void Sweep(benchmark::State& state, const char* sheet, double ymin, double ymax) {
  BenchHost host;
  host.problem.ProblemName = "Eutectic";
  host.problem.Functs = sheet;
  host.problem.Yparameter = calc::YParameter::Temperature;
  host.problem.Ymin = ymin;
  host.problem.Ymax = ymax;
  host.problem.Zparameter = "P, bar";
  host.problem.Zvalue = 1;
  host.problem.XPoints = static_cast<int>(state.range(0));
  host.problem.YPoints = static_cast<int>(state.range(1));
  host.problem.ShowChart = state.range(2) != 0;
  calc::Results results;
  host.results = &results;
  calc::Engine engine(host, host, results, nullptr, &host);
  for (auto _ : state) {
    engine.Run();
    benchmark::DoNotOptimize(results.Cells().Cell(1, 1));
  }
  state.counters["levels"] = results.State.LevelIndex + 1;
  state.counters["grid_mb"] = static_cast<double>(results.Cells().MemoryBytes()) / 1048576.0;
  state.counters["peak_rss_mb"] = PeakRssMb();
}

void Engine(benchmark::State& state) {
  Sweep(state, kEutectic, kYmin, kYmax);
}

// Three solution phases compete at every X level: one more evaluation per X level.
void EngineThreePhases(benchmark::State& state) {
  Sweep(state, kThreePhases, 400, 1000);
}

// The same sweep written directly: energies as C++ functions, the chord filter, the same hull,
// a byte per cell and the segment ends in a vector.
void Native(benchmark::State& state) {
  const int nx = static_cast<int>(state.range(0));
  const int ny = static_cast<int>(state.range(1));
  const bool chart = state.range(2) != 0;
  const double xstep = 1.0 / nx;
  std::vector<double> xs;
  for (double x = 0; x <= 1; x += xstep) {
    xs.push_back(x);
    if (1 - x < 1e-12) break;
    if (std::abs(1 - (x + xstep)) < 1e-12 || x + xstep > 1) {
      xs.push_back(1);
      break;
    }
  }
  const size_t n = xs.size();
  std::vector<double> sid(n);
  for (size_t i = 0; i < n; ++i) {
    const double x = xs[i];
    const double a = x > 0 ? x * std::log(x) : 0;
    const double b = x < 1 ? (1 - x) * std::log(1 - x) : 0;
    sid[i] = -8.31441 * (a + b);
  }
  std::vector<uint8_t> codes;
  std::vector<double> px, pg, g_l(n), g_s(n);
  std::vector<uint8_t> phase;
  std::vector<int> col;
  std::vector<std::pair<double, double>> ends;
  std::vector<int> hull;
  std::vector<std::pair<double, double>> series_l, series_s;
  calc::Hull h;
  for (auto _ : state) {
    codes.assign(static_cast<size_t>(ny + 1) * n, 0);
    ends.clear();
    const double ystep = (kYmax - kYmin) / ny;
    double t = kYmax;
    for (int level = 0; level <= ny; ++level, t -= ystep) {
      px.clear();
      pg.clear();
      phase.clear();
      col.clear();
      for (size_t i = 0; i < n; ++i) {
        const double x = xs[i];
        g_l[i] = (1 - x) * 10 * (1000 - t) + x * 10 * (800 - t) - t * sid[i];
        g_s[i] = 20000 * x * (1 - x) - t * sid[i];
      }
      if (chart) {
        series_l.clear();
        series_s.clear();
        for (size_t i = 0; i < n; ++i) {
          series_l.emplace_back(xs[i], g_l[i]);
          series_s.emplace_back(xs[i], g_s[i]);
        }
        benchmark::DoNotOptimize(series_l.data());
        benchmark::DoNotOptimize(series_s.data());
      }
      const double ga = std::min(g_l[0], g_s[0]);
      const double gb = std::min(g_l[n - 1], g_s[n - 1]);
      for (size_t i = 0; i < n; ++i) {
        const double g = std::min(g_l[i], g_s[i]);
        const double line = ga + (gb - ga) * xs[i];
        if (i == 0 || i == n - 1 || g < line - 1e-10) {
          px.push_back(xs[i]);
          pg.push_back(g);
          phase.push_back(g_l[i] <= g_s[i] ? 1 : 2);
          col.push_back(static_cast<int>(i));
        }
      }
      const calc::T_PT& marks = h.Run(px, pg);
      hull.clear();
      for (size_t i = px.size(); i-- > 0;) {
        if (marks[i]) hull.push_back(static_cast<int>(i));
      }
      std::sort(hull.begin(), hull.end(), [&](int a, int b) { return px[a] > px[b]; });
      uint8_t* row = &codes[static_cast<size_t>(level) * n];
      for (int k : hull) row[col[k]] = phase[k];
      for (size_t k = 1; k < hull.size(); ++k) {
        const int p = hull[k - 1], q = hull[k];
        if (px[p] - px[q] > xstep + 1e-10) ends.emplace_back(px[p], px[q]);
      }
    }
    benchmark::DoNotOptimize(codes.data());
  }
  state.counters["segments"] = static_cast<double>(ends.size());
  state.counters["peak_rss_mb"] = PeakRssMb();
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int chart : {0, 1}) {
    for (int size : {100, 1000, 2000}) b->Args({size, size, chart});
  }
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(Engine)->Apply(Sizes);
BENCHMARK(EngineThreePhases)->Apply(Sizes);
BENCHMARK(Native)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
