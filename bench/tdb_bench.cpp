// A 1000 x 1000 sweep of the Pb-Sn system imported from data/tdb/pbsn.tdb (three solution
// phases, each a few hundred operations long with its temperature ranges) beside the same
// sweep of the two-phase regular eutectic of bench_calc: what the longer formulas cost. And
// Al-Ni from data/tdb/alni_dupin_2001.tdb with its phases on sublattices (B2 and L12 ordered
// on bcc and fcc, vacancies, magnetic fcc), a minimisation over site fractions at every grid
// point, with and without the exact stage after the sweep; and Al-Fe from
// data/tdb/alfe_sundman2009.tdb, whose bcc and fcc order on four sublattices.

#include <benchmark/benchmark.h>

#include <set>
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

calc::ProblemInput AlNi() {
  tdb::ImportOptions o;
  o.A = "AL";
  o.B = "NI";
  o.Tmin = 800;
  o.Tmax = 2000;
  o.SourceName = "alni_dupin_2001.tdb";
  return tdb::ProblemOf(
      tdb::Import(tdb::ReadFile(BRELONA_SOURCE_DIR "/data/tdb/alni_dupin_2001.tdb"), o), "Al-Ni");
}

// Al-Fe with the four-sublattice bcc and fcc orderings (B2, D03, L12, L10 as minima of one
// model each, magnetic): the slowest binary of the assessed files we try.
calc::ProblemInput AlFe4SL() {
  tdb::ImportOptions o;
  o.A = "AL";
  o.B = "FE";
  o.SourceName = "alfe_sundman2009.tdb";
  return tdb::ProblemOf(
      tdb::Import(tdb::ReadFile(BRELONA_SOURCE_DIR "/data/tdb/alfe_sundman2009.tdb"), o), "Al-Fe");
}

void Sweep(benchmark::State& state, calc::ProblemInput problem, bool refine = false) {
  calc::HeadlessHost host;
  host.problem = problem;
  host.problem.XPoints = static_cast<int>(state.range(0));
  host.problem.YPoints = static_cast<int>(state.range(1));
  host.problem.ShowChart = false;
  host.problem.Refine = refine;
  calc::Results results;
  calc::Engine engine(host, host, results);
  for (auto _ : state) {
    engine.Run();
    if (refine) engine.FindSpecialPoints(calc::kTemperatureText);
    benchmark::DoNotOptimize(results.Cells().Cell(1, 1));
  }
  if (refine) state.counters["invariants"] = static_cast<double>(results.Refined.Invariants.size());
  // The work of the minimisations over site fractions (each model counted once).
  std::set<const calc::SublatticeModel*> models;
  for (const calc::SolutionPhase& ph : engine.Sheet().Phases)
    if (ph.Model) models.insert(ph.Model.get());
  calc::SublatticeModel::Stats work;
  for (const calc::SublatticeModel* m : models) {
    work.minimisations += m->stats().minimisations;
    work.newton_runs += m->stats().newton_runs;
    work.iterations += m->stats().iterations;
    work.evaluations += m->stats().evaluations;
  }
  if (!models.empty()) {
    state.counters["minimisations"] = static_cast<double>(work.minimisations);
    state.counters["newton"] = static_cast<double>(work.newton_runs);
    state.counters["iterations"] = static_cast<double>(work.iterations);
    state.counters["evaluations"] = static_cast<double>(work.evaluations);
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

// The same with a third solution phase that never wins: what a third phase costs by itself.
void RegularEutecticThirdPhase(benchmark::State& state) {
  calc::ProblemInput p = Eutectic();
  p.Functs += "\nGV=5000-T*Sid";
  Sweep(state, p);
}

void ImportedAlNi(benchmark::State& state) {
  Sweep(state, AlNi());
}
void ImportedAlNiRefined(benchmark::State& state) {
  Sweep(state, AlNi(), true);
}
void ImportedAlFe4SL(benchmark::State& state) {
  Sweep(state, AlFe4SL());
}
void ImportedAlFe4SLRefined(benchmark::State& state) {
  Sweep(state, AlFe4SL(), true);
}
void RegularEutecticRefined(benchmark::State& state) {
  Sweep(state, Eutectic(), true);
}

}  // namespace

BENCHMARK(RegularEutecticRefined)->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(ImportedAlNi)->Args({1000, 1000})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ImportedAlNiRefined)->Args({1000, 1000})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ImportedAlNiRefined)->Args({200, 1000})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ImportedAlFe4SL)->Args({1000, 1000})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ImportedAlFe4SL)->Args({200, 200})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ImportedAlFe4SLRefined)->Args({1000, 1000})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ImportedAlFe4SLRefined)->Args({200, 200})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(RegularEutectic)->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(RegularEutecticThirdPhase)->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(ImportedPbSn)->Args({1000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
