#pragma once
// The common tangent of two phases at one level: the tie line whose ends touch both energy
// curves, and the X derivatives of an energy that it is solved from. The exact answers after
// the sweep solve every tie line with it (calc/refine.cpp); the solvers of a few unknowns it
// shares with them are in numeric/solve.h.

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
  // The phase's energy at x with its first two X derivatives (g3 is not used).
  std::function<XDerivatives(double x)> at;
};

// Solves the tie line between a (left) and b (right) from the starting compositions xa < xb:
// equal slopes at both ends, equal to the slope of the chord between them (G_a'(xa) =
// G_b'(xb) = (G_b - G_a) / (xb - xa)), by Newton's method with the Jacobian from g''. A step
// that would leave (0, 1) or close the tie line to less than half its length is halved. True
// with xa < xb on the tangent to about 1e-11 of the distance to the nearer pure end; false when
// it does not converge (xa and xb are then where it stopped). Two fixed ends are their own tie
// line. Exceptions of the ends' functions pass through.
bool SolveTieLine(const TangentEnd& a, const TangentEnd& b, double& xa, double& xb);

}  // namespace calc
