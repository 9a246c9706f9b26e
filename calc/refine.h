#pragma once
// The refinement stage: after a complete sweep and a pass of the special-point finder, every
// feature the grid found is solved again from the Gibbs energies of the compiled phase sheet,
// to the precision of double arithmetic instead of one grid step:
//  - transitions of the pure components (memo points at X = 0 and X = 1);
//  - every tie-line end of every level (the ZPoints rows), from the common-tangent conditions;
//  - the three-phase equilibrium of every node, with its phases, type and reaction text;
//  - congruent points (memo points inside 0 < X < 1) and critical points of miscibility gaps
//    (the top or bottom of a run of levels with a tie line between two ends of one phase).
// A solve that fails, or whose answer leaves the grid cell it started from, keeps the grid
// value and marks the feature Approximate. Nothing of the grid results is changed.

#include <atomic>

#include "calc/phase_sheet.h"
#include "calc/results.h"

namespace calc {

// Fills results.Refined (emptied first; Ran = true afterwards) from the cell grid, ZPoints,
// Nodes and MemoPoints of a complete sweep, evaluating the phases of `sheet` with the sweep
// state's fixed T or p. Evaluator errors inside a solve make that feature approximate; they do
// not propagate. The evaluators' variable cells are left at the last values tried. A `stop`
// set from another thread ends it between its stages (Ran stays false).
void RefineResults(PhaseSheet& sheet, Results& results, const std::atomic<bool>* stop = nullptr);

// The reaction type of a three-phase equilibrium from the kinds of its phases: `middle_above`
// is true when the phase of middle composition is stable above the invariant (it decomposes
// into the outer two on cooling, or on lowering p), false when it forms from them. `fluid`
// says for the left, middle and right phase whether it is a liquid or a vapour; `same_as_outer`
// whether the middle phase is the same solution phase as one of the outer two. A solid that
// decomposes into a liquid and a solid is "metatectic"; a fluid that forms from the outer two
// on cooling (the rare retrograde case) is "catatectic".
std::string InvariantType(bool middle_above, const bool fluid[3], bool same_as_outer);

}  // namespace calc
