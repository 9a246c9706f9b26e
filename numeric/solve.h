#pragma once
// The small solvers of the exact answers (the refinement, the equilibrium at a point, the
// paths): a root of one variable inside a bracket, Newton's method on a few unknowns, the
// minimum of one variable by golden-section search, and the dense linear solve under them.
// The caller's functions may throw (an evaluator error); the exception passes through.
//
// (The problem check's end-member search uses TRoot of roots.h, whose steps and error codes
// are its own; these are separate.)

#include <functional>

namespace numeric {

// The most unknowns SolveLinear and NewtonSystem take: an invariant has the level and the
// compositions of three phases.
inline constexpr int kMaxUnknowns = 4;

// Steps NewtonSystem makes (and the tie-line solve of calc/tangent.h) before it gives up:
// from a start on the grid the iterations converge quadratically in 5 to 10 steps; more than
// 60 means the start was outside the basin or the solution does not exist.
inline constexpr int kMaxNewtonSteps = 60;

// Solves a x = b for n <= kMaxUnknowns by elimination with partial pivoting; b becomes x.
// False when a is singular (or a pivot or an unknown is not finite).
bool SolveLinear(int n, double a[kMaxUnknowns][kMaxUnknowns], double b[kMaxUnknowns]);

// Writes the n residuals of the unknowns u into r.
using Residual = std::function<void(const double* u, double* r)>;
// Whether the unknowns u are an admissible point (inside the domain of the residuals).
using Admissible = std::function<bool(const double* u)>;

// Newton's method for n <= kMaxUnknowns unknowns with a forward-difference Jacobian (step
// steps[i] for unknown i, taken backwards where the forward point is not admissible). A step
// that leaves the admissible set is halved until it stays inside. Converged, with u the
// answer, when a full step is smaller than tol[i] in every unknown or when the steps stall at
// the noise floor of the differences; false after kMaxNewtonSteps steps, on a singular
// Jacobian, or when no admissible step is found.
bool NewtonSystem(int n, const Residual& f, double* u, const double* steps, const double* tol,
                  const Admissible& ok);

// Whether a Newton iteration whose last step measured `size` (the largest step over its
// tolerance, in units of the tolerances) and the one before `last` is done: the step is below
// the tolerance, or it is small (under 1e4 tolerances) and no longer shrinking fast (by less
// than a factor 4), which is the noise floor of finite differences, where more steps only
// wander.
bool NewtonDone(double size, double last);

// A root of f in [lo, hi] where f changes sign: the secant step of the Illinois method, with
// a bisection every fourth step and wherever the secant leaves the bracket, down to the last
// representable interval (the end with the smaller |f|). False when f does not change sign.
bool BracketedRoot(const std::function<double(double)>& f, double lo, double hi, double& root);

// The place of the smallest value of f on [a, b] (one minimum there) by golden-section search,
// until the bracket is narrower than `width` (at most 200 steps): the middle of the last
// bracket.
double GoldenMinimum(const std::function<double(double)>& f, double a, double b, double width);

}  // namespace numeric
