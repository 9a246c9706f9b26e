#pragma once
// A closer look after the refinement. Where the grid cannot resolve what lies between its
// points (the refinement's BelowResolution) or left an answer approximate, the levels around
// it are swept again on a grid some ten times finer in Y and a few times finer in X, and that
// grid is refined in turn: the invariants, congruent and critical points it solves there take
// the place of the coarse grid's approximations. The grid's own results (cells, nodes, memo)
// stay as they are; the refined answers of the grid's nodes keep their places (the first of
// RefinedResults::Invariants, one per node), what the closer look adds comes after them.

#include <atomic>
#include <string>

#include "calc/problem.h"
#include "calc/results.h"

namespace calc {

// The most bands of levels looked at again after one run, and the most grid cells they may
// take together.
inline constexpr size_t kMaxCloserLooks = 12;
inline constexpr int64_t kCloserLookCells = 600000;

// Looks again at what `results` (refined, from a complete sweep of `problem`) could not resolve
// and amends results.Refined. y_parameter_text as Engine::FindSpecialPoints takes it. A `stop`
// set from another thread ends it within a band's sweep; false then (results.Refined is then
// partly amended).
bool LookCloser(const ProblemInput& problem, Results& results, const std::string& y_parameter_text,
                const std::atomic<bool>* stop = nullptr);

}  // namespace calc
