// One level of the sweep: energies over the X levels, the chord filter, the lower hull, and the
// level's row of the cell grid, of the diagram points, of the working chart and of the mosaic.
// LevelStep runs the steps below in this order; each works on the results and on the level's
// work arrays (calc/level_work.h).

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/level_work.h"
#include "calc/two_threads.h"
#include "numeric/format.h"
#include "numeric/vector_state.h"

namespace calc {

namespace {

int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

// Writes a record over slot `count` of the point set and advances count.
inline void PutRecord(TaTpoint& points, size_t& count, bool is_point_phase, double x, double g,
                      double xstep, PhaseIndex phase, int32_t column) {
  if (count == points.size()) points.emplace_back();
  points[count++] = TDPoint{is_point_phase, false, x, g, xstep, phase, column};
}

// Whether energy g lies below ref by more than the rounding of a database's formulas (terms up
// to 1e5 J/mol summed in some order: 1e-10 J/mol).
bool LowerBeyondRounding(double g, double ref) {
  return g < ref - 1e-12 * std::max(std::abs(ref), 1e3);
}

// Whether an expression draws random numbers (RND, in any letter case).
bool DrawsRandomNumbers(const std::string& expression) {
  std::string t = expression;
  for (char& ch : t) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return t.find("RND") != std::string::npos;
}

}  // namespace

bool Engine::LevelStep() {
  numeric::ClearUpperVectorState();
  if (!work_) work_ = std::make_unique<LevelWork>();
  level_abandoned_ = false;
  if (port_) posted_ = PostedLevel{};
  BeginLevel();
  const bool show_chart = port_ && port_->ShowChart();
  const bool show_mosaic = !port_ || port_->ShowMosaic();
  OfferRecords(show_chart);
  if (StopRequested()) {
    // Left as if never begun; the energies of the next attempt are computed anew.
    level_abandoned_ = true;
    work_->sid_cached = false;
    return false;
  }
  KeepRecordsBelowChord();
  BuildHullList();
  WriteLevelRow();
  WriteSegments(show_chart, show_mosaic);
  HandOverLevel(show_chart, show_mosaic);
  if (port_) {
    posted_.levels = 1;
    posted_.level_index = results_.State.LevelIndex;
    posted_.y = results_.State.Y;
    port_->PostLevel(std::move(posted_));
  }
  return true;
}

void Engine::Mark(const MosaicMark& mark) {
  if (port_) {
    posted_.mosaic.push_back(mark);
  } else {
    mark.DrawOn(results_.Mosaic);
  }
}

// The swept variable takes Y; the working chart is emptied; the status line (reported to a
// level port) shows Y on the levels 1, 11, 21, ...
void Engine::BeginLevel() {
  SweepState& st = results_.State;
  if (st.Yparameter == YParameter::Temperature) {
    st.T = st.Y;
  } else {
    st.p = st.Y;
  }
  for (auto& series : results_.ChartSeries) series.clear();
  if (port_ && st.LevelIndex % 10 == 0) {
    posted_.status = YParameterText(st.Yparameter) + " = " +
                     numeric::FormatFloatPattern(st.Y, 4, st.DecimalSeparator);
  }
}

// The point set of the level: at every X level the lowest of the solution phases, then every
// point phase; and the chord through the lowest solution energies at X = Xmin and X = Xmax.
void Engine::OfferRecords(bool show_chart) {
  LevelWork& work = *work_;
  if (!work.twins_found) FindTwins();
  const bool use_cache = work.sid_cached && work.sid_at_level.size() == results_.XLevels.size() &&
                         work.sid_at_point.size() == sheet_.PointPhases.size();
  if (!use_cache) {
    work.sid_at_level.clear();
    work.sid_at_point.clear();
  }
  work.count = 0;
  OfferSolutionRecords(show_chart, use_cache);
  OfferPointPhaseRecords(use_cache);
  results_.PointSet.resize(work.count);
  work.records_offered += static_cast<int64_t>(work.count);

  // Every entropy value of the run is known now (random numbers aside).
  if (!use_cache) work.sid_cached = !DrawsRandomNumbers(sheet_.sidParser().Expression());
  const SweepState& st = results_.State;
  KeepLowestPointPhasePerComposition();
  PreferPointPhasesAtEnds();
  work.slope = (work.gmin_b - work.gmin_a) / (st.Xmax - st.Xmin);
}

// Twins: an assessed database may give a phase, at a pure end, the energy of another phase
// there (COST507's ALCE_AMORPHOUS is the liquid's GLIQAL at pure Al, a compound of Al-Fe),
// written as another arrangement of the same terms. The two differ by rounding (1e-10 J/mol
// either way) at every level, and compared as they are, the stable phase of the pure end would
// take turns between them from level to level. A phase whose energy there equals, to rounding,
// that of one met before it (the earlier in the sheet, a solution phase before a point phase) at
// every one of kTwinSamples levels across the run's range is that one's twin: it never takes its
// place. Phases that merely cross at one level (a melting point on a level) are not twins, and
// the phases on sublattices, whose minima at the ends follow their own starts, are left as they
// are. Sheets drawing random numbers are not sampled, as sampling would draw some.
void Engine::FindTwins() {
  const SweepState& st = results_.State;
  LevelWork& work = *work_;
  work.twins_found = true;
  const size_t n = sheet_.Phases.size(), m = sheet_.PointPhases.size();
  work.twin_at[0].assign(n, 0);
  work.twin_at[1].assign(n, 0);
  work.point_twin.assign(m, 0);
  if (DrawsRandomNumbers(sheet_.sidParser().Expression())) return;
  for (const SolutionPhase& ph : sheet_.Phases)
    if (!ph.Model && DrawsRandomNumbers(ph.Parser->Expression())) return;
  for (const PointPhase& pp : sheet_.PointPhases)
    if (!pp.Model && DrawsRandomNumbers(pp.Parser->Expression())) return;

  constexpr int kTwinSamples = 5;
  // energies[k * kTwinSamples + s]: phase k's energy at sample level s (NaN where it has none).
  std::vector<double> solution(n * kTwinSamples), point(m * kTwinSamples);
  auto sample = [&](std::vector<double>& energies, size_t k, auto&& energy) {
    for (int s = 0; s < kTwinSamples; ++s) {
      const double y = st.Ymin + (st.Ymax - st.Ymin) * s / (kTwinSamples - 1);
      const bool temperature = st.Yparameter == YParameter::Temperature;
      energies[k * kTwinSamples + static_cast<size_t>(s)] =
          energy(temperature ? y : st.T, temperature ? st.p : y);
    }
  };
  auto sid_at = [&](double x) {
    *sheet_.SidX() = x;
    return sheet_.sidParser().Value();
  };
  auto same = [](double a, double b) {
    return std::isfinite(a) && std::isfinite(b) && !LowerBeyondRounding(a, b) &&
           !LowerBeyondRounding(b, a);
  };
  auto twins = [&](const std::vector<double>& a, size_t i, const std::vector<double>& b, size_t k) {
    for (size_t s = 0; s < kTwinSamples; ++s)
      if (!same(a[i * kTwinSamples + s], b[k * kTwinSamples + s])) return false;
    return true;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  try {
    for (size_t j = 0; j < m; ++j) {
      PointPhase& pp = sheet_.PointPhases[j];
      const bool sampled = !pp.Model && pp.HasExpression();
      const double sid = sampled ? sid_at(pp.Composition) : nan;
      sample(point, j, [&](double t, double p) { return sampled ? pp.Energy(t, p, sid) : nan; });
    }
    for (int end = 0; end < 2; ++end) {
      const double x = end == 0 ? st.Xmin : st.Xmax;
      const double sid = sid_at(x);
      for (size_t k = 0; k < n; ++k) {
        SolutionPhase& ph = sheet_.Phases[k];
        const bool sampled = !ph.Model && ph.HasExpression();
        sample(solution, k,
               [&](double t, double p) { return sampled ? ph.Energy(x, t, p, sid) : nan; });
      }
      for (size_t k = 1; k < n; ++k)
        for (size_t i = 0; i < k && !work.twin_at[end][k]; ++i)
          if (twins(solution, i, solution, k)) work.twin_at[end][k] = 1;
      for (size_t j = 0; j < m; ++j) {
        const double xp = sheet_.PointPhases[j].Composition;
        if (!(end == 0 ? xp == st.Xmin : std::abs(xp - st.Xmax) < 1e-12)) continue;
        for (size_t k = 0; k < n && !work.point_twin[j]; ++k)
          if (twins(solution, k, point, j)) work.point_twin[j] = 1;
      }
    }
    for (size_t j = 1; j < m; ++j)
      for (size_t i = 0; i < j && !work.point_twin[j]; ++i)
        if (sheet_.PointPhases[i].Composition == sheet_.PointPhases[j].Composition &&
            twins(point, i, point, j))
          work.point_twin[j] = 1;
  } catch (const std::exception&) {
    // An expression that fails here fails in the sweep too, which says where.
  }
}

// Of point phases of one composition (an assessed database gives a metal several structures
// it does not take, each a compound at X = 0 or 1) only the lowest at this level can be on the
// hull; the others, left beside it at the same X, would take its place at the hull's ends
// and break the two-phase segments there.
void Engine::KeepLowestPointPhasePerComposition() {
  TaTpoint& points = results_.PointSet;
  size_t first = points.size();
  while (first > 0 && points[first - 1].IsPointPhase) --first;
  if (points.size() - first < 2) return;
  std::vector<size_t>& order = work_->point_order;
  order.resize(points.size() - first);
  for (size_t k = 0; k < order.size(); ++k) order[k] = first + k;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return points[a].X != points[b].X ? points[a].X < points[b].X : points[a].G < points[b].G;
  });
  bool any = false;
  std::vector<char>& drop = work_->point_drop;
  drop.assign(points.size(), 0);
  for (size_t k = 1; k < order.size(); ++k) {
    if (points[order[k]].X == points[order[k - 1]].X) {
      drop[order[k]] = 1;
      any = true;
    }
  }
  if (!any) return;
  size_t out = first;
  for (size_t k = first; k < points.size(); ++k)
    if (!drop[k]) {
      if (out != k) std::swap(points[out], points[k]);
      ++out;
    }
  points.resize(out);
}

// A point phase at X = Xmin or Xmax below the lowest solution phase there is the stable phase
// of that pure component (the hcp metal of an assessed system, say): it takes the end's place,
// both as an end of the chord and on the hull, and the solution record at that end goes. Left
// beside it, the solution record would take the end's cell and its transitions, as if the
// metastable phases there were the stable ones.
void Engine::PreferPointPhasesAtEnds() {
  const SweepState& st = results_.State;
  LevelWork& work = *work_;
  TaTpoint& points = results_.PointSet;
  bool replaced[2] = {false, false};
  // The point phases' records come last: only they are looked at.
  for (auto it = points.rbegin(); it != points.rend() && it->IsPointPhase; ++it) {
    const TDPoint& r = *it;
    const bool at_a = r.X == st.Xmin, at_b = std::abs(r.X - st.Xmax) < 1e-12;
    double& gmin = at_a ? work.gmin_a : work.gmin_b;
    if ((!at_a && !at_b) || !(gmin < kNoEnergy) || !(r.G < gmin)) continue;
    gmin = r.G;
    replaced[at_a ? 0 : 1] = true;
  }
  if (!replaced[0] && !replaced[1]) return;
  std::erase_if(points, [&](const TDPoint& r) {
    return !r.IsPointPhase &&
           ((replaced[0] && r.X == st.Xmin) || (replaced[1] && st.Xmax - r.X < 1e-12));
  });
}

void Engine::OfferSolutionRecords(bool show_chart, bool use_cache) {
  const SweepState& st = results_.State;
  LevelWork& work = *work_;
  TaTpoint& points = results_.PointSet;
  numeric::TParser& sid_parser = sheet_.sidParser();
  const std::vector<XLevel>& levels = results_.XLevels;
  // Every solution phase of the sheet competes at every X level.
  const size_t phase_count = sheet_.Phases.size();
  work.gmin_a = kNoEnergy;
  work.gmin_b = kNoEnergy;
  // The sheet does not change during a sweep; the variables T and p are the same for every X
  // level of this one.
  std::vector<char>& has_expression = work.has_expression;
  has_expression.assign(phase_count, 0);
  work.disordered_form.assign(phase_count, -1);
  for (size_t k = 0; k < phase_count; ++k) {
    SolutionPhase& ph = sheet_.Phases[k];
    if (ph.Model && ph.Variant == OrderVariant::Ordered)
      for (size_t d = 0; d < phase_count; ++d)
        if (sheet_.Phases[d].Model == ph.Model &&
            sheet_.Phases[d].Variant == OrderVariant::Disordered)
          work.disordered_form[k] = static_cast<int>(d);
  }
  for (size_t k = 0; k < phase_count; ++k) {
    SolutionPhase& ph = sheet_.Phases[k];
    has_expression[k] = ph.HasExpression();
    if (!has_expression[k]) continue;
    if (ph.Model) {
      ph.Model->SetLevel(st.T, st.p);
    } else {
      *ph.T = st.T;
      *ph.p = st.p;
    }
  }
  // Skipping phases far above the lowest works in temperature sweeps only, and not while the
  // working chart shows every phase's curve.
  const bool may_skip = st.Yparameter == YParameter::Temperature && !show_chart;
  if (work.skip.size() != phase_count * levels.size()) {
    work.skip.assign(phase_count * levels.size(), {});
    work.breaks.clear();
    for (const SolutionPhase& ph : sheet_.Phases) {
      if (ph.Model) {
        ph.Model->TemperatureLimits(work.breaks);
      } else {
        TemperatureLimitsIn(ph.Parser->Expression(), work.breaks);
      }
    }
    std::sort(work.breaks.begin(), work.breaks.end());
    // The phases of each model, models in the order of their first phase.
    work.model_groups.clear();
    for (size_t k = 0; k < phase_count; ++k) {
      const SolutionPhase& ph = sheet_.Phases[k];
      if (!ph.Model || !has_expression[k]) continue;
      auto same = [&](const std::vector<size_t>& g) {
        return sheet_.Phases[g[0]].Model == ph.Model;
      };
      auto it = std::find_if(work.model_groups.begin(), work.model_groups.end(), same);
      if (it == work.model_groups.end()) {
        work.model_groups.push_back({k});
      } else {
        it->push_back(k);
      }
    }
    work.model_cost.assign(work.model_groups.size(), 0);
  }
  // The minima of the phases on sublattices at every column (MinimiseModels).
  const size_t columns = levels.size();
  std::vector<double>& energy = work.energy;
  energy.assign(phase_count * columns, std::numeric_limits<double>::quiet_NaN());
  std::vector<char>& minimised = work.minimised;
  minimised.assign(phase_count * columns, 0);
  if (phase_count >= 2) MinimiseModels(may_skip);
  for (size_t c = 0; c < levels.size(); ++c) {
    // A stop asked for from another thread ends the level here (LevelStep leaves it out).
    if (StopRequested()) return;
    const double x = levels[c].X;
    double sid;
    if (use_cache) {
      sid = work.sid_at_level[c];
    } else {
      *sheet_.SidX() = x;
      sid = sid_parser.Value();
      work.sid_at_level.push_back(sid);
    }
    if (phase_count < 2) continue;
    double best = kNoEnergy;
    int kbest = -1;
    for (size_t k = 0; k < phase_count; ++k) {
      if (!has_expression[k]) continue;
      SolutionPhase& ph = sheet_.Phases[k];
      double g;
      if (ph.Model) {
        // Left out here at this level, or NaN where the phase cannot take x: it offers nothing.
        g = energy[k * columns + c];
        if (std::isnan(g)) continue;
      } else {
        *ph.X = x;
        *ph.Sid = sid;
        g = ph.Parser->Value();
      }
      if (show_chart) results_.ChartSeries[k].push_back({x, g});
      bool lower = g < best;
      // The two forms of one model: near a second-order line the ordered form's minimum lies
      // below the disordered form's by less than rounding, and the cell takes the disordered
      // form until the ordering lowers the energy beyond it.
      if (kbest >= 0 && work.disordered_form[k] == kbest) {
        lower = LowerBeyondRounding(g, best);
      } else if (kbest >= 0 &&
                 work.disordered_form[static_cast<size_t>(kbest)] == static_cast<int>(k)) {
        lower = !LowerBeyondRounding(best, g);
      }
      if (lower && !(x == st.Xmin && work.twin_at[0][k]) &&
          !(st.Xmax - x < 1e-12 && work.twin_at[1][k])) {
        best = g;
        kbest = static_cast<int>(k);
      }
    }
    if (may_skip) {
      for (size_t k = 0; k < phase_count; ++k) {
        double g = energy[k * columns + c];
        if (std::isnan(g) && minimised[k * columns + c] && work.disordered_form[k] >= 0)
          g = energy[static_cast<size_t>(work.disordered_form[k]) * columns + c];
        if (std::isnan(g)) continue;
        LevelWork::Skip& s = work.skip[k * columns + c];
        const double slack = g - best;
        double gap = LevelWork::kMinEntropyGap;
        if (s.slack >= 0 && s.t != st.T)
          gap = std::max(gap, 2 * std::abs(slack - s.slack) / std::abs(st.T - s.t));
        s = {slack, st.T, gap};
      }
    }
    if (x == st.Xmin && best < work.gmin_a) work.gmin_a = best;
    if (st.Xmax - x < 1e-12 && best < work.gmin_b) work.gmin_b = best;
    // No phase has an energy below the start value here: the X level offers no point.
    if (kbest < 0) continue;
    PutRecord(points, work.count, false, x, best, st.XStep, kbest, static_cast<int32_t>(c + 1));
  }
}

// The minima of the phases on sublattices at every column of the level, into work.energy (NaN
// where a phase is left out or cannot take the column's X). A model's minima depend only on its
// own earlier ones (its starts), never on another model's: each model goes over the columns in
// order, its phases (ordered and disordered forms) in the sheet's order at each, as a sweep
// column by column would call it, and two models are minimised at once on two threads where
// the machine has two processors. The results do not depend on the threads.
void Engine::MinimiseModels(bool may_skip) {
  const SweepState& st = results_.State;
  LevelWork& work = *work_;
  const std::vector<XLevel>& levels = results_.XLevels;
  const size_t columns = levels.size();
  const std::vector<std::vector<size_t>>& groups = work.model_groups;
  auto minimise = [&](const std::vector<size_t>& group) {
    SublatticeModel& model = *sheet_.Phases[group[0]].Model;
    for (size_t c = 0; c < columns; ++c) {
      if (StopRequested()) return;
      const double x = levels[c].X;
      for (size_t k : group) {
        const LevelWork::Skip& s = work.skip[k * columns + c];
        if (may_skip && s.slack > 0 && s.slack > s.gap * std::abs(st.T - s.t) &&
            std::abs(st.T - s.t) < LevelWork::kMaxSkipSpan && !LimitBetween(work.breaks, s.t, st.T))
          continue;
        work.minimised[k * columns + c] = 1;
        work.energy[k * columns + c] =
            model.Minimum(x, sheet_.Phases[k].Variant, static_cast<int>(c));
      }
    }
  };
  // The costliest models first (by their minimisations at the level before), each taken by
  // whichever thread is free.
  std::vector<int64_t>& cost = work.model_cost;
  std::vector<size_t> order(groups.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return cost[a] > cost[b]; });
  for (size_t i = 0; i < groups.size(); ++i)
    cost[i] = -sheet_.Phases[groups[i][0]].Model->stats().minimisations;
  work.threads.ForEach(order.size(), model_threads_, [&](size_t i) { minimise(groups[order[i]]); });
  for (size_t i = 0; i < groups.size(); ++i)
    cost[i] += sheet_.Phases[groups[i][0]].Model->stats().minimisations;
}

void Engine::OfferPointPhaseRecords(bool use_cache) {
  const SweepState& st = results_.State;
  LevelWork& work = *work_;
  numeric::TParser& sid_parser = sheet_.sidParser();
  for (size_t j = 0; j < sheet_.PointPhases.size(); ++j) {
    PointPhase& pp = sheet_.PointPhases[j];
    if (!use_cache) work.sid_at_point.push_back(0);
    // A twin offers nothing: the phase it is a twin of stands for it (FindTwins).
    if (!pp.HasExpression() || work.point_twin[j]) continue;
    const double xp = pp.Composition;
    if (use_cache) {
      *pp.Sid = work.sid_at_point[j];
    } else {
      *sheet_.SidX() = xp;
      *pp.Sid = work.sid_at_point[j] = sid_parser.Value();
    }
    const double g = pp.Energy(st.T, st.p, *pp.Sid);
    PutRecord(results_.PointSet, work.count, true, xp, g, st.XStep,
              static_cast<PhaseIndex>(sheet_.Phases.size() + j), 0);
  }
}

// Only the ends and the records at least 1e-10 below the chord stay, in order; the records
// above it are marked.
void Engine::KeepRecordsBelowChord() {
  const SweepState& st = results_.State;
  const LevelWork& work = *work_;
  TaTpoint& points = results_.PointSet;
  size_t kept = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    TDPoint& r = points[i];
    bool stays = true;
    if (!(r.X == st.Xmin || std::abs(r.X - st.Xmax) < 1e-12)) {
      const double line = work.Chord(r.X);
      if (r.G > line + 1e-10) {
        r.AboveChord = true;
        stays = false;
      } else if (std::abs(r.G - line) < 1e-10) {
        stays = false;
      }
    }
    if (stays) {
      if (kept != i) points[kept] = std::move(r);
      ++kept;
    }
  }
  points.resize(kept);
}

// The records the hull marks, X descending and, on equal X, the lower energy first. Fewer
// than two records make an empty level: its row is written with empty cells only.
void Engine::BuildHullList() {
  LevelWork& work = *work_;
  const TaTpoint& points = results_.PointSet;
  TaTpoint& hull_list = results_.HullList;
  hull_list.clear();
  const size_t kept = points.size();
  if (kept < 2) return;
  work.x.resize(kept);
  work.g.resize(kept);
  for (size_t i = 0; i < kept; ++i) {
    work.x[i] = points[i].X;
    work.g[i] = points[i].G;
  }
  const std::vector<int32_t>& marks = work.hull.Run(work.x, work.g);
  for (size_t i = kept; i-- > 0;) {
    if (marks[i] != 0 && !points[i].AboveChord) hull_list.push_back(points[i]);
  }
  // The order wanted is a strict one (X descending, then G ascending) unless two records are
  // equal in both; a list already strictly in that order comes out of the sort unchanged, so
  // the sort is only run when it has something to do.
  bool ordered = true;
  for (size_t i = 1; i < hull_list.size() && ordered; ++i) {
    const TDPoint& a = hull_list[i - 1];
    const TDPoint& b = hull_list[i];
    ordered = a.X > b.X || (a.X == b.X && a.G < b.G);
  }
  if (!ordered) qsort1_.Sort(0, static_cast<int32_t>(hull_list.size()));
}

// The next level index, its mosaic row, and its row of the cell grid: Y in the header column,
// then the name of every hull record of a grid column.
void Engine::WriteLevelRow() {
  SweepState& st = results_.State;
  CellGrid& cells = results_.Cells();
  ++st.LevelIndex;
  const int level = st.LevelIndex;
  const int r = level + 1;
  // A row that is no number (an infinite range) is drawn nowhere.
  const double mosaic_row = std::trunc(level * st.YStep * st.MosaicScale);
  st.MosaicRow = std::isfinite(mosaic_row) && std::abs(mosaic_row) < 1e9
                     ? static_cast<int32_t>(mosaic_row)
                     : -1000000;

  if (cells.RowCount() < r + 1) cells.SetRowCount(r + 1);
  cells.SetRowHeader(r, numeric::PatternValue(st.Y, 6),
                     numeric::FormatFloatPattern(st.Y, 6, st.DecimalSeparator));
  const int col_count = cells.ColCount();
  for (int c = 1; c < col_count; ++c) {
    if (!cells.CellEmpty(c, r)) cells.SetPhase(c, r, kNoRunPhase);
  }
  for (const TDPoint& rec : results_.HullList) {
    if (rec.Column > 0) cells.SetPhase(rec.Column, r, rec.Phase);
  }
  results_.ZPoints.EnsureRow(level);
}

// Walks the hull list pairwise (P the higher X, Q the lower): the "Convex" series, and every
// two-phase segment with its diagram points, cell codes and mosaic circle.
void Engine::WriteSegments(bool show_chart, bool show_mosaic) {
  const SweepState& st = results_.State;
  LevelWork& work = *work_;
  const TaTpoint& hull_list = results_.HullList;
  const std::vector<XLevel>& levels = results_.XLevels;
  CellGrid& cells = results_.Cells();
  const int level = st.LevelIndex;
  const int r = level + 1;
  if (show_chart && !hull_list.empty()) {
    results_.ChartSeries.back().push_back({hull_list[0].X, hull_list[0].G});
  }

  const int mosaic_w = results_.Mosaic.Width();
  auto write_end = [&](const TDPoint& e) {
    if (!results_.ZPoints.Append(level, TZPoint{e.X, st.Y, e.Column, e.Phase})) return false;
    if (e.Column != 0) {
      cells.SetPhase(e.Column, r, e.Phase);
    } else if (e.IsPointPhase) {
      // "C" goes to the first X level within 1e-10 of the point phase; the X levels ascend,
      // so only those a little beyond that window need the exact test.
      auto it = std::lower_bound(levels.begin(), levels.end(), e.X - 2e-10,
                                 [](const XLevel& l, double v) { return l.X < v; });
      for (; it != levels.end() && it->X <= e.X + 2e-10; ++it) {
        if (std::abs(it->X - e.X) < 1e-10) {
          cells.SetPhase(static_cast<int>(it - levels.begin()) + 1, r, e.Phase);
          break;
        }
      }
    }
    return true;
  };

  work.segments.clear();
  for (size_t h = 1; h < hull_list.size(); ++h) {
    const TDPoint* p_end = &hull_list[h - 1];
    const TDPoint& q = hull_list[h];
    double line = work.Chord(q.X);
    if (q.X != st.Xmin && std::abs(q.X - st.Xmax) > 1e-12) line += 1e-10;

    const bool hidden_from_convex =
        (q.X == p_end->X && q.G > p_end->G) || (q.G > line && q.X != st.Xmin);
    if (!hidden_from_convex && show_chart) results_.ChartSeries.back().push_back({q.X, q.G});

    // A point phase at X = 1 above the lowest solution energy there is no part of the lower
    // hull, though it is in the list: it ends no segment, as the one at X = 0 (always a Q,
    // tested against the line below) ends none. The record at X = 1 before it in the list (the
    // solution phase stable there) ends the segment to Q instead; without one, there is none.
    if (p_end->IsPointPhase && std::abs(p_end->X - st.Xmax) < 1e-12 &&
        p_end->G > work.Chord(p_end->X)) {
      const TDPoint* end = nullptr;
      for (size_t i = h - 1; i-- > 0 && !end;) {
        const TDPoint& e = hull_list[i];
        if (std::abs(e.X - st.Xmax) < 1e-12 && !e.IsPointPhase && !(e.G > work.Chord(e.X)))
          end = &e;
      }
      if (end == nullptr || std::abs(q.X - st.Xmax) < 1e-12) continue;
      p_end = end;
    }
    const TDPoint& p = *p_end;
    const bool neighbours = std::abs(q.X - p.X) < p.XStep + 1e-10;
    if (neighbours && !p.IsPointPhase && !q.IsPointPhase) continue;
    if (q.G > line) continue;

    if (q.IsPointPhase && show_mosaic) {
      const int row = st.MosaicRow;
      Mark({true, RoundHalfEven(mosaic_w * q.X - 2), row - 2, RoundHalfEven(mosaic_w * q.X + 2),
            row + 2, kRed, kWhite});
    }
    const bool fits = write_end(p) && write_end(q);
    if (!fits) {
      const char sep = st.DecimalSeparator;
      std::string text = "Error at " + YParameterText(st.Yparameter) + " = " +
                         numeric::FormatGeneral15(st.Y, sep) + "\r" +
                         "X = " + numeric::FormatGeneral15(q.X, sep);
      if (port_) {
        posted_.messages.push_back(std::move(text));
      } else {
        messages_.ShowMessage(text);
      }
      continue;
    }
    work.segments.push_back({q.X, p.X, SegmentColor(p, q)});
  }
}

// The mosaic colour of the segment between two hull points. Segments between the first two
// solution phases of the sheet and point phases take the mosaic colour, as a sheet of two
// solution phases always has; a segment with a third or later solution phase at an end gets a
// colour of its own per pair of phases, so the fields of a many-phase system can be told apart.
Rgb Engine::SegmentColor(const TDPoint& p, const TDPoint& q) const {
  const auto index = [](const TDPoint& e) -> int { return e.IsPointPhase ? -1 : e.Phase; };
  const int a = index(p), b = index(q);
  const int hi = std::max(a, b), lo = std::min(a, b);
  const Rgb base = results_.State.MosaicColor;
  if (hi < 2) return base;
  // Pair number (lo + 1 for a point phase) turned into a hue step of the golden angle from the
  // mosaic colour's own hue, keeping its lightness so the picture stays in one style.
  const int pair = hi * (hi + 1) / 2 + lo + 1;
  const double turn = std::fmod(pair * 137.50776405, 360.0) * 3.14159265358979 / 180.0;
  const double r = base.r, g = base.g, bl = base.b;
  // Rotation about the grey axis of the RGB cube.
  const double c = std::cos(turn), s = std::sin(turn), k = (1 - c) / 3, w = std::sqrt(1.0 / 3) * s;
  const auto clamp = [](double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
  };
  return Rgb{clamp(r * (c + k) + g * (k - w) + bl * (k + w)),
             clamp(r * (k + w) + g * (c + k) + bl * (k - w)),
             clamp(r * (k - w) + g * (k + w) + bl * (c + k))};
}

// The level's working-chart series go to the chart; its segments become mosaic runs.
void Engine::HandOverLevel(bool show_chart, bool show_mosaic) {
  const SweepState& st = results_.State;
  if (show_chart) {
    posted_.chart = true;
    posted_.series = results_.ChartSeries;
  }
  if (show_mosaic) {
    const int mosaic_w = results_.Mosaic.Width();
    for (const LevelWork::Segment& s : work_->segments) {
      Mark({false, RoundHalfEven(mosaic_w * s.lo), st.MosaicRow, RoundHalfEven(mosaic_w * s.hi),
            st.MosaicRow, s.color, s.color});
    }
  }
}

}  // namespace calc
