#pragma once
// The common tangent of two phases at one level: the tie line whose ends touch both energy
// curves, and the X derivatives of an energy that it is solved from. Every tie line of the
// program is solved here: the exact answers after the sweep (calc/refine.cpp), the equilibrium
// at a point and the paths (calc/equilibrium.cpp, calc/path_solver.cpp). The solvers of a few
// unknowns it shares with the exact answers are in numeric/solve.h.

#include <functional>

namespace calc {

// G and its first three X derivatives at one composition.
struct XDerivatives {
  double g = 0, g1 = 0, g2 = 0, g3 = 0;
};

// The derivatives of g at 0 < x < 1 by central finite differences on seven points (sixth
// order for g' and g'', fourth for g'''), the step a fixed fraction of the distance to the
// nearer pure end (see kStencilFraction in tangent.cpp). Throws std::domain_error outside
// (0, 1); an exception of g passes through.
XDerivatives DerivativesInX(const std::function<double(double)>& g, double x);

// One end of a tie line.
struct TangentEnd {
  // A phase of fixed composition (a point phase): it keeps its x, which may be 0 or 1, and
  // `at` need only give g. A solution phase's end moves inside (0, 1).
  bool fixed = false;
  // For TieLineRule::Halved and SolveTieLineBracketed: the phase's energy at x with its first
  // two X derivatives (g3 is not used).
  std::function<XDerivatives(double x)> at;
  // For TieLineRule::Damped: the n-th X derivative at x (n = 0: the energy), one at a time.
  // That rule takes the energies of both ends, then their slopes, then their curvatures: the
  // energy of a phase on sublattices starts its inner minimum from the last one found, so the
  // order of the calls is part of the answer in its last bits.
  std::function<double(int n, double x)> nth;
  // The compositions a moving end can take: a phase on sublattices may end inside 0..1 (its
  // energy is not defined past that), and a tie line to it may end a hair inside the limit.
  double lo = 0, hi = 1;
};

// A start on or past an end of a phase's range [lo, hi] that lies inside 0..1 (a grid column
// at the end, where the energy is defined but not its slope), moved 1e-9 into the range: the
// tangent ends a hair inside, and Newton's steps from there reach it in a few steps. Ends at 0
// and 1 leave x as it is.
double StartInsideRange(double x, double lo, double hi);

// How SolveTieLine steps and when it stops.
enum class TieLineRule {
  // Newton's method on equal slopes at both ends, equal to the slope of the chord between them
  // (G_a'(xa) = G_b'(xb) = (G_b - G_a) / (xb - xa)); a step that would leave (0, 1) or close
  // the tie line to less than half its length is halved; converged below 1e-11 of the distance
  // to the nearer pure end. The refinement's, from a start on the grid.
  Halved,
  // Newton's method on equal slopes and equal intercepts of the two tangents, with both ends'
  // curvatures positive; every step damped to at most a quarter of the tie line's length and
  // kept 1e-12 inside 0..1; converged below 1e-12 in X (1e-9 after the last of 100 steps). The
  // equilibrium at a point and the paths, from a start on the sampled hull (see the note in
  // tangent.cpp on why they keep it).
  Damped,
};

// Solves the tie line between a (left) and b (right) from the starting compositions xa < xb,
// by Newton's method with the Jacobian from g'' stepping as `rule` says. True with xa < xb on
// the tangent; false when it does not converge (xa and xb are then where it stopped). Two
// fixed ends are their own tie line. Exceptions of the ends' functions pass through.
bool SolveTieLine(const TangentEnd& a, const TangentEnd& b, double& xa, double& xb,
                  TieLineRule rule = TieLineRule::Halved);

// The tie line of two moving ends by bracketing, for an energy with a kink (a Laves phase at
// its stoichiometry, where Newton's steps on both ends jump across the kink and back): the end
// in the sharper phase (the larger g'' at the start) is bracketed on equal slopes within
// `reach` of its start, the other follows by Newton's method on its tangent through the first
// end's point (the ends' `at`). True with xa < xb on the tangent; false when the slopes do not
// change sign within reach or the other end does not settle. Exceptions of `at` pass through.
bool SolveTieLineBracketed(const TangentEnd& a, const TangentEnd& b, double& xa, double& xb,
                           double reach);

}  // namespace calc
