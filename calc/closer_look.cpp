#include "calc/closer_look.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/two_threads.h"

namespace calc {

namespace {

// How much finer the closer look's grid is: its level step is about this fraction of the run's
// (within the bounds on its number of levels), its columns this many times the run's.
constexpr double kLevelsPerStep = 16;
constexpr int kMinLevels = 16, kMaxLevels = 96;
constexpr int kColumnsFactor = 4;
constexpr int kMinColumns = 400, kMaxColumns = 2000;
// Around an approximate answer the band reaches this many of the run's level steps either side;
// around a feature between two levels, one step beyond them.
constexpr double kAroundAnswer = 1.5;

struct Band {
  double lo, hi;
};

// The bands to look at again: around every feature the grid cannot resolve and every answer
// it left approximate, merged where they overlap, within the run's range.
std::vector<Band> BandsToLook(const RefinedResults& r, const SweepState& st) {
  const double step = std::abs(st.YStep);
  const double ymin = std::min(st.Ymin, st.Ymax), ymax = std::max(st.Ymin, st.Ymax);
  std::vector<Band> bands;
  auto add = [&](double lo, double hi) {
    lo = std::max(lo, ymin);
    hi = std::min(hi, ymax);
    if (hi > lo) bands.push_back({lo, hi});
  };
  for (const FinerFeature& f : r.BelowResolution) add(f.YLow - step, f.YHigh + step);
  auto around = [&](double y) { add(y - kAroundAnswer * step, y + kAroundAnswer * step); };
  for (const Invariant& i : r.Invariants)
    if (i.Approximate && !i.Phases.empty()) around(i.Y);
  for (const CongruentPoint& c : r.CongruentPoints)
    if (c.Approximate) around(c.Y);
  for (const CriticalPoint& c : r.CriticalPoints)
    if (c.Approximate) around(c.Y);
  std::sort(bands.begin(), bands.end(), [](const Band& a, const Band& b) { return a.lo < b.lo; });
  std::vector<Band> merged;
  for (const Band& b : bands) {
    if (!merged.empty() && b.lo <= merged.back().hi)
      merged.back().hi = std::max(merged.back().hi, b.hi);
    else
      merged.push_back(b);
  }
  if (merged.size() > kMaxCloserLooks) merged.resize(kMaxCloserLooks);
  return merged;
}

bool SamePhases(const Invariant& a, const Invariant& b) {
  if (a.Phases.size() != b.Phases.size()) return false;
  for (size_t i = 0; i < a.Phases.size(); ++i)
    if (a.Phases[i].Phase != b.Phases[i].Phase) return false;
  return true;
}

// What a closer look over one band found, kept to the band's inside (the sweep's first and
// last levels see only one side of what lies there).
struct Found {
  std::vector<Invariant> invariants;
  std::vector<CongruentPoint> congruent;
  std::vector<CriticalPoint> critical;
  std::vector<FinerFeature> finer;
};

// Sweeps and refines the band on the finer grid. False when the sweep did not complete or its
// phases are not the run's (a sheet that compiles otherwise the second time).
bool Sweep(const ProblemInput& problem, const Results& run, const Band& band, int xpoints,
           int ypoints, const std::string& y_parameter_text, const std::atomic<bool>* stop,
           Found& found) {
  HeadlessHost host;
  host.problem = problem;
  host.problem.Ymin = band.lo;
  host.problem.Ymax = band.hi;
  host.problem.XPoints = xpoints;
  host.problem.YPoints = ypoints;
  host.problem.ShowChart = false;
  host.problem.Refine = true;
  Results sub;
  Engine engine(host, host, sub);
  engine.SetLookCloser(false);
  engine.StopWith(stop);
  try {
    engine.Run();
    if (!engine.SweepComplete()) return false;
    engine.FindSpecialPoints(y_parameter_text);
  } catch (const std::exception&) {
    return false;
  }
  if (!sub.Refined.Ran || sub.RunPhases.size() != run.RunPhases.size()) return false;
  for (size_t i = 0; i < sub.RunPhases.size(); ++i)
    if (sub.RunPhases[i].Name != run.RunPhases[i].Name) return false;
  const double margin = (band.hi - band.lo) / ypoints;
  auto inside = [&](double y) { return y > band.lo + margin && y < band.hi - margin; };
  for (const Invariant& i : sub.Refined.Invariants)
    if (!i.Phases.empty() && inside(i.Y)) found.invariants.push_back(i);
  for (const CongruentPoint& c : sub.Refined.CongruentPoints)
    if (inside(c.Y)) found.congruent.push_back(c);
  for (const CriticalPoint& c : sub.Refined.CriticalPoints)
    if (inside(c.Y)) found.critical.push_back(c);
  found.finer = sub.Refined.BelowResolution;
  return true;
}

// Puts what the closer look over `band` found in place of the run's approximations there.
void Merge(const Band& band, double step, Found& found, RefinedResults& out) {
  auto in_band = [&](double y) { return y >= band.lo && y <= band.hi; };
  const double same_y = 1e-3 * step;
  std::vector<char> used(found.invariants.size(), 0);
  // Exact answers the run has already: the closer look finds them again.
  for (const Invariant& inv : out.Invariants) {
    if (inv.Approximate) continue;
    for (size_t k = 0; k < found.invariants.size(); ++k)
      if (!used[k] && SamePhases(inv, found.invariants[k]) &&
          std::abs(inv.Y - found.invariants[k].Y) <= same_y)
        used[k] = 1;
  }
  // An approximate invariant of a node takes the closer look's nearest exact one (its node's
  // line is drawn there), those of its phases first; failing both, the closer look's own
  // approximate one of its phases, placed by the finer grid.
  for (Invariant& inv : out.Invariants) {
    if (!inv.Approximate || inv.Phases.empty() || !in_band(inv.Y)) continue;
    int best = -1;
    double best_d = kAroundAnswer * step;
    for (int pass = 0; pass < 3 && best < 0; ++pass) {
      for (size_t k = 0; k < found.invariants.size(); ++k) {
        const Invariant& f = found.invariants[k];
        if (used[k] || f.Approximate != (pass == 2) || (pass != 1 && !SamePhases(inv, f))) continue;
        const double d = std::abs(f.Y - inv.Y);
        if (d <= best_d) {
          best_d = d;
          best = static_cast<int>(k);
        }
      }
    }
    if (best >= 0) {
      inv = found.invariants[static_cast<size_t>(best)];
      used[static_cast<size_t>(best)] = 1;
    }
  }
  for (size_t k = 0; k < found.invariants.size(); ++k)
    if (!used[k]) out.Invariants.push_back(found.invariants[k]);

  // Congruent and critical points: the closer look's answers replace the run's approximate ones
  // in the band, unless it found nothing near one (then the run's stays, as it was).
  auto near_found = [&](double y) {
    for (const CongruentPoint& c : found.congruent)
      if (std::abs(c.Y - y) <= kAroundAnswer * step) return true;
    for (const CriticalPoint& c : found.critical)
      if (std::abs(c.Y - y) <= kAroundAnswer * step) return true;
    for (const Invariant& i : found.invariants)
      if (std::abs(i.Y - y) <= kAroundAnswer * step) return true;
    return false;
  };
  std::erase_if(out.CongruentPoints, [&](const CongruentPoint& c) {
    return c.Approximate && in_band(c.Y) && near_found(c.Y);
  });
  std::erase_if(out.CriticalPoints, [&](const CriticalPoint& c) {
    return c.Approximate && in_band(c.Y) && near_found(c.Y);
  });
  for (const CongruentPoint& c : found.congruent) {
    const bool known = std::any_of(
        out.CongruentPoints.begin(), out.CongruentPoints.end(), [&](const CongruentPoint& o) {
          return o.Type == c.Type && o.Indices == c.Indices && std::abs(o.Y - c.Y) <= same_y &&
                 std::abs(o.X - c.X) <= 1e-6;
        });
    if (!known) out.CongruentPoints.push_back(c);
  }
  for (const CriticalPoint& c : found.critical) {
    const bool known = std::any_of(
        out.CriticalPoints.begin(), out.CriticalPoints.end(), [&](const CriticalPoint& o) {
          return o.Index == c.Index && std::abs(o.Y - c.Y) <= same_y && std::abs(o.X - c.X) <= 1e-6;
        });
    if (!known) out.CriticalPoints.push_back(c);
  }
  // What lay between the run's levels in the band is now what lies between the closer look's.
  std::erase_if(out.BelowResolution,
                [&](const FinerFeature& f) { return f.YLow >= band.lo && f.YHigh <= band.hi; });
  for (const FinerFeature& f : found.finer) out.BelowResolution.push_back(f);
}

}  // namespace

bool LookCloser(const ProblemInput& problem, Results& results, const std::string& y_parameter_text,
                const std::atomic<bool>* stop) {
  RefinedResults& out = results.Refined;
  const SweepState& st = results.State;
  const double step = std::abs(st.YStep);
  if (!out.Ran || !(step > 0)) return true;
  const std::vector<Band> bands = BandsToLook(out, st);
  if (bands.empty()) return true;
  int xpoints = std::clamp(kColumnsFactor * problem.XPoints, kMinColumns, kMaxColumns);
  xpoints = std::max(xpoints, problem.XPoints);
  std::vector<int> levels;
  int64_t cells = 0;
  for (const Band& b : bands) {
    const int n = std::clamp(static_cast<int>(std::ceil(kLevelsPerStep * (b.hi - b.lo) / step)),
                             kMinLevels, kMaxLevels);
    levels.push_back(n);
    cells += int64_t{n + 1} * xpoints;
  }
  if (cells > kCloserLookCells) {
    const double shrink = static_cast<double>(kCloserLookCells) / static_cast<double>(cells);
    xpoints = std::max(problem.XPoints, static_cast<int>(xpoints * shrink));
  }
  // The bands are swept independently of one another: two at once where the machine has two
  // processors, and merged in their order, so that the answers do not depend on the threads.
  std::vector<Found> found(bands.size());
  std::vector<char> swept(bands.size(), 0);
  ForEachOnTwoThreads(bands.size(), true, [&](size_t k) {
    try {
      swept[k] =
          Sweep(problem, results, bands[k], xpoints, levels[k], y_parameter_text, stop, found[k]);
    } catch (...) {
      swept[k] = 0;
    }
  });
  if (stop && stop->load(std::memory_order_relaxed)) return false;
  for (size_t k = 0; k < bands.size(); ++k) {
    if (!swept[k]) continue;
    Merge(bands[k], step, found[k], out);
    out.CloserLooks.push_back({bands[k].lo, bands[k].hi, xpoints, levels[k]});
  }
  return true;
}

}  // namespace calc
