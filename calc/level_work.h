#pragma once
// Internal to the engine: the work arrays of the level step.

#include <cstdint>
#include <utility>
#include <vector>

#include "calc/engine.h"
#include "calc/hull.h"
#include "calc/mosaic.h"
#include "calc/two_threads.h"

namespace calc {

struct Engine::LevelWork {
  std::vector<double> x, g;
  Hull hull;
  // (lower X, higher X) of every segment written at this level.
  // The level's two-phase segments (lower X, higher X) and the mosaic colour of each.
  struct Segment {
    double lo = 0, hi = 0;
    Rgb color;
  };
  std::vector<Segment> segments;
  // The entropy evaluator sees only X (and p, fixed by the check), so its value at each X
  // level and at each point phase is the same at every level of a run: kept after the first
  // complete level, unless the expression draws random numbers. Emptied at every set-up.
  bool sid_cached = false;
  std::vector<double> sid_at_level, sid_at_point;
  // Records written into the point set so far at this level.
  size_t count = 0;
  // The lowest solution energies at X = Xmin and X = Xmax (both start at 1e10) and the chord
  // through them.
  double gmin_a = 0, gmin_b = 0, slope = 0;
  double Chord(double x) const { return x * slope + gmin_a; }
  // Records offered to the hull since the set-up (none: no energy below 1e10 anywhere).
  int64_t records_offered = 0;
  // Per solution phase: whether its line has an expression (the sheet is fixed during a run).
  std::vector<char> has_expression;
  // Phases on sublattices cost a minimisation at every grid column. In a temperature sweep, a
  // phase found `slack` J/mol above the lowest phase of a column at temperature `t` cannot be
  // the lowest there before the temperature has moved slack / gap kelvin, where gap bounds the
  // difference of the two phases' entropies (the rate at which the difference of their
  // energies changes with T): twice the rate seen between its last two minimisations there,
  // and at least kMinEntropyGap, well above the entropies of fusion, ordering and magnetic
  // disordering (10 to 20 J/(mol K)). Until then it is not minimised at that column.
  // (phase k, column c) at k * columns + c; slack < 0: minimise.
  static constexpr double kMinEntropyGap = 50;
  // The bound holds where the energies are continuous in T. A database's temperature ranges,
  // joined by HEAV(T-limit), may not meet (COST507's bcc Zr jumps by 154 kJ/mol at 2128 K,
  // its upper range written without GHSERZR): no phase is skipped across such a limit of any
  // phase's formulas (`breaks`, sorted), nor for longer than kMaxSkipSpan kelvin, which bounds
  // what a jump written some other way can hide.
  static constexpr double kMaxSkipSpan = 100;
  std::vector<double> breaks;
  struct Skip {
    double slack = -1;
    double t = 0;
    double gap = kMinEntropyGap;
  };
  std::vector<Skip> skip;
  // Twins (FindTwins): per solution phase, whether an earlier one has its energy at X = Xmin
  // (twin_at[0]) or Xmax (twin_at[1]); per point phase, whether a solution phase at its end,
  // or an earlier point phase of its composition, has its energy.
  bool twins_found = false;
  std::vector<char> twin_at[2];
  std::vector<char> point_twin;
  // Scratch of KeepLowestPointPhasePerComposition.
  std::vector<size_t> point_order;
  std::vector<char> point_drop;
  // Per solution phase: the phase of the disordered form of the same model for an ordered form
  // (-1 for others). Where an ordered form has no minimum, its energy when one appears will not
  // lie below its disordered form's: that one's distance above the lowest stands for it.
  std::vector<int> disordered_form;
  // The energies of the phases on sublattices at this level, (phase k, column c) at
  // k * columns + c (NaN: left out, or no minimum there), and whether each was minimised.
  std::vector<double> energy;
  std::vector<char> minimised;
  // The sheet's phases grouped by their model (MinimiseModels), and each group's minimisations
  // at the last level.
  std::vector<std::vector<size_t>> model_groups;
  std::vector<int64_t> model_cost;
  // The threads that minimise the models, the second one kept from level to level.
  TwoThreads threads;
};

}  // namespace calc
