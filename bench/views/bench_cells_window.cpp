// Time to open the cell-grid window on a 2001 x 2001 grid and scroll to its last cell, and the
// memory the window adds on top of the grid (resident set, from /proc/self/statm).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "calc/cell_grid.h"
#include "views/cells_window.h"

namespace {

double ResidentMB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// A grid shaped like a run's: headers, and stretches of "L", "S" and two-phase gaps.
std::unique_ptr<calc::CellGrid> BigGrid(int n) {
  auto g = std::make_unique<calc::CellGrid>(n, n);
  g->SetCell(0, 0, " Y/X");
  for (int c = 1; c < n; ++c) g->SetCell(c, 0, std::to_string(static_cast<double>(c - 1) / (n - 2)));
  for (int r = 1; r < n; ++r) {
    g->SetCell(0, r, std::to_string(2000.0 - r * 0.5));
    for (int c = 1; c < n; ++c) {
      if (c < r / 2) g->SetCell(c, r, "S");
      else if (c > r) g->SetCell(c, r, "L");
    }
  }
  return g;
}

void BM_OpenAndScrollToEnd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto grid = BigGrid(n);
  Settle();
  double added = 0;
  for (auto _ : state) {
    const double before = ResidentMB();
    auto window = std::make_unique<views::TfmCells>(grid.get());
    window->show();
    Settle();
    grid->SetCurrent(n - 1, n - 1);
    window->Refresh();
    Settle();
    // The thumbs dragged to the ends as a user would.
    QTableView* v = window->sgCells();
    v->verticalScrollBar()->setValue(v->verticalScrollBar()->maximum());
    v->horizontalScrollBar()->setValue(v->horizontalScrollBar()->maximum());
    Settle();
    added = std::max(added, ResidentMB() - before);  // the first, cold opening counts
    state.PauseTiming();
    window.reset();
    grid->SetCurrent(1, 1);
    Settle();
    state.ResumeTiming();
  }
  state.counters["grid_MB"] = static_cast<double>(grid->MemoryBytes()) / (1024.0 * 1024.0);
  state.counters["window_added_MB"] = added;
}
BENCHMARK(BM_OpenAndScrollToEnd)->Arg(2001)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
