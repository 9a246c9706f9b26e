#include "numeric/solve.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace numeric {

namespace {

// A Newton step under this many tolerances that shrank by less than kStallRatio against the
// step before is at the noise floor of the differences (see NewtonDone). Quadratic convergence
// shrinks a step far faster than by a factor 4, so a converging iteration never stops early;
// 1e4 tolerances (1e-8 of the distance to an end for the tie lines) keeps a wandering
// iteration far from the answer from passing.
constexpr double kStallSize = 1e4;
constexpr double kStallRatio = 0.25;
// Halvings of a step that leaves the admissible set before it is given up: 2^-60 of a step
// is below the rounding of any unknown.
constexpr int kMaxHalvings = 60;
// BracketedRoot's steps: a bisection every kBisectEvery-th step halves the bracket at least
// every four steps whatever the secant does (a secant end stuck on one side is what the
// Illinois halving frees), so kMaxBracketSteps hold 75 bisections, 2^-75 of the bracket: past
// the last bits of a root bracketed by two levels or two columns; the secant steps between
// them converge superlinearly and usually end the search long before.
constexpr int kMaxBracketSteps = 300;
constexpr int kBisectEvery = 4;
// GoldenMinimum's steps: each shrinks the bracket by 0.618, so 200 steps narrow any bracket
// by 1e-42, past the last bits of its ends.
constexpr int kMaxGoldenSteps = 200;
constexpr double kGolden = 0.6180339887498949;  // (sqrt(5) - 1) / 2

}  // namespace

bool SolveLinear(int n, double a[kMaxUnknowns][kMaxUnknowns], double b[kMaxUnknowns]) {
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r) {
      if (std::abs(a[r][c]) > std::abs(a[piv][c])) piv = r;
    }
    if (!(std::abs(a[piv][c]) > 0) || !std::isfinite(a[piv][c])) return false;
    if (piv != c) {
      for (int k = 0; k < n; ++k) std::swap(a[c][k], a[piv][k]);
      std::swap(b[c], b[piv]);
    }
    for (int r = c + 1; r < n; ++r) {
      const double m = a[r][c] / a[c][c];
      for (int k = c; k < n; ++k) a[r][k] -= m * a[c][k];
      b[r] -= m * b[c];
    }
  }
  for (int c = n - 1; c >= 0; --c) {
    double s = b[c];
    for (int k = c + 1; k < n; ++k) s -= a[c][k] * b[k];
    b[c] = s / a[c][c];
    if (!std::isfinite(b[c])) return false;
  }
  return true;
}

bool NewtonDone(double size, double last) {
  return size < 1 || (size < kStallSize && size > kStallRatio * last);
}

bool NewtonSystem(int n, const Residual& f, double* u, const double* steps, const double* tol,
                  const Admissible& ok) {
  double r[kMaxUnknowns], rp[kMaxUnknowns], a[kMaxUnknowns][kMaxUnknowns], du[kMaxUnknowns],
      trial[kMaxUnknowns];
  double last = std::numeric_limits<double>::infinity();
  for (int it = 0; it < kMaxNewtonSteps; ++it) {
    f(u, r);
    for (int j = 0; j < n; ++j) {
      std::copy(u, u + n, trial);
      trial[j] += steps[j];
      if (!ok(trial)) trial[j] = u[j] - steps[j];
      const double h = trial[j] - u[j];
      f(trial, rp);
      for (int i = 0; i < n; ++i) a[i][j] = (rp[i] - r[i]) / h;
    }
    for (int i = 0; i < n; ++i) du[i] = -r[i];
    if (!SolveLinear(n, a, du)) return false;
    double size = 0;  // the step in units of the tolerances
    for (int i = 0; i < n; ++i) size = std::max(size, std::abs(du[i]) / tol[i]);
    const bool small = NewtonDone(size, last);
    last = size;
    double scale = 1;
    for (int k = 0; k < kMaxHalvings; ++k, scale *= 0.5) {
      for (int i = 0; i < n; ++i) trial[i] = u[i] + scale * du[i];
      if (ok(trial)) break;
    }
    if (!ok(trial)) return false;
    std::copy(trial, trial + n, u);
    if (small) return true;
  }
  return false;
}

bool BracketedRoot(const std::function<double(double)>& f, double lo, double hi, double& root) {
  double flo = f(lo), fhi = f(hi);
  if (flo == 0) return root = lo, true;
  if (fhi == 0) return root = hi, true;
  if ((flo < 0) == (fhi < 0)) return false;
  int side = 0;
  for (int it = 0; it < kMaxBracketSteps; ++it) {
    double x = (lo * fhi - hi * flo) / (fhi - flo);
    if (!(x > lo && x < hi) || it % kBisectEvery == kBisectEvery - 1) x = 0.5 * (lo + hi);
    if (!(x > lo && x < hi)) break;  // no double left between lo and hi
    const double fx = f(x);
    if (fx == 0) return root = x, true;
    // Illinois: an end kept twice in a row has its value halved, so the secant moves it.
    if ((fx < 0) == (flo < 0)) {
      lo = x;
      flo = fx;
      if (side == -1) fhi *= 0.5;
      side = -1;
    } else {
      hi = x;
      fhi = fx;
      if (side == 1) flo *= 0.5;
      side = 1;
    }
  }
  root = std::abs(flo) < std::abs(fhi) ? lo : hi;
  return true;
}

double GoldenMinimum(const std::function<double(double)>& f, double a, double b, double width) {
  double c = b - kGolden * (b - a), d = a + kGolden * (b - a);
  double fc = f(c), fd = f(d);
  for (int i = 0; i < kMaxGoldenSteps && b - a > width; ++i) {
    if (fc < fd) {
      b = d, d = c, fd = fc;
      c = b - kGolden * (b - a), fc = f(c);
    } else {
      a = c, c = d, fc = fd;
      d = a + kGolden * (b - a), fd = f(d);
    }
  }
  return 0.5 * (a + b);
}

}  // namespace numeric
