#include "calc/path_solver.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "calc/engine.h"

namespace calc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// How far below its tangent line a phase may lie and still count as on it, as a fraction of
// the energies' size: they are good to about 1e-15 of it, the line's slope (from differences
// over a thousandth of the distance to the nearer end) to about 1e-12.
constexpr double kDepthTolerance = 1e-11;
// The temperature step of H and Cp: central differences of G along the path's assemblage.
// G of the equilibrium is stationary in the compositions, so their small errors do not enter;
// with G good to 1e-11 J/mol this leaves H good to about 1e-6 J/mol and Cp to about 1e-3
// J/(mol K), the differences' own error (h^2 G'''/6) far below both.
constexpr double kThermoStep = 0.01;
// The slope of one phase by the five-point stencil over kSlopeFraction of the distance to the
// nearer end, at most kLongestSlopeStep (see Slope); its curvature for the spinodal test over
// kCurvatureStep (or half the distance to the end): only its sign counts, and over 1e-4 the
// rounding (about 1e-16 |G| / h^2, 1e-4 J/mol for 1e4 J/mol) cannot turn it.
constexpr double kSlopeFraction = 1e-3;
constexpr double kLongestSlopeStep = 1e-3;
constexpr double kCurvatureStep = 1e-4;
// A path's composition at a compound's own (or a phase's lowest point at the state's X): the
// same to the last bits a composition is given to.
constexpr double kSameX = 1e-12;
// An amount counts as negative below -kNegativeAmount: the lever rule's rounding stays under
// it.
constexpr double kNegativeAmount = 1e-12;
// The size of the energies that kDepthTolerance is a part of is at least kSmallestEnergyScale
// J/mol, so that energies near zero (a reference state's own) do not make it vanish.
constexpr double kSmallestEnergyScale = 1000;
// Solve replaces a member by the phase lying lowest under the line at most kRepairRounds
// times before it gives the best assemblage found as approximate: each round mends one
// member, and a repair that needs more is taken to go round in circles.
constexpr int kRepairRounds = 8;
// Boundary halves the stretch at most kBoundaryHalvings times, down to kBoundaryWidth of the
// path variable: the last bits of a double.
constexpr int kBoundaryHalvings = 200;
constexpr double kBoundaryWidth = 1e-13;

bool AtEnd(double x) {
  return x <= 0 || x >= 1;
}

}  // namespace

bool Assemblage::SamePhases(const Assemblage& other) const {
  if (members.size() != other.members.size()) return false;
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].phase != other.members[i].phase) return false;
  }
  return true;
}

PathSolver::PathSolver(PhaseSheet& sheet) : sheet_(sheet) {
  // Where each phase is looked at for its lowest point under a line: evenly over 0..1, and
  // closer and closer towards the pure ends, where a dilute solution's minimum lies.
  samples_.push_back(0);
  for (double e : {1e-12, 1e-10, 1e-8, 1e-6, 1e-5, 1e-4, 1e-3, 3e-3}) samples_.push_back(e);
  for (int i = 1; i < 100; ++i) samples_.push_back(i / 100.0);
  for (double e : {3e-3, 1e-3, 1e-4, 1e-5, 1e-6, 1e-8, 1e-10, 1e-12}) samples_.push_back(1 - e);
  samples_.push_back(1);
}

double PathSolver::Sid(double x) {
  *sheet_.SidX() = x;
  return sheet_.sidParser().Value();
}

double PathSolver::G(int phase, double x, double T, double p) {
  *sheet_.SidP() = p;
  double g = kNaN;
  try {
    if (phase >= 0) {
      SolutionPhase& ph = sheet_.Phases[static_cast<size_t>(phase)];
      if (!ph.HasExpression()) return kNaN;
      g = ph.Energy(x, T, p, Sid(x));
    } else {
      PointPhase& pp = sheet_.PointPhases[static_cast<size_t>(-phase - 1)];
      if (!pp.HasExpression()) return kNaN;
      g = pp.Energy(T, p, Sid(pp.Composition));
    }
  } catch (const std::exception& e) {
    if (error_.empty()) {
      char at[64];
      std::snprintf(at, sizeof at, " at X = %.6g, T = %.6g K", x, T);
      error_ = std::string(e.what()) + " (phase " + Name(phase) + at + ")";
    }
    return kNaN;
  }
  return std::isfinite(g) && g < kNoEnergy ? g : kNaN;
}

std::string PathSolver::Name(int phase) const {
  if (phase >= 0) return sheet_.Phases[static_cast<size_t>(phase)].Name;
  return sheet_.Label(sheet_.PointPhases[static_cast<size_t>(-phase - 1)].Text);
}

double PathSolver::PointX(int phase) const {
  return sheet_.PointPhases[static_cast<size_t>(-phase - 1)].Composition;
}

namespace {

// The slope of f at x by the five-point stencil, the step a thousandth of the distance to the
// nearer end (so the ideal mixing term's x ln x is resolved near the ends too).
template <typename F>
double Slope(F f, double x) {
  const double h = std::min(kLongestSlopeStep, kSlopeFraction * std::min(x, 1 - x));
  return (-f(x + 2 * h) + 8 * f(x + h) - 8 * f(x - h) + f(x - 2 * h)) / (12 * h);
}

}  // namespace

bool PathSolver::Continue(Assemblage& a, const PathState& s) {
  a.solved = false;
  if (a.members.empty() || a.members.size() > 2) return false;
  if (a.members.size() == 1) {
    Member& m = a.members[0];
    if (m.phase < 0) {
      // A compound alone: only at its own composition, and only while it lies on the hull;
      // the sampled hull decides that, and gives the tangent as the mean of its neighbours'.
      if (std::abs(s.x - PointX(m.phase)) > kSameX) return false;
      const Equilibrium eq = SolveEquilibrium(sheet_, s.T, s.p, s.x);
      if (!eq.Error.empty() || eq.Phases.size() != 1 || eq.Phases[0].Index != m.phase) {
        if (error_.empty()) error_ = eq.Error;
        return false;
      }
      m.x = PointX(m.phase);
      a.MuA = eq.MuA;
      a.MuB = eq.MuB;
    } else {
      m.x = s.x;
      const double g = G(m.phase, s.x, s.T, s.p);
      if (std::isnan(g)) return false;
      if (AtEnd(s.x)) {
        // A pure component: only its own potential is defined by this phase.
        a.MuA = a.MuB = g;
      } else {
        auto f = [&](double x) { return G(m.phase, x, s.T, s.p); };
        const double slope = Slope(f, s.x);
        if (!std::isfinite(slope)) return false;
        // Inside a spinodal the phase is not stable at this composition on its own.
        const double h = std::min(kCurvatureStep, 0.5 * std::min(s.x, 1 - s.x));
        if (!(f(s.x + h) - 2 * g + f(s.x - h) > 0)) return false;
        a.MuA = g - slope * s.x;
        a.MuB = a.MuA + slope;
      }
    }
    a.amounts = {1.0};
    a.solved = true;
    return true;
  }
  Member& lo = a.members[0];
  Member& hi = a.members[1];
  if (lo.phase < 0) lo.x = PointX(lo.phase);
  if (hi.phase < 0) hi.x = PointX(hi.phase);
  double xa = lo.x, xb = hi.x;
  if (!(xa < xb)) return false;
  if (!(lo.phase < 0 && hi.phase < 0) &&
      !SolveCommonTangent(sheet_, s.T, s.p, lo.phase, xa, hi.phase, xb)) {
    return false;
  }
  const double ga = G(lo.phase, xa, s.T, s.p), gb = G(hi.phase, xb, s.T, s.p);
  if (std::isnan(ga) || std::isnan(gb)) return false;
  lo.x = xa;
  hi.x = xb;
  const double slope = (gb - ga) / (xb - xa);
  a.MuA = ga - slope * xa;
  a.MuB = a.MuA + slope;
  const double nB = (s.x - xa) / (xb - xa);
  a.amounts = {1 - nB, nB};
  a.solved = true;
  return true;
}

double PathSolver::Depth(int phase, const Assemblage& a, double T, double p, double* at) {
  const double slope = a.MuB - a.MuA;
  auto below = [&](double x) {
    const double g = G(phase, x, T, p);
    return std::isnan(g) ? kInf : g - (a.MuA + slope * x);
  };
  if (phase < 0) {
    for (const Member& m : a.members) {
      if (m.phase == phase) return kInf;
    }
    *at = PointX(phase);
    return below(*at);
  }
  // The member compositions of this phase: its own tangent points, at depth zero.
  std::vector<double> own;
  for (const Member& m : a.members) {
    if (m.phase == phase) own.push_back(m.x);
  }
  const size_t n = samples_.size();
  std::vector<double> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = below(samples_[i]);
  double best = kInf;
  *at = kNaN;
  for (size_t i = 0; i < n; ++i) {
    if (std::isinf(d[i])) continue;
    const double left = i > 0 ? d[i - 1] : kInf, right = i + 1 < n ? d[i + 1] : kInf;
    if (d[i] > left || d[i] > right) continue;
    // A basin around one of the phase's own tangent points is that point's.
    const double from = samples_[i >= 2 ? i - 2 : 0], to = samples_[std::min(i + 2, n - 1)];
    if (std::any_of(own.begin(), own.end(), [&](double x) { return x >= from && x <= to; }))
      continue;
    double value = d[i], where = samples_[i];
    // How deep the basin may go between the samples: a few (kBasinRises) times what its sides
    // rise, and kBasinDepth J/mol; one that could reach below the line is searched.
    constexpr double kBasinRises = 4, kBasinDepth = 1;
    const double rise =
        std::max(std::isinf(left) ? 0 : left - d[i], std::isinf(right) ? 0 : right - d[i]);
    if (d[i] < kBasinRises * rise + kBasinDepth && i > 0 && i + 1 < n) {
      // Golden-section search between the neighbouring samples, at most kBasinSteps steps
      // (0.618^40, 4e-9 of the stretch) or down to kBasinWidth in X.
      constexpr double kGolden = 0.6180339887498949;
      constexpr int kBasinSteps = 40;
      constexpr double kBasinWidth = 1e-13;
      double lo = samples_[i - 1], hi = samples_[i + 1];
      double x1 = hi - kGolden * (hi - lo), x2 = lo + kGolden * (hi - lo);
      double f1 = below(x1), f2 = below(x2);
      for (int it = 0; it < kBasinSteps && hi - lo > kBasinWidth; ++it) {
        if (f1 <= f2) {
          hi = x2;
          x2 = x1;
          f2 = f1;
          x1 = hi - kGolden * (hi - lo);
          f1 = below(x1);
        } else {
          lo = x1;
          x1 = x2;
          f1 = f2;
          x2 = lo + kGolden * (hi - lo);
          f2 = below(x2);
        }
      }
      if (f1 < value) value = f1, where = x1;
      if (f2 < value) value = f2, where = x2;
    }
    if (value < best) {
      best = value;
      *at = where;
    }
  }
  return best;
}

bool PathSolver::Stable(const Assemblage& a, const PathState& s, bool amounts, Member* worst) {
  if (worst) *worst = {kNoPhase, 0};
  if (!a.solved) return false;
  if (amounts) {
    for (double n : a.amounts) {
      if (n < -kNegativeAmount) return false;
    }
  }
  const int solutions = static_cast<int>(sheet_.Phases.size());
  const int points = static_cast<int>(sheet_.PointPhases.size());
  if (a.members.size() == 1 && a.members[0].phase < 0) return true;  // decided by Continue
  if (a.members.size() == 1 && AtEnd(s.x)) {
    // A pure component: the lowest phase there.
    const double g = G(a.members[0].phase, s.x, s.T, s.p);
    const double tolerance = kDepthTolerance * std::max(kSmallestEnergyScale, std::abs(g));
    bool stable = true;
    for (int k = -points; k < solutions; ++k) {
      if (k == a.members[0].phase || (k < 0 && PointX(k) != s.x)) continue;
      const double other = G(k, s.x, s.T, s.p);
      if (other < g - tolerance) {
        stable = false;
        if (worst) *worst = {k, s.x};
      }
    }
    return stable;
  }
  const double tolerance =
      kDepthTolerance * std::max({kSmallestEnergyScale, std::abs(a.MuA), std::abs(a.MuB)});
  double deepest = -tolerance;
  bool stable = true;
  for (int k = -points; k < solutions; ++k) {
    double at = 0;
    const double depth = Depth(k, a, s.T, s.p, &at);
    if (depth < deepest) {
      stable = false;
      deepest = depth;
      if (worst) *worst = {k, at};
      if (!worst) return false;
    }
  }
  return stable;
}

Assemblage PathSolver::Solve(const PathState& s, bool* approximate) {
  *approximate = false;
  Assemblage a;
  const Equilibrium eq = SolveEquilibrium(sheet_, s.T, s.p, s.x);
  if (!eq.Error.empty()) {
    if (error_.empty()) error_ = eq.Error;
    return a;
  }
  for (const EquilibriumPhase& ph : eq.Phases) a.members.push_back({ph.Index, ph.X});
  const Assemblage first = a;
  Continue(a, s);
  // The sampled hull can miss a phase that dips below it between two samples, or pick a pair
  // whose tangent another phase undercuts: the phase lying lowest under the line replaces the
  // member on its side, until none does.
  for (int round = 0; round < kRepairRounds; ++round) {
    Member worst;
    if (Stable(a, s, true, &worst)) return a;
    if (!a.solved || worst.phase == kNoPhase) break;
    Assemblage next;
    if (worst.phase < 0 && std::abs(worst.x - s.x) < kSameX) {
      next.members = {worst};
    } else if (a.members.size() == 1) {
      const Member m{a.members[0].phase, s.x};
      next.members = worst.x < s.x ? std::vector<Member>{worst, m} : std::vector<Member>{m, worst};
    } else if (worst.x < s.x) {
      next.members = {worst, a.members[1]};
    } else {
      next.members = {a.members[0], worst};
    }
    if (!Continue(next, s)) break;
    a = next;
  }
  *approximate = true;
  if (!a.solved) {
    a = first;
    Continue(a, s);
    if (!a.solved) {
      // The hull's own answer, as the point inspection gives it.
      a.MuA = eq.MuA;
      a.MuB = eq.MuB;
      a.amounts.clear();
      for (const EquilibriumPhase& ph : eq.Phases) a.amounts.push_back(ph.Amount);
      a.solved = true;
    }
  }
  return a;
}

bool PathSolver::Boundary(const std::function<PathState(double)>& state, Assemblage& a, double from,
                          double to, bool amounts, double& lo, double& hi) {
  Assemblage probe = a;
  if (Continue(probe, state(to)) && Stable(probe, state(to), amounts)) return false;
  lo = from;
  hi = to;
  const double scale = std::max(std::abs(from), std::abs(to));
  for (int it = 0; it < kBoundaryHalvings; ++it) {
    const double mid = 0.5 * (lo + hi);
    if (mid == lo || mid == hi || std::abs(hi - lo) <= kBoundaryWidth * scale) break;
    Assemblage t = a;
    if (Continue(t, state(mid)) && Stable(t, state(mid), amounts)) {
      lo = mid;
      a = t;
    } else {
      hi = mid;
    }
  }
  Assemblage t = a;
  if (Continue(t, state(lo))) a = t;
  return true;
}

std::vector<EquilibriumPhase> PathSolver::Phases(const Assemblage& a, const PathState& s) {
  std::vector<EquilibriumPhase> out;
  for (size_t i = 0; i < a.members.size(); ++i) {
    const Member& m = a.members[i];
    out.push_back({Name(m.phase), m.phase < 0, m.x, i < a.amounts.size() ? a.amounts[i] : kNaN,
                   G(m.phase, m.x, s.T, s.p), m.phase});
  }
  return out;
}

void PathSolver::Thermo(const Assemblage& a, const PathState& s, double& g, double& h, double& cp) {
  auto energy = [&](double T) {
    if (a.members.size() == 1) return G(a.members[0].phase, a.members[0].x, T, s.p);
    Assemblage b = a;
    PathState t = s;
    t.T = T;
    if (!Continue(b, t)) return kNaN;
    return b.MuA * (1 - s.x) + b.MuB * s.x;
  };
  g = a.members.size() == 1 ? G(a.members[0].phase, a.members[0].x, s.T, s.p)
                            : a.MuA * (1 - s.x) + a.MuB * s.x;
  h = cp = kNaN;
  const double step = kThermoStep;
  if (!(s.T - step > 0) || std::isnan(g)) return;
  const double up = energy(s.T + step), down = energy(s.T - step);
  if (std::isnan(up) || std::isnan(down)) return;
  h = g - s.T * (up - down) / (2 * step);
  cp = -s.T * (up - 2 * g + down) / (step * step);
}

double PathSolver::GasConstant() {
  // R from Sid at X = 0.5; the form checked at a second composition, to 1e-9 (the rounding of
  // the logarithms is far below, a different entropy far above).
  constexpr double kCheckX = 0.2, kSameForm = 1e-9;
  const double r = Sid(0.5) / std::log(2.0);
  const double x = kCheckX;
  const double ideal = -r * (x * std::log(x) + (1 - x) * std::log(1 - x));
  if (std::isfinite(r) && r > 0 && std::abs(Sid(x) - ideal) <= kSameForm * ideal) return r;
  return kGasConstant;
}

double PathSolver::PureEnergy(bool atB, const std::string& name, double T, double p) {
  const double x = atB ? 1 : 0;
  double best = kNaN;
  const int solutions = static_cast<int>(sheet_.Phases.size());
  const int points = static_cast<int>(sheet_.PointPhases.size());
  for (int k = -points; k < solutions; ++k) {
    if (k < 0 && PointX(k) != x) continue;
    if (!name.empty() && Name(k) != name) continue;
    const double g = G(k, x, T, p);
    if (!std::isnan(g) && (std::isnan(best) || g < best)) best = g;
  }
  return best;
}

}  // namespace calc
