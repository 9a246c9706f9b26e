#pragma once
// Results of a simple eutectic system A-B, filled the way a run fills them, for the tests that
// need a whole diagram: A melts at 1400 K, B at 1300 K, the eutectic lies at X = 0.4 and
// 1000 K, and the solids dissolve up to 5 % of the other component.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "calc/cell_grid.h"
#include "calc/results.h"

namespace views::testing {

inline std::string Text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// The phases of the system, as Results::RunPhases lists them: L, SA, SB.
inline calc::PhaseIndex Phase(double x, double t) {
  const double liquidus = x <= 0.4 ? 1400 - 1000 * x : 1000 + (x - 0.4) / 0.6 * 300;
  if (t > liquidus) return 0;
  if (x <= 0.05 + 1e-9) return 1;
  if (x >= 0.95 - 1e-9) return 2;
  return calc::kNoRunPhase;
}

// xPoints + 1 columns from 0 to 1, levels from 1500 down to 900 K every `step` kelvin.
inline void FillEutectic(calc::Results& r, int xPoints = 40, double step = 10) {
  const int levels = static_cast<int>(std::lround(600 / step)) + 1;
  calc::CellGrid& g = r.Cells();
  g.SetColCount(0);
  g.SetRowCount(0);
  g.SetColCount(xPoints + 2);
  g.SetRowCount(levels + 1);
  r.RunPhases = {{"L", {}, false, 0}, {"SA", {}, false, 0}, {"SB", {}, false, 0}};
  g.SetPhaseCodes({"L", "SA", "SB"});
  g.SetCell(0, 0, " Y/X");
  r.XLevels.clear();
  for (int c = 0; c <= xPoints; ++c) {
    const double x = static_cast<double>(c) / xPoints;
    r.XLevels.push_back({Text(x), x});
    g.SetColumnHeader(c + 1, x, Text(x));
  }
  r.ZPoints.Reset(levels, 2 * (xPoints + 1));
  for (int k = 0; k < levels; ++k) {
    const double t = 1500 - k * step;
    g.SetRowHeader(k + 1, t, Text(t));
    for (int c = 0; c <= xPoints; ++c) g.SetPhase(c + 1, k + 1, Phase(r.XLevels[c].X, t));
    // Each stretch of empty cells is a two-phase segment between its two labelled neighbours,
    // written from the highest X down, the higher end first.
    auto empty = [&](int i) { return g.CellEmpty(i + 1, k + 1); };
    for (int i = xPoints; i >= 0; --i) {
      if (!empty(i)) continue;
      int first = i;  // the first X level of this empty stretch
      while (first > 0 && empty(first - 1)) --first;
      const int hi = std::min(i + 1, xPoints), lo = std::max(first - 1, 0);
      r.ZPoints.Append(k, {r.XLevels[hi].X, t, hi + 1, Phase(r.XLevels[hi].X, t)});
      r.ZPoints.Append(k, {r.XLevels[lo].X, t, lo + 1, Phase(r.XLevels[lo].X, t)});
      i = first;
    }
  }
}

}  // namespace views::testing
