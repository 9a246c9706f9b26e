#include "calc/tangent.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "numeric/solve.h"

namespace calc {

namespace {

// Derivatives in X are central finite differences on seven points, sixth order for G' and G''
// (fourth order for G'''), with the step a fixed fraction of the distance to the nearer pure
// end. Why this choice:
//  - the evaluators are compiled expressions we can only evaluate, so differences are the one
//    way to differentiate any sheet (a TDB-style polynomial as well as a hand-written one);
//  - the only part of a usual G(X) that is not a low polynomial in X is the ideal mixing
//    term X ln X + (1-X) ln(1-X), whose length scale is min(X, 1-X): a step proportional to it
//    keeps the truncation error the same at X = 0.001 as at X = 0.5, and polynomial terms up
//    to degree six are differentiated exactly;
//  - with G of order 1e4 J/mol (rounding ~1e-12 J/mol), a step of 0.007 min(X, 1-X) balances
//    the truncation error of the X ln X term (~0.9 RT (h/X)^6) against rounding (~2e-12/h):
//    G' comes out to about 1e-9 J/mol at mid compositions, 1e-8 J/mol near X = 0.01.
constexpr double kStencilFraction = 0.007;

// TieLineRule::Halved: the tie line has converged when its steps are below kTieLineAim of the
// distance of each moving end to the nearer pure end: the derivatives above resolve X to about
// that. Within kNearEnd of an end the aim stays kTieLineAim * kNearEnd (1e-14): the differences of
// the energies cannot resolve a step that is a fraction of the distance to an end a millionth away,
// so the solve would stall at their noise, as it did for the liquid beside pure Mg just below its
// melting point.
constexpr double kTieLineAim = 1e-11;
constexpr double kNearEnd = 1e-3;
// A step may shorten the tie line to no less than this part of its length: a longer step
// there is halved. The tangent conditions also hold for the trivial "tie line" of no length
// between two ends of one phase, which a free step could slide into.
constexpr double kShortestShrink = 0.5;
// Halvings of a step that leaves (0, 1) before the solve is given up: 2^-60 of a step is below
// the rounding of any composition.
constexpr int kMaxHalvings = 60;

// SolveTieLineBracketed: the tangent from a point to the other phase's curve has converged at
// a step below kTieLineAim of the distance to the nearer end (as the Halved rule), or at the
// noise floor of numeric::NewtonDone; at most kTangentFromSteps steps, each at most half the
// way to the point.
constexpr int kTangentFromSteps = 60;

// TieLineRule::Damped: at most kDampedSteps steps; each moves an end by at most kRoom of the
// tie line's length (it never passes the other end, and a step from a poor start on the
// sampled hull cannot throw an end across the diagram) and keeps a moving end kEdge inside
// 0..1 and inside its phase's range. Converged at a full step below kConverged in X (the
// differences the equilibrium takes its slopes from resolve the tangent to about 1e-12), or, after
// the last step, at one below kNearlyConverged: a tangent that still wanders at the noise of the
// differences.
//
// Why two rules: the equilibrium at a point and the paths were built and tuned with this one
// (the paths' test of stability measures depths below the tangent against a tolerance set for
// it). Solving their tie lines by the Halved rule, with the refinement's derivatives, changed
// the sample paths' answers: of the boundaries crossed along the sample paths some found
// exactly became approximate and others the reverse, and Scheil paths ended differently. Until
// the paths are tuned again for the Halved rule, they keep this one.
constexpr int kDampedSteps = 100;
constexpr double kRoom = 0.25;
constexpr double kEdge = 1e-12;
constexpr double kConverged = 1e-12;
constexpr double kNearlyConverged = 1e-9;

// StartInsideRange: how far into its range a start on a phase's range end moves.
constexpr double kStartInside = 1e-9;

double StartInside(const TangentEnd& e, double x) {
  return e.fixed ? x : StartInsideRange(x, e.lo, e.hi);
}

bool SolveDamped(const TangentEnd& a, const TangentEnd& b, double& xa, double& xb) {
  // Where a moving end may go: kEdge inside 0..1 and inside its phase's range.
  const double la = std::max(kEdge, a.lo + kEdge), ha = std::min(1 - kEdge, a.hi - kEdge);
  const double lb = std::max(kEdge, b.lo + kEdge), hb = std::min(1 - kEdge, b.hi - kEdge);
  if (!(la < ha && lb < hb)) return false;
  double moved = 1;
  for (int iter = 0; iter < kDampedSteps; ++iter) {
    double dxa = 0, dxb = 0;
    // Both energies first, every step; with one end fixed the moving one's is taken again
    // below (the calls are in the order the equilibrium has always made them, see
    // TangentEnd::nth).
    const double ga = a.nth(0, xa), gb = b.nth(0, xb);
    if (!a.fixed && !b.fixed) {
      const double da = a.nth(1, xa), db = b.nth(1, xb);
      const double sa = a.nth(2, xa), sb = b.nth(2, xb);
      if (!(sa > 0) || !(sb > 0)) return false;
      // The Newton step of G_a' - G_b' = 0 and (G_a - xa G_a') - (G_b - xb G_b') = 0 in the
      // unknowns u = g''_a dxa, v = g''_b dxb: u - v = -f1, -xa u + xb v = -f2.
      const double f1 = da - db;
      const double f2 = (ga - xa * da) - (gb - xb * db);
      const double v = -(f2 + xa * f1) / (xb - xa);
      const double u = v - f1;
      dxa = u / sa;
      dxb = v / sb;
    } else {
      // One end fixed: the moving end's slope equals the chord to the fixed one.
      const bool moves_a = !a.fixed;
      const TangentEnd& free = moves_a ? a : b;
      const TangentEnd& fixed = moves_a ? b : a;
      const double x = moves_a ? xa : xb, xf = moves_a ? xb : xa;
      const double g = free.nth(0, x), gf = fixed.nth(0, xf);
      const double d = free.nth(1, x), c = free.nth(2, x);
      const double chord = (g - gf) / (x - xf);
      const double f = d - chord;
      const double df = c - (d - chord) / (x - xf);
      if (!(df > 0) && !(df < 0)) return false;
      (moves_a ? dxa : dxb) = -f / df;
    }
    if (!std::isfinite(dxa) || !std::isfinite(dxb)) return false;
    const double room = kRoom * (xb - xa);
    double scale = 1;
    const double biggest = std::max(std::abs(dxa), std::abs(dxb));
    if (biggest > room) scale = room / biggest;
    double na = xa + scale * dxa, nb = xb + scale * dxb;
    if (!a.fixed) na = std::clamp(na, la, ha);
    if (!b.fixed) nb = std::clamp(nb, lb, hb);
    moved = std::max(std::abs(na - xa), std::abs(nb - xb));
    xa = na;
    xb = nb;
    if (!(xa < xb)) return false;
    if (moved < kConverged && scale == 1) return true;
  }
  return moved < kNearlyConverged;
}

}  // namespace

double StartInsideRange(double x, double lo, double hi) {
  if (hi < 1 && x > hi - kStartInside) x = hi - kStartInside;
  if (lo > 0 && x < lo + kStartInside) x = lo + kStartInside;
  return x;
}

XDerivatives DerivativesInX(const std::function<double(double)>& g, double x) {
  const double m = std::min(x, 1 - x);
  if (!(m > 0)) throw std::domain_error("composition outside (0, 1)");
  // A power of two, so that every x + k h is exact: a step rounded at X = 0.999 would
  // otherwise shift the points by 1e-16 in 1e-5 and bias G' by 1e-11 of its value.
  const double h = std::exp2(std::floor(std::log2(kStencilFraction * m)));
  double f[7];
  for (int k = -3; k <= 3; ++k) f[k + 3] = k == 0 ? 0 : g(x + k * h);
  f[3] = g(x);
  XDerivatives d;
  d.g = f[3];
  d.g1 = (-f[0] + 9 * f[1] - 45 * f[2] + 45 * f[4] - 9 * f[5] + f[6]) / (60 * h);
  d.g2 = (2 * f[0] - 27 * f[1] + 270 * f[2] - 490 * f[3] + 270 * f[4] - 27 * f[5] + 2 * f[6]) /
         (180 * h * h);
  d.g3 = (f[0] - 8 * f[1] + 13 * f[2] - 13 * f[4] + 8 * f[5] - f[6]) / (8 * h * h * h);
  return d;
}

bool SolveTieLine(const TangentEnd& a, const TangentEnd& b, double& xa, double& xb,
                  TieLineRule rule) {
  if (a.fixed && b.fixed) return true;
  xa = StartInside(a, xa);
  xb = StartInside(b, xb);
  if (rule == TieLineRule::Damped) return SolveDamped(a, b, xa, xb);
  double last = std::numeric_limits<double>::infinity();
  for (int it = 0; it < numeric::kMaxNewtonSteps; ++it) {
    XDerivatives da, db;
    if (a.fixed) {
      da.g = a.at(xa).g;
    } else {
      da = a.at(xa);
    }
    if (b.fixed) {
      db.g = b.at(xb).g;
    } else {
      db = b.at(xb);
    }
    const double w = xb - xa;
    const double chord = (db.g - da.g) / w;
    double dxa = 0, dxb = 0;
    if (!a.fixed && !b.fixed) {
      double m[numeric::kMaxUnknowns][numeric::kMaxUnknowns] = {
          {da.g2 - (chord - da.g1) / w, -(db.g1 - chord) / w},
          {-(chord - da.g1) / w, db.g2 - (db.g1 - chord) / w}};
      double r[numeric::kMaxUnknowns] = {-(da.g1 - chord), -(db.g1 - chord)};
      if (!numeric::SolveLinear(2, m, r)) return false;
      dxa = r[0];
      dxb = r[1];
    } else if (!a.fixed) {
      const double d = da.g2 - (chord - da.g1) / w;
      if (!(std::abs(d) > 0)) return false;
      dxa = -(da.g1 - chord) / d;
    } else {
      const double d = db.g2 - (db.g1 - chord) / w;
      if (!(std::abs(d) > 0)) return false;
      dxb = -(db.g1 - chord) / d;
    }
    if (!std::isfinite(dxa) || !std::isfinite(dxb)) return false;
    auto aim = [](double x) { return kTieLineAim * std::max(std::min(x, 1 - x), kNearEnd); };
    const double size =
        std::max(a.fixed ? 0.0 : std::abs(dxa) / aim(xa), b.fixed ? 0.0 : std::abs(dxb) / aim(xb));
    const bool small = numeric::NewtonDone(size, last);
    last = size;
    // Stay inside (0, 1) and the phase's own range (a fixed end may sit at 0 or 1 itself) and
    // keep the ends apart.
    auto inside = [](double v, const TangentEnd& e) {
      return e.fixed ? v >= 0 && v <= 1 : v > 0 && v < 1 && v > e.lo && v < e.hi;
    };
    double s = 1;
    for (int k = 0; k < kMaxHalvings; ++k, s *= 0.5) {
      const double na = xa + s * dxa, nb = xb + s * dxb;
      if (inside(na, a) && inside(nb, b) && nb - na > kShortestShrink * w) break;
    }
    const double na = xa + s * dxa, nb = xb + s * dxb;
    if (!(inside(na, a) && inside(nb, b) && nb > na)) return false;
    xa = na;
    xb = nb;
    if (small) return true;
  }
  return false;
}

bool SolveTieLineBracketed(const TangentEnd& a, const TangentEnd& b, double& xa, double& xb,
                           double reach) {
  xa = StartInside(a, xa);
  xb = StartInside(b, xb);
  const bool sharp_b = b.at(xb).g2 >= a.at(xa).g2;
  const TangentEnd& s = sharp_b ? b : a;
  const TangentEnd& o = sharp_b ? a : b;
  const double xs0 = sharp_b ? xb : xa;
  double xo = sharp_b ? xa : xb;
  auto aim = [](double x) { return kTieLineAim * std::max(std::min(x, 1 - x), kNearEnd); };
  // Moves xo to where o's tangent passes through (xs, gs); false when it does not settle.
  auto tangent_from = [&](double xs, double gs) {
    double last = std::numeric_limits<double>::infinity();
    for (int it = 0; it < kTangentFromSteps; ++it) {
      const XDerivatives d = o.at(xo);
      const double f = d.g + d.g1 * (xs - xo) - gs, df = d.g2 * (xs - xo);
      if (!(std::abs(df) > 0)) return false;
      const double room = 0.5 * std::abs(xs - xo);
      const double step = std::clamp(-f / df, -room, room);
      if (!(xo + step > std::max(0.0, o.lo) && xo + step < std::min(1.0, o.hi))) return false;
      xo += step;
      const double size = std::abs(step) / aim(xo);
      if (numeric::NewtonDone(size, last)) return true;
      last = size;
    }
    return false;
  };
  bool failed = false;
  auto slopes = [&](double xs) {
    const XDerivatives d = s.at(xs);
    if (failed || !tangent_from(xs, d.g)) {
      failed = true;
      return 0.0;
    }
    return d.g1 - o.at(xo).g1;
  };
  // Within reach of the start, inside (0, 1), and on its own side of the middle of the tie line.
  double lo = std::max(xs0 - reach, 0.5 * xs0), hi = std::min(xs0 + reach, 0.5 * (1 + xs0));
  // Nor past the ends of the sharp phase's own range, where its energy is not defined.
  lo = std::max(lo, s.lo + kEdge);
  hi = std::min(hi, s.hi - kEdge);
  if (sharp_b) {
    lo = std::max(lo, 0.5 * (xo + xs0));
  } else {
    hi = std::min(hi, 0.5 * (xo + xs0));
  }
  double root = 0;
  if (!(lo < hi) || !numeric::BracketedRoot(slopes, lo, hi, root) || failed) return false;
  slopes(root);
  if (failed) return false;
  (sharp_b ? xb : xa) = root;
  (sharp_b ? xa : xb) = xo;
  return xa < xb;
}

}  // namespace calc
