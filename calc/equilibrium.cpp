#include "calc/equilibrium.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <string>

#include "calc/engine.h"
#include "calc/tangent.h"
#include "numeric/vector_state.h"

namespace calc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The steps of the differences in X (each also at most half the distance to the nearer end):
// - kPotentialStep, of the slope that gives the chemical potentials of one phase: near the
//   step where a central difference's truncation error (h^2 G'''/6) and its rounding error
//   (about 1e-16 |G| / h, 1e-6 J/mol for 1e4 J/mol) are alike away from the ends;
// - kTangentSlopeStep, of the slope of a common tangent, as a part of the distance to the
//   nearer end (see Energies::TangentSlope), and at most kLongestSlopeStep;
// - kCurvatureStep, of G'' in the Newton steps of the tangent: it sets how fast they converge,
//   not the tangent they converge to, and over 1e-4 its rounding error (about 1e-16 |G| / h^2,
//   1e-4 J/mol for 1e4 J/mol) stays small beside the curvature of a mixing energy (of the
//   order of RT, 1e4 J/mol).
constexpr double kPotentialStep = 1e-6;
constexpr double kTangentSlopeStep = 3e-3;
constexpr double kLongestSlopeStep = 1e-3;
constexpr double kCurvatureStep = 1e-4;

// Where the slope of one phase gives the potentials at a pure end, where it is infinite with
// ideal mixing: a hull vertex at the end is looked at kHullEndInside inside, an asked X at the
// end kAskedEndInside inside (both finite slopes, RT ln 1e-9 and RT ln 1e-12 from the end's
// energy; the potential of the other component is then set apart, see SolveEquilibrium).
constexpr double kHullEndInside = 1e-9;
constexpr double kAskedEndInside = 1e-12;
// Two hull vertices of one phase closer than kNeighbours sample steps are neighbouring
// samples: one step apart, not two (a sample left out between them is a stretch where the
// phase is not on the hull).
constexpr double kNeighbours = 1.5;
// How far from its start the end of a tie line is bracketed (SolveTangent): two sample steps of
// the default hull (201 samples), the least the hull can be off by at a kink.
constexpr double kBracketReach = 0.01;

// Energies of the sheet's phases at one level.
class Energies {
 public:
  Energies(PhaseSheet& sheet, double T, double p) : sheet_(sheet), T_(T), p_(p) {
    *sheet_.SidP() = p;
  }

  // Solution phase k at x; NaN where it has none.
  double Solution(size_t k, double x) {
    SolutionPhase& ph = sheet_.Phases[k];
    try {
      const double g = ph.Energy(x, T_, p_, Sid(x));
      return std::isfinite(g) && g < kNoEnergy ? g : kNaN;
    } catch (const std::exception& e) {
      Failed(e, ph.Name, x);
      return kNaN;
    }
  }

  // G with its first two X derivatives of solution phase k at 0 < x < 1: solved from the
  // minimum for a phase on sublattices, seven-point differences of Solution otherwise.
  XDerivatives At(size_t k, double x) {
    XDerivatives d;
    if (sheet_.Phases[k].EnergyDerivatives(x, T_, p_, d.g, d.g1, d.g2)) return d;
    return DerivativesInX([&](double v) { return Solution(k, v); }, x);
  }
  bool OnSublattices(size_t k) const { return sheet_.Phases[k].Model != nullptr; }
  const SolutionPhase& Phase(size_t k) const { return sheet_.Phases[k]; }

  // The first evaluator error met, with its phase and X ("Floating point overflow (phase S
  // at X = 0.5)"); empty while there was none.
  const std::string& Error() const { return error_; }

  double Point(size_t j) {
    PointPhase& pp = sheet_.PointPhases[j];
    try {
      const double g = pp.Energy(T_, p_, Sid(pp.Composition));
      return std::isfinite(g) && g < kNoEnergy ? g : kNaN;
    } catch (const std::exception& e) {
      Failed(e, sheet_.Label(pp.Text), pp.Composition);
      return kNaN;
    }
  }

  // First and second derivative of solution phase k at x (central differences kept inside
  // 0..1).
  double D1(size_t k, double x) {
    const double h = std::min({kPotentialStep, 0.5 * x, 0.5 * (1 - x)});
    return (Solution(k, x + h) - Solution(k, x - h)) / (2 * h);
  }
  // The slope for a common tangent: the five-point stencil over a small fraction of the
  // distance to the nearer end, where the ideal mixing term's scale is. Its rounding error,
  // about 3e-16 |G| / h, stays near 1e-8 J/mol for the absolute energies of an assessed
  // system (1e4 to 1e5 J/mol), its truncation error (about 0.2 RT (h / x)^4) below that, so
  // the tangent converges to 1e-12 in X. (D1 over 1e-6 left such a tangent wandering by 1e-9,
  // and every two-phase answer of an imported system was marked approximate.)
  double TangentSlope(size_t k, double x) {
    const double h = std::min(kLongestSlopeStep, kTangentSlopeStep * std::min(x, 1 - x));
    return (Solution(k, x - 2 * h) - 8 * Solution(k, x - h) + 8 * Solution(k, x + h) -
            Solution(k, x + 2 * h)) /
           (12 * h);
  }
  double D2(size_t k, double x) {
    const double h = std::min({kCurvatureStep, 0.5 * x, 0.5 * (1 - x)});
    return (Solution(k, x + h) - 2 * Solution(k, x) + Solution(k, x - h)) / (h * h);
  }

 private:
  void Failed(const std::exception& e, const std::string& phase, double x) {
    if (!error_.empty()) return;
    char at[32];
    std::snprintf(at, sizeof at, "%.6g", x);
    error_ = std::string(e.what()) + " (phase " + phase + " at X = " + at + ")";
  }
  double Sid(double x) {
    *sheet_.SidX() = x;
    return sheet_.sidParser().Value();
  }

  PhaseSheet& sheet_;
  double T_, p_;
  std::string error_;
};

struct Vertex {
  double x, g;
  int phase;  // solution phase index, or -(point phase index) - 1
};

double Cross(const Vertex& o, const Vertex& a, const Vertex& b) {
  return (a.x - o.x) * (b.g - o.g) - (a.g - o.g) * (b.x - o.x);
}

// One end of a two-phase tie line while it is solved.
struct End {
  int phase;
  double x;
  bool fixed() const { return phase < 0; }
};

// Solves the common tangent of a and b from their hull ends (TieLineRule::Damped, with the
// slopes of TangentSlope and the curvatures of D2). Where that fails and a phase on
// sublattices takes part, from the start again by TieLineRule::Halved with the derivatives of
// Energies::At, then (both ends moving) by SolveTieLineBracketed within `reach` of the start:
// the damped steps wander across the kink of a nearly stoichiometric phase (Cu2Mg at 700 K).
// False when it does not converge to a tangent with a.x < b.x.
bool SolveTangent(Energies& e, End& a, End& b, const std::vector<double>& pointG,
                  double reach = kBracketReach) {
  auto end = [&](const End& en) {
    TangentEnd t;
    t.fixed = en.fixed();
    if (t.fixed) {
      const double g = pointG[static_cast<size_t>(-en.phase - 1)];
      t.nth = [g](int, double) { return g; };
    } else {
      const size_t k = static_cast<size_t>(en.phase);
      t.lo = e.Phase(k).XMin();
      t.hi = e.Phase(k).XMax();
      t.nth = [&e, k](int n, double x) {
        return n == 0 ? e.Solution(k, x) : n == 1 ? e.TangentSlope(k, x) : e.D2(k, x);
      };
    }
    return t;
  };
  const double a0 = a.x, b0 = b.x;
  if (SolveTieLine(end(a), end(b), a.x, b.x, TieLineRule::Damped)) return true;
  auto sublattices = [&](const End& en) {
    return !en.fixed() && e.OnSublattices(static_cast<size_t>(en.phase));
  };
  // Sheets of expressions keep the answers they always had.
  if (!sublattices(a) && !sublattices(b)) return false;
  auto solved = [&](const End& en) {
    TangentEnd t = end(en);
    if (t.fixed) {
      const double g = pointG[static_cast<size_t>(-en.phase - 1)];
      t.at = [g](double) { return XDerivatives{g}; };
    } else {
      const size_t k = static_cast<size_t>(en.phase);
      t.at = [&e, k](double x) { return e.At(k, x); };
    }
    return t;
  };
  try {
    a.x = a0;
    b.x = b0;
    if (SolveTieLine(solved(a), solved(b), a.x, b.x)) return true;
    if (a.fixed() || b.fixed()) return false;
    a.x = a0;
    b.x = b0;
    return SolveTieLineBracketed(solved(a), solved(b), a.x, b.x, reach);
  } catch (const std::exception&) {
    return false;
  }
}

// Whether the slope of solution phase k runs off to infinity at the end X = 0 (`atB` false) or
// X = 1, as an energy with ideal mixing does (RT ln X): its slope then changes by the same
// amount, RT ln 1000, over every thousandfold step towards the end, where a smooth energy's
// slope settles (it changes a thousand times less over the next step).
// (The slope is looked at 1e-6, 1e-9 and 1e-12 from the end; it runs off when it changes by
// more than kRunsOff J/mol over the first step, a change no smooth energy makes so near the
// end, and by at least kKeepsRunning of that over the second, where RT ln 1000 repeats.)
bool SlopeRunsOff(Energies& e, size_t k, bool atB) {
  constexpr double kRunsOff = 1, kKeepsRunning = 0.5;
  double s[3];
  const double from[3] = {1e-6, 1e-9, 1e-12};
  for (int i = 0; i < 3; ++i) s[i] = atB ? -e.D1(k, 1 - from[i]) : e.D1(k, from[i]);
  const double d1 = s[0] - s[1], d2 = s[1] - s[2];
  return std::isfinite(d1) && std::isfinite(d2) && d1 > kRunsOff && d2 > kKeepsRunning * d1;
}

Equilibrium Solve(PhaseSheet& sheet, double T, double p, double x, int samples);

}  // namespace

Equilibrium SolveEquilibrium(PhaseSheet& sheet, double T, double p, double x, int samples) {
  numeric::ClearUpperVectorState();
  Equilibrium eq = Solve(sheet, T, p, x, samples);
  // One solution phase at a pure component: the other component's chemical potential is -inf
  // there when the energy falls off as log X, not the value of the tangent a step inside.
  if (eq.Phases.size() == 1 && !eq.Phases[0].PointPhase && (eq.X == 0 || eq.X == 1)) {
    Energies e(sheet, T, p);
    for (size_t k = 0; k < sheet.Phases.size(); ++k) {
      if (sheet.Phases[k].Name != eq.Phases[0].Name || !sheet.Phases[k].HasExpression()) continue;
      if (SlopeRunsOff(e, k, eq.X == 1))
        (eq.X == 0 ? eq.MuB : eq.MuA) = -std::numeric_limits<double>::infinity();
      break;
    }
  }
  return eq;
}

bool SolveCommonTangent(PhaseSheet& sheet, double T, double p, int phaseA, double& xa, int phaseB,
                        double& xb) {
  Energies e(sheet, T, p);
  std::vector<double> pointG(sheet.PointPhases.size(), kNaN);
  for (const int phase : {phaseA, phaseB}) {
    if (phase < 0)
      pointG[static_cast<size_t>(-phase - 1)] = e.Point(static_cast<size_t>(-phase - 1));
  }
  End a{phaseA, xa}, b{phaseB, xb};
  const bool solved = xa < xb && SolveTangent(e, a, b, pointG) && e.Error().empty();
  xa = a.x;
  xb = b.x;
  return solved;
}

namespace {

Equilibrium Solve(PhaseSheet& sheet, double T, double p, double x, int samples) {
  Equilibrium eq;
  eq.T = T;
  eq.p = p;
  eq.X = x = std::clamp(std::isfinite(x) ? x : 0.0, 0.0, 1.0);
  samples = std::max(samples, 3);
  Energies e(sheet, T, p);
  const double step = 1.0 / (samples - 1);

  std::vector<Vertex> points;
  for (size_t k = 0; k < sheet.Phases.size(); ++k) {
    if (!sheet.Phases[k].HasExpression()) continue;
    PhaseCurve curve{sheet.Phases[k].Name, false, {}, {}, static_cast<int>(k)};
    for (int i = 0; i < samples; ++i) {
      const double xi = i == samples - 1 ? 1.0 : i * step;
      const double g = e.Solution(k, xi);
      if (std::isnan(g)) continue;
      curve.X.push_back(xi);
      curve.G.push_back(g);
      points.push_back({xi, g, static_cast<int>(k)});
    }
    eq.Curves.push_back(std::move(curve));
  }
  std::vector<double> pointG(sheet.PointPhases.size(), kNaN);
  for (size_t j = 0; j < sheet.PointPhases.size(); ++j) {
    if (!sheet.PointPhases[j].HasExpression()) continue;
    pointG[j] = e.Point(j);
    if (std::isnan(pointG[j])) continue;
    const double xp = sheet.PointPhases[j].Composition;
    eq.Curves.push_back({sheet.Label(sheet.PointPhases[j].Text),
                         true,
                         {xp},
                         {pointG[j]},
                         -static_cast<int>(j) - 1});
    points.push_back({xp, pointG[j], -static_cast<int>(j) - 1});
  }
  // An evaluator error at a sample (an overflow at a huge T, say) ends the answer as it ends a
  // sweep: the hull of the samples that are left would be a wrong one.
  if (!e.Error().empty()) {
    eq.Error = e.Error();
    return eq;
  }
  if (points.empty()) {
    eq.Error = "no phase has a Gibbs energy at this level";
    return eq;
  }

  // Lower hull (monotone chain) of the lowest point at each X.
  std::sort(points.begin(), points.end(), [](const Vertex& a, const Vertex& b) {
    return a.x < b.x || (a.x == b.x && a.g < b.g);
  });
  std::vector<Vertex> hull;
  for (const Vertex& v : points) {
    if (!hull.empty() && hull.back().x == v.x) continue;
    while (hull.size() >= 2 && Cross(hull[hull.size() - 2], hull.back(), v) <= 0) hull.pop_back();
    hull.push_back(v);
  }
  for (const Vertex& v : hull) {
    eq.HullX.push_back(v.x);
    eq.HullG.push_back(v.g);
  }

  auto name = [&](int phase) {
    return phase >= 0 ? sheet.Phases[static_cast<size_t>(phase)].Name
                      : sheet.Label(sheet.PointPhases[static_cast<size_t>(-phase - 1)].Text);
  };
  auto onePhase = [&](int phase, double at, double g, double slope) {
    eq.Phases = {{name(phase), phase < 0, at, 1.0, g, phase}};
    eq.G = g;
    eq.MuA = g - at * slope;
    eq.MuB = eq.MuA + slope;
  };

  // The hull edge over x (x outside the hull's range: its nearest end).
  if (x <= hull.front().x || hull.size() == 1) {
    const Vertex& v = hull.front();
    const double slope = hull.size() > 1 ? (hull[1].g - v.g) / (hull[1].x - v.x) : 0;
    onePhase(
        v.phase, v.x, v.g,
        v.phase >= 0 ? e.D1(static_cast<size_t>(v.phase), std::max(v.x, kHullEndInside)) : slope);
    if (hull.size() == 1 || x < v.x) eq.Approximate = x < v.x;
    return eq;
  }
  size_t j = 0;
  while (j + 2 < hull.size() && hull[j + 1].x < x) ++j;
  if (x >= hull.back().x) j = hull.size() - 2;
  const Vertex& lo = hull[j];
  const Vertex& hi = hull[j + 1];
  const double chordSlope = (hi.g - lo.g) / (hi.x - lo.x);

  // Between two neighbouring samples of one phase: the one-phase field of that phase.
  if (lo.phase == hi.phase && lo.phase >= 0 && hi.x - lo.x < kNeighbours * step) {
    const size_t k = static_cast<size_t>(lo.phase);
    const double at = std::clamp(x, kAskedEndInside, 1 - kAskedEndInside);
    const double g = e.Solution(k, x);
    onePhase(lo.phase, x, std::isnan(g) ? lo.g + chordSlope * (x - lo.x) : g, e.D1(k, at));
    return eq;
  }
  // At a point phase's own composition.
  if ((x == lo.x && lo.phase < 0) || (x == hi.x && hi.phase < 0)) {
    const Vertex& v = x == lo.x ? lo : hi;
    const size_t at = x == lo.x ? j : j + 1;
    const double left =
        at > 0 ? (hull[at].g - hull[at - 1].g) / (hull[at].x - hull[at - 1].x) : chordSlope;
    const double right = at + 1 < hull.size()
                             ? (hull[at + 1].g - hull[at].g) / (hull[at + 1].x - hull[at].x)
                             : chordSlope;
    onePhase(v.phase, v.x, v.g, (left + right) / 2);
    return eq;
  }

  End a{lo.phase, lo.x}, b{hi.phase, hi.x};
  if (!SolveTangent(e, a, b, pointG, std::max(kBracketReach, 2 * step))) {
    a = {lo.phase, lo.x};
    b = {hi.phase, hi.x};
    eq.Approximate = true;
  }
  auto G = [&](const End& end) {
    return end.fixed() ? pointG[static_cast<size_t>(-end.phase - 1)]
                       : e.Solution(static_cast<size_t>(end.phase), end.x);
  };
  const double ga = G(a), gb = G(b);
  const double slope = (gb - ga) / (b.x - a.x);
  // The solved tie line may end short of x: x then lies in the one-phase field beside it.
  if (x <= a.x || x >= b.x) {
    const End& end = x <= a.x ? a : b;
    const double g = end.fixed() ? G(end) : e.Solution(static_cast<size_t>(end.phase), x);
    onePhase(end.phase, end.fixed() ? end.x : x, g,
             end.fixed() ? slope
                         : e.D1(static_cast<size_t>(end.phase),
                                std::clamp(x, kAskedEndInside, 1 - kAskedEndInside)));
    return eq;
  }
  const double amountB = (x - a.x) / (b.x - a.x);
  eq.Phases = {{name(a.phase), a.fixed(), a.x, 1 - amountB, ga, a.phase},
               {name(b.phase), b.fixed(), b.x, amountB, gb, b.phase}};
  eq.MuA = ga - a.x * slope;
  eq.MuB = eq.MuA + slope;
  eq.G = eq.MuA * (1 - x) + eq.MuB * x;
  return eq;
}

}  // namespace

}  // namespace calc
