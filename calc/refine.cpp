#include "calc/refine.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/point_finder.h"
#include "calc/tangent.h"
#include "numeric/solve.h"
#include "numeric/vector_state.h"

namespace calc {

namespace {

// A phase of the sheet: a solution phase by its index in Phases, or a point phase by its
// index in PointPhases.
struct PhaseId {
  int solution = -1;
  int point = -1;
  bool Valid() const { return solution >= 0 || point >= 0; }
  bool IsPoint() const { return point >= 0; }
  bool operator==(const PhaseId&) const = default;
};

// The Gibbs energies of the sheet's phases at any (X, Y), evaluated exactly as the level step
// evaluates them (the entropy evaluator at X, the swept variable Y, the other one fixed).
class Energies {
 public:
  Energies(PhaseSheet& sheet, const SweepState& st) : sheet_(sheet), st_(st) {}

  double G(PhaseId id, double x, double y) {
    if (id.IsPoint()) {
      PointPhase& pp = sheet_.PointPhases[static_cast<size_t>(id.point)];
      *sheet_.SidX() = pp.Composition;
      const double sid = sheet_.sidParser().Value();
      return pp.Energy(TAt(y), PAt(y), sid);
    }
    SolutionPhase& ph = sheet_.Phases[static_cast<size_t>(id.solution)];
    *sheet_.SidX() = x;
    const double sid = sheet_.sidParser().Value();
    return ph.Energy(x, TAt(y), PAt(y), sid);
  }

  // G and its X derivatives of a solution phase at 0 < x < 1. A phase on sublattices gives G'
  // and G'' from its minimum (one minimisation for the seven of the differences); G''' is
  // differenced when `third` asks for it.
  XDerivatives D(PhaseId id, double x, double y, bool third = false) {
    if (!third && !id.IsPoint()) {
      SolutionPhase& ph = sheet_.Phases[static_cast<size_t>(id.solution)];
      XDerivatives d;
      if (ph.EnergyDerivatives(x, TAt(y), PAt(y), d.g, d.g1, d.g2)) return d;
    }
    return DerivativesInX([&](double v) { return G(id, v, y); }, x);
  }

  double Composition(PhaseId id) const {
    return sheet_.PointPhases[static_cast<size_t>(id.point)].Composition;
  }
  // The solution phase's name; a point phase's line key, or its composition text for a line GC
  // (several point phases may share a composition, never a key).
  std::string Name(PhaseId id) const {
    if (id.IsPoint()) {
      const PointPhase& pp = sheet_.PointPhases[static_cast<size_t>(id.point)];
      return pp.Name.empty() || pp.Name == "C" ? pp.Text : pp.Name;
    }
    if (id.solution >= 0) return sheet_.Phases[static_cast<size_t>(id.solution)].Name;
    return std::string();
  }
  // The name as a reaction shows it: a point phase by its line's key without the G and its
  // composition, C(0.5) for a line GC.
  std::string Shown(PhaseId id) const {
    if (!id.IsPoint()) return Name(id);
    const std::string& key = sheet_.PointPhases[static_cast<size_t>(id.point)].Name;
    return (key.empty() ? std::string("C") : key) + "(" +
           sheet_.PointPhases[static_cast<size_t>(id.point)].Text + ")";
  }
  // Liquids and vapours (names beginning with L or V); point phases are solids.
  bool Fluid(PhaseId id) const {
    if (id.IsPoint() || id.solution < 0) return false;
    // L, V and their numbered or primed forms (L1, V'), and the liquids and gases of the
    // databases (LIQUID, IONIC_LIQ, GAS, VAPOUR); not every name that begins with L or V
    // (LAVES_C15 is a solid).
    const std::string n = Name(id);
    if (n.empty()) return false;
    for (const char* word : {"LIQ", "GAS", "VAP"})
      if (n.find(word) != std::string::npos) return true;
    return (n[0] == 'L' || n[0] == 'V') &&
           std::none_of(n.begin() + 1, n.end(), [](char c) { return std::isalpha(c & 0xFF); });
  }

  // The phase of the sheet that phase `k` of the run's results is (the results list the
  // solution phases, then the point phases, of the sheet that made them); none for kNoRunPhase or
  // a phase without an expression.
  PhaseId Of(PhaseIndex k) const {
    const int solutions = static_cast<int>(sheet_.Phases.size());
    if (k < 0) return {};
    if (k < solutions) {
      return sheet_.Phases[static_cast<size_t>(k)].HasExpression() ? PhaseId{k, -1} : PhaseId{};
    }
    const size_t j = static_cast<size_t>(k - solutions);
    if (j >= sheet_.PointPhases.size() || !sheet_.PointPhases[j].HasExpression()) return {};
    return PhaseId{-1, static_cast<int>(j)};
  }
  // The run's index of a phase of the sheet.
  PhaseIndex IndexOf(PhaseId id) const {
    if (id.IsPoint()) return static_cast<PhaseIndex>(sheet_.Phases.size()) + id.point;
    return id.solution >= 0 ? id.solution : kNoRunPhase;
  }

 private:
  double TAt(double y) const { return st_.Yparameter == YParameter::Temperature ? y : st_.T; }
  double PAt(double y) const { return st_.Yparameter == YParameter::Temperature ? st_.p : y; }

  PhaseSheet& sheet_;
  const SweepState& st_;
};

// Steps and tolerances of the refinement's solves. X is measured in parts of the distance to
// the nearer pure end (the length scale of the ideal mixing term, as in calc/tangent.cpp), Y in
// parts of the level step or of the level itself.
//
// Forward-difference steps of the Jacobians of Newton's method (numeric::NewtonSystem). The
// residuals are differences of energies and of their derivatives, good to about 1e-9 of their
// size: steps of 1e-6 in X and 1e-5 of a level step in Y give the Jacobian to a few parts in
// 1e3, all that Newton's convergence needs, while the curvature over the step stays smaller.
constexpr double kJacobianStepX = 1e-6;
constexpr double kJacobianStepY = 1e-5;
// A critical point solves G'' = G''' = 0; G''' of the stencil is the noisiest derivative
// (divided by h^3), so its Jacobian takes steps a hundred times longer in X and ten in Y.
constexpr double kCriticalJacobianStep = 1e-4;
// Converged (numeric::NewtonSystem) when a step is below 1e-12 of the distance to the end in
// X and 1e-13 of the level in Y: about the resolution of the derivatives and of a level;
// where the differences cannot get there, the noise-floor rule of numeric::NewtonDone stops.
constexpr double kToleranceX = 1e-12;
constexpr double kToleranceY = 1e-13;
// The smallest scale of Y in the steps and tolerances above: 1e-9 of the level (or of 1), so
// that a level step of zero or a level at zero still gives a step to take.
constexpr double kSmallestYScale = 1e-9;
// How far an answer may lie outside the range where it is expected and still count as inside
// it (Within): 1e-9 of the range's ends, and 1e-12 near zero, the rounding of a solve.
constexpr double kWithinRelative = 1e-9;
constexpr double kWithinAbsolute = 1e-12;
// Two ends of one solution phase nearer than this part of a column are one (Apart).
constexpr double kApartColumns = 1e-3;

std::string FormatX(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", x);
  return buf;
}

// How many level steps beyond the two levels where the grid saw a two-phase field close a
// congruent point solved there may lie (see CongruentPoints).
constexpr double kCongruentBeyond = 3;

// How far in X a field's boundary may move in one level (at least four columns count as near;
// see NearField).
constexpr double kNearField = 0.02;

class Refiner {
 public:
  Refiner(PhaseSheet& sheet, Results& results, const std::atomic<bool>* stop)
      : stop_(stop),
        e_(sheet, results.State),
        sheet_(sheet),
        res_(results),
        st_(results.State),
        out_(results.Refined) {
    const CellGrid& g = results.Cells();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    row_y_.assign(static_cast<size_t>(std::max(g.RowCount(), 0)), nan);
    col_x_.assign(static_cast<size_t>(std::max(g.ColCount(), 0)), nan);
    for (int r = 1; r < g.RowCount(); ++r) row_y_[static_cast<size_t>(r)] = g.RowY(r);
    for (int c = 1; c < g.ColCount(); ++c) col_x_[static_cast<size_t>(c)] = g.ColumnX(c);
  }

  // False when a stop request ended it (between two stages, or between two levels of the
  // tie-line ends).
  bool Run() {
    Transitions();
    if (Stopped()) return false;
    Boundaries();
    if (Stopped()) return false;
    SideBySide();
    if (Stopped()) return false;
    Invariants();
    if (Stopped()) return false;
    LineEnds();
    if (Stopped()) return false;
    CongruentPoints();
    if (Stopped()) return false;
    ChangedNeighbours();
    DropExplainedCongruentPoints();
    if (Stopped()) return false;
    CriticalPoints();
    if (Stopped()) return false;
    FinerThanTheGrid();
    return true;
  }

 private:
  bool Stopped() const { return stop_ && stop_->load(std::memory_order_relaxed); }
  const CellGrid& Grid() const { return res_.Cells(); }
  double RowY(int r) const { return row_y_[static_cast<size_t>(r)]; }
  double ColX(int c) const { return col_x_[static_cast<size_t>(c)]; }
  int RowOf(double y) const {
    for (size_t r = 1; r < row_y_.size(); ++r) {
      if (row_y_[r] == y) return static_cast<int>(r);
    }
    return -1;
  }
  int ColOf(double x) const {
    for (size_t c = 1; c < col_x_.size(); ++c) {
      if (col_x_[c] == x) return static_cast<int>(c);
    }
    return -1;
  }
  // The phase of a cell.
  PhaseId Label(int col, int row) const { return e_.Of(Grid().Phase(col, row)); }
  PhaseId Entry(const TZPoint& p) const { return e_.Of(p.Phase); }
  bool Within(double v, double lo, double hi) const {
    const double slack = kWithinRelative * (std::abs(lo) + std::abs(hi)) + kWithinAbsolute;
    return v >= lo - slack && v <= hi + slack;
  }

  // The Y between the levels of rows r and r - 1 where phases a and b have one energy at x, into
  // y; false (y untouched) where it is not found.
  bool EqualBetweenRows(PhaseId a, PhaseId b, double x, int r, double& y) {
    try {
      double root = 0;
      if (numeric::BracketedRoot([&](double yy) { return e_.G(a, x, yy) - e_.G(b, x, yy); },
                                 RowY(r), RowY(r - 1), root)) {
        y = root;
        return true;
      }
    } catch (const std::exception&) {
    }
    return false;
  }

  // Pure components: every change of the label in the first and the last column of the grid
  // between two neighbouring levels, solved for the Y where the two phases have equal energy.
  void Transitions() {
    const int cols = Grid().ColCount();
    if (cols < 2) return;
    for (int col : {1, cols - 1}) {
      const double x = ColX(col);
      if (!(x == 0 || x == 1)) continue;
      for (int r = 2; r < Grid().RowCount(); ++r) {
        const std::string& up = Grid().Cell(col, r - 1);
        const std::string& down = Grid().Cell(col, r);
        if (up == down || up.empty() || down.empty()) continue;
        Transition t;
        t.X = x;
        t.Y = RowY(r);
        const PhaseId a = Label(col, r - 1), b = Label(col, r);
        t.Above = a.Valid() ? e_.Name(a) : up;
        t.Below = b.Valid() ? e_.Name(b) : down;
        t.AbovePhase = e_.IndexOf(a);
        t.BelowPhase = e_.IndexOf(b);
        t.Approximate = true;
        if (a.Valid() && b.Valid() && !(a == b)) t.Approximate = !EqualBetweenRows(a, b, x, r, t.Y);
        out_.Transitions.push_back(t);
      }
    }
  }

  // Solves the tie line of phases a (left) and b (right) at level y from (xa, xb) (see
  // SolveTieLine). A point phase keeps its composition.
  bool TieLine(PhaseId a, PhaseId b, double y, double& xa, double& xb) {
    auto end = [&](PhaseId id) {
      TangentEnd t;
      t.fixed = id.IsPoint();
      if (!t.fixed) {
        t.lo = sheet_.Phases[static_cast<size_t>(id.solution)].XMin();
        t.hi = sheet_.Phases[static_cast<size_t>(id.solution)].XMax();
      }
      t.at = [this, id, y](double x) {
        return id.IsPoint() ? XDerivatives{e_.G(id, x, y)} : e_.D(id, x, y);
      };
      t.nth = [this, id, y](int n, double x) {
        if (id.IsPoint()) return e_.G(id, x, y);
        const XDerivatives d = e_.D(id, x, y);
        return n == 0 ? d.g : n == 1 ? d.g1 : d.g2;
      };
      return t;
    };
    // Newton's full steps can run both ends into one phase where the other is nearly a
    // compound (a Laves phase at low temperature, its energy a sharp V): for phases on
    // sublattices the damped rule, whose steps never move an end by more than a quarter of the
    // tie line, is the second try, the bracketed solve the third. (Sheets of expressions keep
    // the answers they always had.)
    const double start_a = xa, start_b = xb;
    if (SolveTieLine(end(a), end(b), xa, xb)) return true;
    auto model = [&](PhaseId id) {
      return id.solution >= 0 && sheet_.Phases[static_cast<size_t>(id.solution)].Model;
    };
    if (!model(a) && !model(b)) return false;
    xa = start_a;
    xb = start_b;
    if (SolveTieLine(end(a), end(b), xa, xb, TieLineRule::Damped)) return true;
    if (a.IsPoint() || b.IsPoint()) return false;
    xa = start_a;
    xb = start_b;
    return SolveTieLineBracketed(end(a), end(b), xa, xb, st_.XStep);
  }

  // Every tie line of every level. A grid end of a solution phase at X = 0 or 1 starts half a
  // step inside, where the solve can begin.
  void Boundaries() {
    const double step = st_.XStep;
    for (int k = 0; k <= st_.LevelIndex && k < res_.ZPoints.RowCount(); ++k) {
      if (Stopped()) return;
      const std::vector<TZPoint>& row = res_.ZPoints.Row(k);
      for (size_t i = row.size() / 2; i-- > 0;) {
        const TZPoint& hi = row[2 * i];
        const TZPoint& lo = row[2 * i + 1];
        if (!(lo.Y > 0)) continue;
        BoundaryEnd b;
        b.Level = k;
        b.Y = lo.Y;
        const PhaseId pa = Entry(lo), pb = Entry(hi);
        b.PhaseLeft = pa.Valid() ? e_.Name(pa) : res_.PhaseName(lo.Phase);
        b.PhaseRight = pb.Valid() ? e_.Name(pb) : res_.PhaseName(hi.Phase);
        b.Left = e_.IndexOf(pa);
        b.Right = e_.IndexOf(pb);
        b.XLeft = lo.X;
        b.XRight = hi.X;
        b.Approximate = true;
        if (pa.Valid() && pb.Valid()) {
          double xa = pa.IsPoint() ? e_.Composition(pa) : std::clamp(lo.X, step / 2, 1 - step / 2);
          double xb = pb.IsPoint() ? e_.Composition(pb) : std::clamp(hi.X, step / 2, 1 - step / 2);
          try {
            if (TieLine(pa, pb, lo.Y, xa, xb) && Within(xa, lo.X - step, lo.X + step) &&
                Within(xb, hi.X - step, hi.X + step)) {
              b.XLeft = xa;
              b.XRight = xb;
              b.Approximate = false;
            }
          } catch (const std::exception&) {
          }
        }
        if (!b.Approximate) solved_.push_back({k, lo.X, hi.X, b.XLeft, b.XRight, pa, pb});
        out_.Boundaries.push_back(std::move(b));
      }
    }
  }

  // The lowest curvature towards ordering of `model` at x and the level y (see
  // SublatticeModel::OrderingCurvature): its zero is the second-order transition.
  double OrderingCurvature(SublatticeModel& model, double x, double y) {
    const bool temperature = st_.Yparameter == YParameter::Temperature;
    model.SetLevel(temperature ? y : st_.T, temperature ? st_.p : y);
    return model.OrderingCurvature(x);
  }
  // The level of the second-order transition at x between ylo and yhi, or NaN.
  double OrderingLevel(SublatticeModel& model, double x, double ylo, double yhi) {
    double y = 0;
    if (numeric::BracketedRoot([&](double yy) { return OrderingCurvature(model, x, yy); }, ylo, yhi,
                               y))
      return y;
    return std::numeric_limits<double>::quiet_NaN();
  }

  // Where the ordered form closes between two levels (the ordered cells of the lower level
  // gone from the upper one, or the other way round): the extreme level of the second-order
  // line between xlo and xhi. A few samples find the extreme's neighbourhood, a golden-section
  // search narrows it, and Newton's method on the line's slope (from the level at three
  // points) places it: the level to the root finder's precision, X to about 1e-10.
  //  - kSamples over the stretch find the highest (lowest) level within a sample's distance;
  //  - the golden-section search narrows that to kExtremeWidth of the sample distance, where
  //    the level is flat to its own precision;
  //  - Newton's method on the slope from three levels kExtremeStep apart (at most
  //    kExtremeSteps steps, each shorter than that) places it; it stops at steps below
  //    kExtremeAim in X.
  bool OrderingExtreme(SublatticeModel& model, double xlo, double xhi, double ylo, double yhi,
                       bool highest, double& x_out, double& y_out, bool& no_extreme) {
    no_extreme = false;
    const double sign = highest ? 1 : -1;
    auto level = [&](double x) {
      const double y = OrderingLevel(model, x, ylo, yhi);
      return std::isnan(y) ? -std::numeric_limits<double>::infinity() : sign * y;
    };
    constexpr int kSamples = 9;
    constexpr double kExtremeWidth = 1e-6;
    constexpr double kExtremeStep = 1e-4;
    constexpr int kExtremeSteps = 4;
    constexpr double kExtremeAim = 1e-12;
    double best = -std::numeric_limits<double>::infinity(), xb = 0;
    double samples[kSamples];
    int ib = 0;
    const double step = (xhi - xlo) / (kSamples - 1);
    for (int i = 0; i < kSamples; ++i) {
      const double x = xlo + i * step, v = samples[i] = level(x);
      if (v > best) best = v, xb = x, ib = i;
    }
    if (!std::isfinite(best)) return false;
    // The highest sample at an end of the bracket: the line rises (or falls) across it, and
    // the grid's field ended there by a cell's rounding, not at an extreme.
    if (ib == 0 || ib == kSamples - 1) {
      no_extreme = true;
      return false;
    }
    // A neighbour where the line left the levels looked at: no telling an extreme from a
    // steep line; left approximate.
    if (!std::isfinite(samples[ib - 1]) || !std::isfinite(samples[ib + 1])) return false;
    double x = numeric::GoldenMinimum([&](double v) { return -level(v); }, std::max(xlo, xb - step),
                                      std::min(xhi, xb + step), kExtremeWidth * step);
    // The slope by central differences of step h: the level's own error (about 1e-13 of it)
    // over h stays far below the slope's change over the step.
    const double h = std::min({kExtremeStep, x - xlo + kExtremeAim, xhi - x + kExtremeAim}) * 0.5;
    for (int it = 0; it < kExtremeSteps && h > 0; ++it) {
      const double fm = level(x - h), f0 = level(x), fp = level(x + h);
      const double d1 = (fp - fm) / (2 * h), d2 = (fp - 2 * f0 + fm) / (h * h);
      if (!std::isfinite(d1) || !(d2 < 0)) break;
      const double dx = -d1 / d2;
      if (!(std::abs(dx) < h)) break;
      x += dx;
      if (std::abs(dx) < kExtremeAim) break;
    }
    const double y = OrderingLevel(model, x, ylo, yhi);
    if (std::isnan(y)) return false;
    x_out = x;
    y_out = y;
    return true;
  }

  // Two different solution phases side by side in a row with no two-phase cell between them,
  // added to the boundaries in the order of the level and X:
  // - the two forms of one phase on sublattices (disordered and ordered): a transition of
  //   second order, a tie line of no length (see SecondOrderAt);
  // - any other two: a two-phase field narrower than a column, whose tie line is kept when it
  //   is solved with both ends within a column of the pair (BoundaryEnd::Narrow).
  void SideBySide() {
    const CellGrid& g = Grid();
    const double step = st_.XStep;
    const size_t before = out_.Boundaries.size();
    for (int r = 1; r < g.RowCount(); ++r) {
      for (int c = 1; c + 1 < g.ColCount(); ++c) {
        const PhaseId a = Label(c, r), b = Label(c + 1, r);
        if (!a.Valid() || !b.Valid() || a.IsPoint() || b.IsPoint() || a == b) continue;
        SolutionPhase& pa = sheet_.Phases[static_cast<size_t>(a.solution)];
        const SolutionPhase& pb = sheet_.Phases[static_cast<size_t>(b.solution)];
        BoundaryEnd e;
        e.Level = r - 1;
        e.Y = RowY(r);
        e.PhaseLeft = pa.Name;
        e.PhaseRight = pb.Name;
        e.Left = e_.IndexOf(a);
        e.Right = e_.IndexOf(b);
        if (pa.Model && pa.Model == pb.Model) {
          SecondOrderAt(*pa.Model, c, e);
          out_.Boundaries.push_back(std::move(e));
          continue;
        }
        const double x0 = ColX(c), x1 = ColX(c + 1);
        double xa = std::clamp(x0, step / 2, 1 - step / 2);
        double xb = std::clamp(x1, step / 2, 1 - step / 2);
        if (!(xa < xb)) xa = 0.5 * (x0 + x1) - step / 4, xb = xa + step / 2;
        try {
          if (!TieLine(a, b, e.Y, xa, xb) || !Within(xa, x0 - step, x1 + step) ||
              !Within(xb, x0 - step, x1 + step) || !(xa < xb))
            continue;
        } catch (const std::exception&) {
          continue;
        }
        e.XLeft = xa;
        e.XRight = xb;
        e.Narrow = true;
        out_.Boundaries.push_back(std::move(e));
      }
    }
    if (out_.Boundaries.size() > before)
      std::stable_sort(out_.Boundaries.begin(), out_.Boundaries.end(),
                       [](const BoundaryEnd& p, const BoundaryEnd& q) {
                         return p.Level != q.Level ? p.Level < q.Level : p.XLeft < q.XLeft;
                       });
  }

  // The second-order transition between the two forms of `model` that stand in columns c and
  // c + 1 of e's level: where the curvature of the disordered minimum towards ordering changes
  // sign (bisection between the columns, widened when the grid put the change a column or two
  // off); left approximate between the columns when it is not found.
  void SecondOrderAt(SublatticeModel& model, int c, BoundaryEnd& e) {
    const CellGrid& g = Grid();
    const double y = e.Y;
    e.SecondOrder = true;
    e.XLeft = e.XRight = (ColX(c) + ColX(c + 1)) / 2;
    e.Approximate = true;
    try {
      // Near the line the two forms differ by the fourth power of the order: the grid
      // may put the change of label a column or two off, so the bracket widens by up to
      // kWiden columns on each side.
      constexpr int kWiden = 4;
      for (int w = 0; w <= kWiden; ++w) {
        const int cl = std::max(1, c - w), cr = std::min(g.ColCount() - 1, c + 1 + w);
        double x = 0;
        if (numeric::BracketedRoot([&](double xx) { return OrderingCurvature(model, xx, y); },
                                   ColX(cl), ColX(cr), x)) {
          e.XLeft = e.XRight = x;
          e.Approximate = false;
          break;
        }
      }
      // A level through the very top of the line: the curvature touches zero without a
      // change of sign, at its smallest over the columns around.
      if (e.Approximate) {
        const double lo = ColX(std::max(1, c - kWiden)),
                     hi = ColX(std::min(g.ColCount() - 1, c + 1 + kWiden));
        auto size = [&](double xx) { return std::abs(OrderingCurvature(model, xx, y)); };
        // The place to 1e-13 in X; zero to 1e-7 of a curvature of the order of R T (R in
        // J/(mol K)), the precision the curvature is computed to.
        constexpr double kTouchWidth = 1e-13, kCurvatureZero = 1e-7, kR = 8.31451;
        const double x = numeric::GoldenMinimum(size, lo, hi, kTouchWidth);
        if (size(x) < kCurvatureZero * kR * std::abs(y)) {
          e.XLeft = e.XRight = x;
          e.Approximate = false;
        }
      }
    } catch (const std::exception&) {
    }
  }

  // A solved tie line of `level` whose grid ends were (lo, hi), or nullptr.
  struct Solved {
    int level;
    double grid_lo, grid_hi, lo, hi;
    PhaseId left, right;
  };
  const Solved* SolvedTieLine(int level, double lo, double hi) const {
    for (const Solved& t : solved_) {
      // The headers show eight decimals of the compositions the diagram points hold.
      constexpr double kSameGridX = 1e-8;
      if (t.level == level && std::abs(t.grid_lo - lo) < kSameGridX &&
          std::abs(t.grid_hi - hi) < kSameGridX) {
        return &t;
      }
    }
    return nullptr;
  }

  // The run of `row` that holds column `col`, or -1.
  static int RunAt(const std::vector<TR>& runs, int col) {
    for (size_t k = 0; k < runs.size(); ++k) {
      if (runs[k].First <= col && col <= runs[k].Last) return static_cast<int>(k);
    }
    return -1;
  }

  // G of the middle phase minus the line through the outer two, at level y.
  double MiddleGap(const PhaseId ids[3], const double x[3], double y) {
    const double g0 = e_.G(ids[0], x[0], y), g1 = e_.G(ids[1], x[1], y), g2 = e_.G(ids[2], x[2], y);
    return g1 - (g0 + (g2 - g0) * (x[1] - x[0]) / (x[2] - x[0]));
  }

  // Whether no phase lies below the line through the outer ends of a three-phase equilibrium
  // at level y, at any column of the grid or at any compound: the equilibrium is a stable one.
  bool NothingBelow(const PhaseId ids[3], const double x[3], double y) {
    try {
      const double g0 = e_.G(ids[0], x[0], y), g2 = e_.G(ids[2], x[2], y);
      const double slope = (g2 - g0) / (x[2] - x[0]);
      auto below = [&](PhaseId id, double xx) {
        return !(id == ids[0] || id == ids[1] || id == ids[2]) &&
               BelowLine(id, xx, y, g0 + slope * (xx - x[0]));
      };
      for (size_t k = 0; k < sheet_.Phases.size(); ++k) {
        if (!sheet_.Phases[k].HasExpression()) continue;
        const PhaseId id{static_cast<int>(k), -1};
        for (int c = 1; c < Grid().ColCount(); ++c)
          if (below(id, std::clamp(ColX(c), st_.XStep / 2, 1 - st_.XStep / 2))) return false;
      }
      for (size_t j = 0; j < sheet_.PointPhases.size(); ++j) {
        if (!sheet_.PointPhases[j].HasExpression()) continue;
        if (below(PhaseId{-1, static_cast<int>(j)}, sheet_.PointPhases[j].Composition))
          return false;
      }
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  // Whether phase id at (xx, y) lies below a line's value there by more than rounding.
  bool BelowLine(PhaseId id, double xx, double y, double line) {
    constexpr double kBelowAbsolute = 1e-6, kBelowRelative = 1e-10;
    const double g = e_.G(id, xx, y);
    return std::isfinite(g) && g < line - kBelowAbsolute - kBelowRelative * std::abs(line);
  }

  // Whether a congruent point of a and b (one at least a solution phase) at (x, y), between the
  // levels of rows r - 1 and r, lies on the lower hull: no phase below the solution phase's
  // tangent there, at its own cells of the two rows or at any compound. A compound
  // whose energy meets the liquid's inside the field of the liquid and another phase is not a
  // congruent point (COST507 Al-Cr: Al8Cr5 forms at a peritectic 0.01 K below the level where
  // its energy meets the liquid's). The phases of the two rows are the ones that can lie below
  // within a level step, at a row's cost rather than every phase's at every column.
  bool CongruentOnHull(PhaseId a, PhaseId b, double x, double y, int r) {
    try {
      const PhaseId smooth = a.IsPoint() ? b : a;
      const XDerivatives d = e_.D(smooth, x, y);
      // The two phases themselves too, away from the point: one with a gap may lie below at
      // another composition (COST507 Li-Zr: the Zr-rich liquid's energy meets bcc's where the
      // Li-rich liquid and bcc are stable, below a monotectic). Near the point they touch the
      // line, to the noise of their minima (an ionic liquid's, some 0.03 J).
      auto below = [&](PhaseId id, double xx) {
        return !((id == a || id == b) && std::abs(xx - x) < NearField()) &&
               BelowLine(id, xx, y, d.g + d.g1 * (xx - x));
      };
      for (int row : {r - 1, r})
        for (int c = 1; c < Grid().ColCount(); ++c) {
          const PhaseId id = Label(c, row);
          if (id.Valid() && !id.IsPoint() &&
              below(id, std::clamp(ColX(c), st_.XStep / 2, 1 - st_.XStep / 2)))
            return false;
        }
      for (size_t j = 0; j < sheet_.PointPhases.size(); ++j)
        if (sheet_.PointPhases[j].HasExpression() &&
            below(PhaseId{-1, static_cast<int>(j)}, sheet_.PointPhases[j].Composition))
          return false;
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  // d/dY of (G of the middle phase minus the line through the outer two), compositions fixed:
  // positive when the middle phase rises above the common tangent above the invariant.
  double MiddleSlope(const PhaseId ids[3], const double x[3], double y) {
    auto gap = [&](double yy) { return MiddleGap(ids, x, yy); };
    // Only the sign counts: a central difference over 1e-4 of a level step (or 1e-6 of the
    // level when the step is tiny) stays far above the rounding of the energies.
    constexpr double kSlopeStep = 1e-4, kSmallestSlopeScale = 1e-6;
    const double d =
        kSlopeStep * std::max(st_.YStep, kSmallestSlopeScale * std::max(std::abs(y), 1.0));
    return gap(y + d) - gap(y - d);
  }

  // The three-phase equilibrium of every node: unknowns Y and the compositions of its
  // solution phases; equations: each solution phase touches the line through the outer two
  // ends, and the middle end lies on it.
  void Invariants() {
    for (const TNode& node : res_.Nodes) {
      Invariant inv;
      inv.Y = node.Y;
      inv.Approximate = true;
      double x[3] = {node.XLeft, node.X, node.XRight};
      PhaseId ids[3];
      const int r = RowOf(node.Y);
      const int cm = ColOf(node.X);
      std::vector<TR> runs;
      int k = -1;
      if (r >= 1 && cm >= 1) {
        runs = BuildRuns(Grid(), r);
        k = RunAt(runs, cm);
      }
      const bool located = k >= 2 && k + 2 < static_cast<int>(runs.size());
      if (LineEnd e; located && NodeLineEnd(r, runs, k, e)) {
        SolveLineEnd(e, r, inv);
        out_.Invariants.push_back(std::move(inv));
        continue;
      }
      if (located) {
        const int cols[3] = {runs[static_cast<size_t>(k - 2)].Last, cm,
                             runs[static_cast<size_t>(k + 2)].First};
        for (int i = 0; i < 3; ++i) ids[i] = Label(cols[i], r);
      }
      const bool known = located && ids[0].Valid() && ids[1].Valid() && ids[2].Valid();
      if (known) {
        const double step = st_.XStep;
        for (int i = 0; i < 3; ++i) x[i] = ids[i].IsPoint() ? e_.Composition(ids[i]) : x[i];
        const TR& left = runs[static_cast<size_t>(k - 2)];
        const TR& mid = runs[static_cast<size_t>(k)];
        const TR& right = runs[static_cast<size_t>(k + 2)];
        // Within one Y step the fields move: each phase stays in its own field at the node's
        // level or in the two-phase fields beside it.
        const double lo[3] = {ColX(left.First) - step, ColX(left.Last) - step,
                              ColX(mid.First) - step};
        const double hi[3] = {ColX(mid.Last) + step, ColX(right.First) + step,
                              ColX(right.Last) + step};
        // A solution phase at a pure end of the grid starts half a step inside.
        double grid[3];
        for (int i = 0; i < 3; ++i) {
          grid[i] = ids[i].IsPoint() ? x[i] : std::clamp(x[i], step / 2, 1 - step / 2);
        }
        // The solved tie lines on either side of the middle field at the node's level start
        // the solve much closer than the grid columns do.
        double sol[3] = {grid[0], grid[1], grid[2]};
        const Solved* t1 = SolvedTieLine(r - 1, ColX(left.Last), ColX(mid.First));
        const Solved* t2 = SolvedTieLine(r - 1, ColX(mid.Last), ColX(right.First));
        // The tie lines name the phases more surely than the cells do: a cell shows the
        // lowest solution phase of its column even where a point phase at the same X is the
        // stable one (a pure component given as a compound at X = 1).
        if (t1 && t2 && t1->right == t2->left &&
            !(t1->left == ids[0] && t1->right == ids[1] && t2->right == ids[2])) {
          ids[0] = t1->left;
          ids[1] = t1->right;
          ids[2] = t2->right;
          for (int i = 0; i < 3; ++i) {
            x[i] = ids[i].IsPoint() ? e_.Composition(ids[i]) : x[i];
            grid[i] = ids[i].IsPoint() ? x[i] : std::clamp(x[i], step / 2, 1 - step / 2);
            sol[i] = grid[i];
          }
        }
        if (t1 && t2) {
          if (!ids[0].IsPoint()) sol[0] = t1->lo;
          if (!ids[1].IsPoint()) sol[1] = 0.5 * (t1->hi + t2->lo);
          if (!ids[2].IsPoint()) sol[2] = t2->hi;
        }
        double y = node.Y;
        bool solved = false;
        try {
          solved = t1 && t2 && FollowTieLines(ids, *t1, *t2, node.Y, sol, y);
        } catch (const std::exception&) {
        }
        if (!solved) {
          std::copy(grid, grid + 3, sol);
          y = node.Y;
          try {
            solved = SolveInvariant(ids, sol, y) && Apart(ids, sol);
          } catch (const std::exception&) {
          }
        }
        {
          // The grid's node may lie more than a level step from the invariant where a phase is
          // narrower than a column (Al13Fe4 of COST507, 4 K away): the solve is taken as far
          // as the tie lines are followed, kInvariantReach level steps. Whatever way it was
          // solved, an invariant has its middle phase on the line of the outer two: within
          // kInvariantGap J/mol (solved ones come within about 1e-10).
          // A solution phase narrower than the first column at a pure end (Mn in fcc Al, 0.2%
          // at COST507's peritectoid fcc + AL6MN -> AL12MN) offers the hull only its end and
          // the next column, and the grid's node may lie many levels off (15 K there; how far
          // depends on the columns, not on the levels): it is taken up to kEndReach steps or
          // kEndReachOfRange of the range off, where nothing lies below its tangent line.
          constexpr double kInvariantReach = 2, kEndReach = 8, kEndReachOfRange = 0.05,
                           kInvariantGap = 1e-6;
          bool at_end = false;
          for (int i = 0; i < 3; ++i)
            at_end |= !ids[i].IsPoint() && std::min(sol[i], 1 - sol[i]) < st_.XStep;
          const double near = kInvariantReach * std::abs(st_.YStep);
          const double reach = at_end ? std::max(kEndReach * std::abs(st_.YStep),
                                                 kEndReachOfRange * std::abs(st_.Ymax - st_.Ymin))
                                      : near;
          if (solved && Within(y, node.Y - reach, node.Y + reach) &&
              (Within(y, node.Y - near, node.Y + near) || NothingBelow(ids, sol, y)) &&
              sol[0] < sol[1] && sol[1] < sol[2] && Within(sol[0], lo[0], hi[0]) &&
              Within(sol[1], lo[1], hi[1]) && Within(sol[2], lo[2], hi[2]) &&
              std::abs(MiddleGap(ids, sol, y)) <= kInvariantGap) {
            std::copy(sol, sol + 3, x);
            inv.Y = y;
            inv.Approximate = false;
          }
        }
        Describe(ids, x, inv);
      }
      for (int i = 0; i < 3; ++i) {
        std::string name;
        if (ids[i].Valid()) {
          name = e_.Name(ids[i]);
        } else if (located) {
          name = Grid().Cell(i == 0   ? runs[static_cast<size_t>(k - 2)].Last
                             : i == 1 ? cm
                                      : runs[static_cast<size_t>(k + 2)].First,
                             r);
        }
        inv.Phases.push_back({name, x[i], e_.IndexOf(ids[i])});
      }
      out_.Invariants.push_back(std::move(inv));
    }
  }

  // The type and the reaction of the three-phase equilibrium of ids at compositions x and the
  // invariant's level, into inv (left as they are when the energies fail there).
  void Describe(const PhaseId ids[3], const double x[3], Invariant& inv) {
    try {
      const bool middle_above = MiddleSlope(ids, x, inv.Y) < 0;
      const bool fluid[3] = {e_.Fluid(ids[0]), e_.Fluid(ids[1]), e_.Fluid(ids[2])};
      inv.Type = InvariantType(middle_above, fluid,
                               !ids[1].IsPoint() && (ids[1] == ids[0] || ids[1] == ids[2]));
      auto shown = [&](int i) {
        return e_.Shown(ids[i]) + (ids[i].IsPoint() ? "" : "(" + FormatX(x[i]) + ")");
      };
      const std::string outer = shown(0) + " + " + shown(2);
      inv.Reaction = middle_above ? shown(1) + " → " + outer : outer + " → " + shown(1);
    } catch (const std::exception&) {
    }
  }

  // A field of one phase F that closes between the levels of rows r - 1 and r beside a field of
  // another phase E with no two-phase cell between them, and a two-phase field of F and a
  // phase P on its other side (`runs`: the row of the two that has F, `pr`; F is run k). Where
  // no congruent point of F and E is found there, E and F differ by less than a column (a
  // solubility near a pure end, or a two-phase band narrower than a column), and F closes at a
  // three-phase equilibrium of E, F and P (COST507 Fe-Mg: bcc iron, dissolving a little Mg,
  // ends below iron's delta/gamma transition at bcc -> fcc + liquid). It is solved from the
  // grid's columns, E and F in either order, and kept where E and F lie within two columns of
  // F's field, P within one of its field's edge, the level within kCongruentBeyond level steps
  // of the two and nothing below it; added to the invariants. False when there is none.
  bool NarrowFieldInvariant(const std::vector<TR>& runs, int pr, int k, int r) {
    const double beyond = kCongruentBeyond * std::abs(st_.YStep);
    const double ylo = std::min(RowY(r), RowY(r - 1)) - beyond;
    const double yhi = std::max(RowY(r), RowY(r - 1)) + beyond;
    for (int s : {-1, 1}) {
      if (!PhaseBesideFieldAcross(runs, k, s)) continue;
      const TR& e_run = runs[static_cast<size_t>(k + s)];
      const TR& f_run = runs[static_cast<size_t>(k)];
      const TR& p_run = runs[static_cast<size_t>(k - 2 * s)];
      const int e_col = s < 0 ? e_run.Last : e_run.First;
      const int f_col = s < 0 ? f_run.First : f_run.Last;
      const int p_col = s < 0 ? p_run.First : p_run.Last;
      const PhaseId e = Label(e_col, pr), f = Label(f_col, pr), p = Label(p_col, pr);
      if (!e.Valid() || !f.Valid() || !p.Valid() || e.IsPoint() || f.IsPoint() || e == f ||
          p == e || p == f)
        continue;
      for (const bool swap : {false, true}) {
        const PhaseId near_end = swap ? f : e, inner = swap ? e : f;
        PhaseId ids[3] = {near_end, inner, p};
        double x[3] = {EdgeX(near_end, e_col), EdgeX(inner, f_col), EdgeX(p, p_col)};
        if (s > 0) {
          std::swap(ids[0], ids[2]);
          std::swap(x[0], x[2]);
        }
        double y = 0.5 * (RowY(r) + RowY(r - 1));
        bool solved = false;
        try {
          solved = SolveInvariant(ids, x, y) && Apart(ids, x) && Within(y, ylo, yhi) &&
                   NothingBelow(ids, x, y);
        } catch (const std::exception&) {
        }
        auto at = [&](PhaseId id) { return x[std::find(ids, ids + 3, id) - ids]; };
        // E and F meet inside F's field of the row, or within two columns of it: the row may
        // lie some levels from the point, where F's field has widened away from where it closes
        // (COST507 Sn-Ti's hcp between SnTi3 and bcc, Cr-Mn's high-temperature sigma).
        const double reach = 2 * st_.XStep;
        auto in_field = [&](double xx) {
          return xx >= ColX(f_run.First) - reach && xx <= ColX(f_run.Last) + reach;
        };
        if (!solved || !in_field(at(e)) || !in_field(at(f)) ||
            std::abs(at(p) - ColX(p_col)) > st_.XStep)
          continue;
        AddInvariant(ids, x, y);
        return true;
      }
    }
    return false;
  }

  // A field of one phase F that closes between the levels of rows r - 1 and r with a two-phase
  // field on either side, of F with P on its left and with Q on its right (`runs`: the row of
  // the two that has F, `pr`; F is run k), where no congruent point of F with the phase across
  // was found: P and Q meet there in a two-phase field narrower than a column, and F closes at
  // a three-phase equilibrium of P, F and Q (COST507 Fe-Mn: the liquid between fcc and the
  // Mn-rich bcc ends at liquid -> fcc + bcc, a kelvin above the minimum the liquid and bcc
  // would have without fcc). Solved from the edges of the three fields and kept where the
  // three compositions lie between P's field and Q's (within two columns), the level within
  // kCongruentBeyond level steps of the two and nothing below it; added to the invariants.
  bool FieldBetweenInvariant(const std::vector<TR>& runs, int pr, int k, int r) {
    const int n = static_cast<int>(runs.size());
    if (k < 2 || k + 2 >= n || !runs[static_cast<size_t>(k - 1)].Label.empty() ||
        !runs[static_cast<size_t>(k + 1)].Label.empty())
      return false;
    const TR& p_run = runs[static_cast<size_t>(k - 2)];
    const TR& f_run = runs[static_cast<size_t>(k)];
    const TR& q_run = runs[static_cast<size_t>(k + 2)];
    PhaseId ids[3] = {Label(p_run.Last, pr), Label(f_run.First, pr), Label(q_run.First, pr)};
    for (const PhaseId& id : ids)
      if (!id.Valid()) return false;
    if (ids[1].IsPoint() || ids[0] == ids[1] || ids[1] == ids[2] || ids[0] == ids[2]) return false;
    double x[3] = {EdgeX(ids[0], p_run.Last), 0.5 * (ColX(f_run.First) + ColX(f_run.Last)),
                   EdgeX(ids[2], q_run.First)};
    const double beyond = kCongruentBeyond * std::abs(st_.YStep);
    double y = 0.5 * (RowY(r) + RowY(r - 1));
    bool solved = false;
    try {
      solved = SolveInvariant(ids, x, y) && Apart(ids, x) &&
               Within(y, std::min(RowY(r), RowY(r - 1)) - beyond,
                      std::max(RowY(r), RowY(r - 1)) + beyond) &&
               NothingBelow(ids, x, y);
    } catch (const std::exception&) {
    }
    if (!solved) return false;
    const double reach = 2 * st_.XStep;
    const double lo = ColX(p_run.Last) - reach, hi = ColX(q_run.First) + reach;
    for (const double xx : x)
      if (xx < lo || xx > hi) return false;
    // F may end beside P or Q (a peritectic): the reaction names the phases in X order.
    for (int i : {0, 1, 0})
      if (x[i] > x[i + 1]) {
        std::swap(x[i], x[i + 1]);
        std::swap(ids[i], ids[i + 1]);
      }
    AddInvariant(ids, x, y);
    return true;
  }

  // An invariant solved off the grid's nodes, the phases in X order.
  void AddInvariant(const PhaseId ids[3], const double x[3], double y) {
    Invariant inv;
    inv.Y = y;
    for (int i = 0; i < 3; ++i) inv.Phases.push_back({e_.Name(ids[i]), x[i], e_.IndexOf(ids[i])});
    Describe(ids, x, inv);
    out_.Invariants.push_back(std::move(inv));
  }

  // Whether an invariant of these three phases is known within `dy` of y, each phase within
  // `dx` of its composition in x (the same phases may meet twice, on either side of a compound).
  bool KnownInvariant(const PhaseId ids[3], const double x[3], double y, double dy,
                      double dx) const {
    for (const Invariant& inv : out_.Invariants) {
      if (inv.Phases.size() != 3 || std::abs(inv.Y - y) > dy) continue;
      bool same = true;
      for (int i = 0; i < 3 && same; ++i) {
        const PhaseIndex p = e_.IndexOf(ids[i]);
        same = std::any_of(inv.Phases.begin(), inv.Phases.end(), [&](const RefinedPhase& q) {
          return q.Phase == p && std::abs(q.X - x[i]) <= dx;
        });
      }
      if (same) return true;
    }
    return false;
  }

  // A two-phase field whose phase on one side changes between two levels while the phase on its
  // other side stays: the three were in equilibrium between the levels. The grid shows no node
  // there when something else happens between the same levels (COST507 Cr-Mn: the field of bcc
  // and high-temperature sigma turns into bcc and sigma at HIGH_SIGMA -> BCC_A2 + SIGMA,
  // 0.16 K under the congruent point where sigma forms). Where no invariant of the three is
  // known within a level step, it is solved from the edges of the fields, the two changing
  // phases in either order, and added where it lies within a level step of the two levels, its
  // compositions in X order within two columns of the fields' edges, and nothing below it.
  // The fields beside a solubility near a pure end show it too: a phase melting or changing
  // its structure there with a little of the other component dissolved (COST507 Al-Mo's
  // peritectic of the liquid, Al12Mo and fcc aluminium 0.3 K above aluminium's melting).
  void ChangedNeighbours() {
    const CellGrid& g = Grid();
    const double ys = std::abs(st_.YStep), reach = 2 * st_.XStep;
    std::vector<TR> up, down = g.RowCount() > 1 ? BuildRuns(g, 1) : std::vector<TR>{};
    for (int r = 2; r < g.RowCount(); ++r) {
      if (Stopped()) return;
      up = std::move(down);
      down = BuildRuns(g, r);
      const double ylo = std::min(RowY(r), RowY(r - 1)) - ys;
      const double yhi = std::max(RowY(r), RowY(r - 1)) + ys;
      // An approximate invariant there is looked at closer after the run, which places this
      // one too.
      if (std::any_of(out_.Invariants.begin(), out_.Invariants.end(), [&](const Invariant& inv) {
            return inv.Approximate && inv.Y >= ylo && inv.Y <= yhi;
          }))
        continue;
      for (size_t i = 1; i + 1 < up.size(); ++i) {
        if (!up[i].Label.empty()) continue;
        for (size_t j = 1; j + 1 < down.size(); ++j) {
          if (!down[j].Label.empty() || down[j].First > up[i].Last + 1 ||
              up[i].First > down[j].Last + 1)
            continue;
          for (const int side : {-1, 1}) {
            // side: where the phase changes (-1 left, 1 right); the other side's phase stays.
            const size_t ui_kept = side > 0 ? i - 1 : i + 1, dj_kept = side > 0 ? j - 1 : j + 1;
            const size_t ui_new = side > 0 ? i + 1 : i - 1, dj_new = side > 0 ? j + 1 : j - 1;
            const int kept_up_col = side > 0 ? up[ui_kept].Last : up[ui_kept].First;
            const int kept_down_col = side > 0 ? down[dj_kept].Last : down[dj_kept].First;
            const int a_col = side > 0 ? up[ui_new].First : up[ui_new].Last;
            const int b_col = side > 0 ? down[dj_new].First : down[dj_new].Last;
            const PhaseId kept = Label(kept_up_col, r - 1), a = Label(a_col, r - 1),
                          b = Label(b_col, r);
            if (!kept.Valid() || !a.Valid() || !b.Valid() || !(Label(kept_down_col, r) == kept) ||
                a == b || a == kept || b == kept || SameModel(a, b))
              continue;
            // Two structures of one compound: a congruent transformation, not an invariant.
            if (a.IsPoint() && b.IsPoint() && e_.Composition(a) == e_.Composition(b)) continue;
            const double xk = EdgeX(kept, kept_up_col), xa = EdgeX(a, a_col), xb = EdgeX(b, b_col);
            for (const bool swap : {false, true}) {
              PhaseId ids[3] = {kept, swap ? b : a, swap ? a : b};
              double x[3] = {xk, swap ? xb : xa, swap ? xa : xb};
              if (side < 0) {
                std::swap(ids[0], ids[2]);
                std::swap(x[0], x[2]);
              }
              // Phases seen in one column start half a column apart, in X order (a compound
              // keeps its composition).
              const double half = 0.5 * st_.XStep;
              if (ids[1].IsPoint()) {
                if (!ids[0].IsPoint()) x[0] = std::min(x[0], x[1] - half);
                if (!ids[2].IsPoint()) x[2] = std::max(x[2], x[1] + half);
              } else if (x[0] + half < x[2] - half) {
                x[1] = std::clamp(x[1], x[0] + half, x[2] - half);
              }
              const double y0 = 0.5 * (RowY(r) + RowY(r - 1));
              if (KnownInvariant(ids, x, y0, 2 * ys, NearField())) break;
              double y = y0;
              bool solved = false;
              try {
                solved = SolveInvariant(ids, x, y) && Apart(ids, x) && Within(y, ylo, yhi) &&
                         x[0] < x[1] && x[1] < x[2] && NothingBelow(ids, x, y);
              } catch (const std::exception&) {
              }
              const double lo = std::min({xk, xa, xb}) - reach, hi = std::max({xk, xa, xb}) + reach;
              if (!solved || x[0] < lo || x[2] > hi) continue;
              // Found again from another pair of fields.
              if (!KnownInvariant(ids, x, y, 1e-9 * std::max(1.0, std::abs(y)), 1e-7))
                AddInvariant(ids, x, y);
              break;
            }
          }
        }
      }
    }
  }

  // Where the second-order line between the two forms of one phase on sublattices meets a
  // two-phase field of that phase with another phase P (Al-Fe and Fe-Si, where the A2/B2 line
  // meets the solidus; Al-Cr, where it meets the field of A2 and AlCr2), no three phases are in
  // equilibrium: it is the critical end point of the line, the level where the disordered
  // form's end of its tie line with P lies on the line. The grid shows it as the form at the
  // field's edge changing to the other one between two levels, and often as a node.
  struct LineEnd {
    PhaseId p, dis, ord;
    bool p_left = false;    // P on the field's left, the forms on its right
    double xp = 0, xd = 0;  // the grid's compositions of P and of the forms at the field's edge
  };

  // Whether run k of a row has a phase's run beside it on side s (-1 left, 1 right) and a
  // two-phase field, then a run, on the other side.
  static bool PhaseBesideFieldAcross(const std::vector<TR>& runs, int k, int s) {
    const int n = static_cast<int>(runs.size());
    return k + s >= 0 && k + s < n && k - 2 * s >= 0 && k - 2 * s < n &&
           !runs[static_cast<size_t>(k + s)].Label.empty() &&
           runs[static_cast<size_t>(k - s)].Label.empty();
  }

  // Two forms of one phase on sublattices (a second-order change between them, not an
  // invariant).
  bool SameModel(PhaseId a, PhaseId b) const {
    return PhaseOnSublattices(a) && PhaseOnSublattices(b) &&
           sheet_.Phases[static_cast<size_t>(a.solution)].Model ==
               sheet_.Phases[static_cast<size_t>(b.solution)].Model;
  }

  // How far in X a composition counts as near another one (see kNearField).
  double NearField() const { return std::max(4 * st_.XStep, kNearField); }

  bool PhaseOnSublattices(PhaseId id) const {
    return id.Valid() && !id.IsPoint() && sheet_.Phases[static_cast<size_t>(id.solution)].Model;
  }

  // The forms of one model, the disordered one first; false for anything else.
  bool Forms(PhaseId a, PhaseId b, PhaseId& dis, PhaseId& ord) const {
    if (!a.Valid() || !b.Valid() || a.IsPoint() || b.IsPoint() || a == b) return false;
    const SolutionPhase& pa = sheet_.Phases[static_cast<size_t>(a.solution)];
    const SolutionPhase& pb = sheet_.Phases[static_cast<size_t>(b.solution)];
    if (!pa.Model || pa.Model != pb.Model) return false;
    dis = pa.Variant == OrderVariant::Disordered ? a : b;
    ord = dis == a ? b : a;
    return sheet_.Phases[static_cast<size_t>(dis.solution)].Variant == OrderVariant::Disordered;
  }

  // The grid's composition of a phase at the edge of a run (P's, or the forms').
  double EdgeX(PhaseId id, int col) const {
    const double step = st_.XStep;
    return id.IsPoint() ? e_.Composition(id) : std::clamp(ColX(col), step / 2, 1 - step / 2);
  }

  // A node of that kind: in the node's row r the middle phase (run k) has the other form beside
  // it on one side, not a two-phase field, and P lies across the field on the other side.
  bool NodeLineEnd(int r, const std::vector<TR>& runs, int k, LineEnd& e) const {
    const PhaseId mid = Label(runs[static_cast<size_t>(k)].First, r);
    for (int s : {-1, 1}) {
      if (!PhaseBesideFieldAcross(runs, k, s) ||
          !Forms(mid, Label(runs[static_cast<size_t>(k + s)].First, r), e.dis, e.ord))
        continue;
      // P is to the left when the other form is to the right of the middle phase.
      e.p_left = s > 0;
      const TR& p_run = runs[static_cast<size_t>(k - 2 * s)];
      const TR& m_run = runs[static_cast<size_t>(k)];
      const int p_col = e.p_left ? p_run.Last : p_run.First;
      e.p = Label(p_col, r);
      if (!e.p.Valid() || e.p == e.dis || e.p == e.ord) return false;
      e.xp = EdgeX(e.p, p_col);
      e.xd = EdgeX(e.dis, e.p_left ? m_run.First : m_run.Last);
      return true;
    }
    return false;
  }

  // The critical end point e brackets between the levels of rows r and r - 1 (a level further
  // either way where the grid put it off), into inv: P and the two forms at one composition, in
  // ascending X, the reaction naming the field's phases above and below. Approximate, at the
  // grid's values, when the solve fails.
  void SolveLineEnd(const LineEnd& e, int r, Invariant& inv) {
    SublatticeModel& model = *sheet_.Phases[static_cast<size_t>(e.dis.solution)].Model;
    inv.Type = kCriticalEndPoint;
    inv.Y = RowY(r);
    inv.Approximate = true;
    double xp = e.xp, xd = e.xd;
    // The curvature towards ordering at the disordered form's end of its tie line with P.
    auto curvature = [&](double y) {
      double a = e.p_left ? xp : xd, b = e.p_left ? xd : xp;
      if (!TieLine(e.p_left ? e.p : e.dis, e.p_left ? e.dis : e.p, y, a, b))
        throw std::runtime_error("no tie line");
      xp = e.p_left ? a : b;
      xd = e.p_left ? b : a;
      return OrderingCurvature(model, xd, y);
    };
    try {
      for (int wide = 0; wide <= 1 && inv.Approximate; ++wide) {
        const int r_lo = std::min(r + wide, Grid().RowCount() - 1);
        const int r_hi = std::max(r - 1 - wide, 1);
        xp = e.xp;
        xd = e.xd;
        double y = 0;
        if (numeric::BracketedRoot(curvature, RowY(r_lo), RowY(r_hi), y)) {
          curvature(y);
          inv.Y = y;
          inv.Approximate = false;
        }
      }
    } catch (const std::exception&) {
    }
    if (inv.Approximate) xp = e.xp, xd = e.xd;
    // Above the line's end, the form at the end of the tie line with P a level step higher:
    // the disordered one where its curvature towards ordering is positive there.
    bool dis_above = true;
    {
      const double keep_p = xp, keep_d = xd;
      try {
        dis_above = curvature(inv.Y + std::abs(st_.YStep)) > 0;
      } catch (const std::exception&) {
      }
      xp = keep_p;
      xd = keep_d;
    }
    const RefinedPhase rp{e_.Name(e.p), xp, e_.IndexOf(e.p)};
    const RefinedPhase rd{e_.Name(e.dis), xd, e_.IndexOf(e.dis)};
    const RefinedPhase ro{e_.Name(e.ord), xd, e_.IndexOf(e.ord)};
    inv.Phases =
        e.p_left ? std::vector<RefinedPhase>{rp, rd, ro} : std::vector<RefinedPhase>{rd, ro, rp};
    auto shown = [&](PhaseId id, double x) {
      return e_.Shown(id) + (id.IsPoint() ? "" : "(" + FormatX(x) + ")");
    };
    auto pair = [&](PhaseId form) {
      return e.p_left ? shown(e.p, xp) + " + " + shown(form, xd)
                      : shown(form, xd) + " + " + shown(e.p, xp);
    };
    inv.Reaction =
        dis_above ? pair(e.dis) + " → " + pair(e.ord) : pair(e.ord) + " → " + pair(e.dis);
  }

  // A critical end point of the same phases within a level step, among the invariants.
  bool KnownLineEnd(const Invariant& inv) const {
    return std::any_of(out_.Invariants.begin(), out_.Invariants.end(), [&](const Invariant& o) {
      return o.Type == kCriticalEndPoint && o.Phases.size() == inv.Phases.size() &&
             std::equal(
                 o.Phases.begin(), o.Phases.end(), inv.Phases.begin(),
                 [](const RefinedPhase& a, const RefinedPhase& b) { return a.Phase == b.Phase; }) &&
             std::abs(o.Y - inv.Y) <= std::abs(st_.YStep);
    });
  }

  // The critical end points no node gave: between every two neighbouring levels, a two-phase
  // field of P and a form of a phase on sublattices whose edge cell is the other form at the
  // level before, P the same, where the solve finds the end of the line between them.
  void LineEnds() {
    // Only a sheet with an ordering has such ends.
    if (std::none_of(sheet_.Phases.begin(), sheet_.Phases.end(), [](const SolutionPhase& ph) {
          return ph.Variant == OrderVariant::Disordered;
        }))
      return;
    const CellGrid& g = Grid();
    for (int r = 2; r < g.RowCount(); ++r) {
      const std::vector<TR> up = BuildRuns(g, r - 1), down = BuildRuns(g, r);
      for (size_t i = 1; i + 1 < down.size(); ++i) {
        if (!down[i].Label.empty()) continue;
        // The same field at the level before: the blank run over this one's middle.
        const int k = RunAt(up, (down[i].First + down[i].Last) / 2);
        if (k < 1 || k + 1 >= static_cast<int>(up.size()) ||
            !up[static_cast<size_t>(k)].Label.empty())
          continue;
        for (const bool p_left : {true, false}) {
          const TR& p_run = down[p_left ? i - 1 : i + 1];
          const TR& f_run = down[p_left ? i + 1 : i - 1];
          const int p_col = p_left ? p_run.Last : p_run.First;
          const int f_col = p_left ? f_run.First : f_run.Last;
          const PhaseId p = Label(p_col, r);
          const TR& up_p = up[static_cast<size_t>(p_left ? k - 1 : k + 1)];
          const TR& up_f = up[static_cast<size_t>(p_left ? k + 1 : k - 1)];
          if (!p.Valid() || !(Label(p_left ? up_p.Last : up_p.First, r - 1) == p)) continue;
          LineEnd e;
          if (!Forms(Label(f_col, r), Label(p_left ? up_f.First : up_f.Last, r - 1), e.dis,
                     e.ord) ||
              p == e.dis || p == e.ord)
            continue;
          e.p = p;
          e.p_left = p_left;
          e.xp = EdgeX(p, p_col);
          e.xd = EdgeX(e.dis, f_col);
          // Unsolved, it is the grid's rounding between the two forms near their line (the two
          // differ by the fourth power of the order there), not an end of it.
          Invariant inv;
          SolveLineEnd(e, r, inv);
          if (!inv.Approximate && !KnownLineEnd(inv)) out_.Invariants.push_back(std::move(inv));
        }
      }
    }
  }

  // Whether a critical end point of the forms of `model` lies within two level steps of y.
  bool LineEndNear(const SublatticeModel* model, double y) const {
    return std::any_of(out_.Invariants.begin(), out_.Invariants.end(), [&](const Invariant& o) {
      if (o.Type != kCriticalEndPoint || o.Phases.size() != 3) return false;
      const PhaseId form = e_.Of(o.Phases[o.Phases[0].X == o.Phases[1].X ? 0 : 1].Phase);
      return form.Valid() && !form.IsPoint() &&
             sheet_.Phases[static_cast<size_t>(form.solution)].Model.get() == model &&
             std::abs(o.Y - y) <= 2 * std::abs(st_.YStep);
    });
  }

  // Two ends of one solution phase that have run together are the trivial solution of the
  // tangent equations, not a three-phase equilibrium.
  bool Apart(const PhaseId ids[3], const double x[3]) const {
    const double gap = kApartColumns * st_.XStep;
    return !((ids[0] == ids[1] && x[1] - x[0] < gap) || (ids[1] == ids[2] && x[2] - x[1] < gap));
  }

  // The two tie lines that meet at the middle phase at the node's level (solved there) are
  // followed in Y until they have one slope, that is one tangent line: a secant iteration on
  // the difference of their slopes, each tie line solved from where it was at the last Y.
  // Unlike a Newton step on all unknowns at once, this cannot slide into the trivial solution
  // where two ends of one phase coincide.
  bool FollowTieLines(const PhaseId ids[3], const Solved& t1, const Solved& t2, double y0,
                      double x[3], double& y) {
    double a1 = t1.lo, a2 = t1.hi, b2 = t2.lo, b3 = t2.hi;
    auto slope_gap = [&](double yy, double& f) {
      double na1 = a1, na2 = a2, nb2 = b2, nb3 = b3;
      if (!TieLine(ids[0], ids[1], yy, na1, na2) || !TieLine(ids[1], ids[2], yy, nb2, nb3)) {
        return false;
      }
      const double s12 = (e_.G(ids[1], na2, yy) - e_.G(ids[0], na1, yy)) / (na2 - na1);
      const double s23 = (e_.G(ids[2], nb3, yy) - e_.G(ids[1], nb2, yy)) / (nb3 - nb2);
      f = s12 - s23;
      a1 = na1;
      a2 = na2;
      b2 = nb2;
      b3 = nb3;
      return std::isfinite(f);
    };
    // The secant starts from the node's level and 1/100 of a level step beside it; it may
    // reach kFollowReach level steps from the node, halving a step at most kFollowHalvings
    // times to stay where the tie lines exist; it ends at steps below kToleranceY of the
    // level. The middle ends of the two tie lines then agree to kMiddleAgree of a column (or
    // of 1e-3 on a fine grid), the precision of two tie lines solved apart.
    constexpr double kFollowFirstStep = 1e-2, kFollowReach = 2;
    constexpr int kFollowHalvings = 30;
    constexpr double kMiddleAgree = 1e-7, kFinestColumn = 1e-3;
    double ya = y0, fa = 0;
    if (!slope_gap(ya, fa)) return false;
    double yb = y0 + kFollowFirstStep * st_.YStep, fb = 0;
    if (!slope_gap(yb, fb)) {
      yb = y0 - kFollowFirstStep * st_.YStep;
      if (!slope_gap(yb, fb)) return false;
    }
    for (int it = 0; it < numeric::kMaxNewtonSteps; ++it) {
      if (fb == fa) return false;
      double step = -fb * (yb - ya) / (fb - fa);
      // Past the invariant the tie lines are metastable and may not exist: shorten the step.
      double yn = yb + step, fn = 0;
      bool ok = false;
      for (int k = 0; k < kFollowHalvings && !ok; ++k, step *= 0.5) {
        yn = yb + step;
        ok = std::abs(yn - y0) <= kFollowReach * st_.YStep && slope_gap(yn, fn);
      }
      if (!ok) return false;
      ya = yb;
      fa = fb;
      yb = yn;
      fb = fn;
      if (std::abs(yb - ya) <= kToleranceY * std::max(std::abs(yb), st_.YStep)) {
        // Converged: both tie lines are now the same line; the middle ends must agree.
        if (!ids[1].IsPoint() &&
            std::abs(a2 - b2) > kMiddleAgree * std::max(st_.XStep, kFinestColumn))
          return false;
        y = yb;
        x[0] = a1;
        x[1] = ids[1].IsPoint() ? a2 : 0.5 * (a2 + b2);
        x[2] = b3;
        return Apart(ids, x);
      }
    }
    return false;
  }

  bool SolveInvariant(const PhaseId ids[3], double x[3], double& y) {
    // Unknowns: u[0] = Y, then the compositions of the solution phases.
    int slot[3] = {-1, -1, -1};
    int n = 1;
    double u[4] = {y, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
      if (!ids[i].IsPoint()) {
        slot[i] = n;
        u[n++] = x[i];
      }
    }
    auto unpack = [&](const double* v, double* xs) {
      for (int i = 0; i < 3; ++i) xs[i] = slot[i] >= 0 ? v[slot[i]] : x[i];
    };
    auto f = [&](const double* v, double* r) {
      double xs[3], g[3], g1[3] = {0, 0, 0};
      unpack(v, xs);
      for (int i = 0; i < 3; ++i) {
        if (ids[i].IsPoint()) {
          g[i] = e_.G(ids[i], xs[i], v[0]);
        } else {
          const XDerivatives d = e_.D(ids[i], xs[i], v[0]);
          g[i] = d.g;
          g1[i] = d.g1;
        }
      }
      const double s = (g[2] - g[0]) / (xs[2] - xs[0]);
      int m = 0;
      for (int i = 0; i < 3; ++i) {
        if (!ids[i].IsPoint()) r[m++] = g1[i] - s;
      }
      r[m] = g[1] - g[0] - s * (xs[1] - xs[0]);
    };
    // A phase on sublattices may end inside 0..1 (Mg2Y, (Mg)2(Mg,Y)1, at X = 1/3).
    double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
    for (int i = 0; i < 3; ++i) {
      if (ids[i].IsPoint()) continue;
      lo[i] = sheet_.Phases[static_cast<size_t>(ids[i].solution)].XMin();
      hi[i] = sheet_.Phases[static_cast<size_t>(ids[i].solution)].XMax();
      // A start on the range's end (its own grid column) moves a hair inside, as a tie line's.
      u[slot[i]] = StartInsideRange(u[slot[i]], lo[i], hi[i]);
    }
    auto ok = [&](const double* v) {
      double xs[3];
      unpack(v, xs);
      // A point phase may sit at a pure end; a solution phase's composition stays inside, and
      // inside its own range.
      for (int i = 0; i < 3; ++i)
        if (!ids[i].IsPoint() && !(xs[i] > lo[i] && xs[i] < hi[i])) return false;
      return (ids[0].IsPoint() ? xs[0] >= 0 : xs[0] > 0) &&
             (ids[2].IsPoint() ? xs[2] <= 1 : xs[2] < 1) && xs[0] < xs[1] && xs[1] < xs[2] &&
             std::isfinite(v[0]);
    };
    const double ys = std::max(st_.YStep, kSmallestYScale * std::max(std::abs(y), 1.0));
    double steps[numeric::kMaxUnknowns] = {kJacobianStepY * ys, 0, 0, 0},
           tol[numeric::kMaxUnknowns] = {kToleranceY * std::max(std::abs(y), ys), 0, 0, 0};
    for (int i = 1; i < n; ++i) {
      const double m = std::min(u[i], 1 - u[i]);
      steps[i] = kJacobianStepX * m;
      tol[i] = kToleranceX * m;
    }
    if (!ok(u)) return false;
    if (!numeric::NewtonSystem(n, f, u, steps, tol, ok)) return false;
    y = u[0];
    unpack(u, x);
    return true;
  }

  // Memo points inside 0 < X < 1 whose run reaches neither end of the grid: a two-phase
  // region closing at one composition between two neighbouring levels.
  void CongruentPoints() {
    const int cols = Grid().ColCount();
    for (const SpecialPoint& mp : res_.MemoPoints) {
      const int r = RowOf(mp.Y);
      const int col = ColOf(mp.X);
      if (r < 2 || col < 1) continue;
      std::vector<TR> up = BuildRuns(Grid(), r - 1), down = BuildRuns(Grid(), r);
      // The row with more runs has the field that closes, with the fields beside it.
      const bool field_above = up.size() > down.size();
      const std::vector<TR>& pattern = field_above ? up : down;
      const int pr = field_above ? r - 1 : r;
      const int k = RunAt(pattern, col);
      if (k < 0) continue;
      const TR& run = pattern[static_cast<size_t>(k)];
      if (run.First == 1 || run.Last == cols - 1) continue;  // a pure end: a transition
      if (ReachesEndThrough(pattern, k, pr)) continue;
      const PhaseId a = Label(col, r - 1), b = Label(col, r);
      // A form of a phase on sublattices ending under (or over) a two-phase field: where a
      // second-order line meets that field, not a congruent point.
      const auto model_form = [&](const PhaseId& id) {
        return id.Valid() && !id.IsPoint() &&
               sheet_.Phases[static_cast<size_t>(id.solution)].Variant != OrderVariant::Any;
      };
      if ((!a.Valid() && model_form(b)) || (!b.Valid() && model_form(a))) continue;
      CongruentPoint cp;
      cp.X = mp.X;
      cp.Y = mp.Y;
      cp.Approximate = true;
      cp.Phases = {a.Valid() ? e_.Name(a) : Grid().Cell(col, r - 1),
                   b.Valid() ? e_.Name(b) : Grid().Cell(col, r)};
      cp.Indices = {e_.IndexOf(a), e_.IndexOf(b)};
      const double ylo = RowY(r), yhi = RowY(r - 1);
      const double xlo = ColX(run.First) - st_.XStep, xhi = ColX(run.Last) + st_.XStep;
      bool minimum = false;
      if (a.Valid() && b.Valid() && !a.IsPoint() && !b.IsPoint()) {
        SolutionPhase& pa = sheet_.Phases[static_cast<size_t>(a.solution)];
        SolutionPhase& pb = sheet_.Phases[static_cast<size_t>(b.solution)];
        const bool ordering = pa.Model && pa.Model == pb.Model && pa.Variant != pb.Variant;
        if (ordering) {
          cp.Type = "ordering maximum";
          const bool ordered_below = pb.Variant == OrderVariant::Ordered;
          if (!ordered_below) cp.Type = "ordering minimum";
          bool no_extreme = false;
          try {
            // The extreme may stand on a level itself: the bracket reaches a step past both.
            const double ys = std::abs(st_.YStep);
            if (OrderingExtreme(*pa.Model, std::max(0.0, xlo), std::min(1.0, xhi), ylo - ys,
                                yhi + ys, ordered_below, cp.X, cp.Y, no_extreme))
              cp.Approximate = false;
          } catch (const std::exception&) {
          }
          // A second-order line that only rises or falls across the bracket has no extreme
          // there: the grid saw a cell of either form where the two differ by rounding.
          // The ordered field closing where its line runs into a two-phase field (the line's
          // extreme, if any, lies inside that field): a critical end point, not an extreme.
          if (cp.Approximate && LineEndNear(pa.Model.get(), cp.Y)) continue;
          if (no_extreme) continue;
          out_.CongruentPoints.push_back(std::move(cp));
          continue;
        }
      }
      if (a.Valid() && b.Valid() && !(a == b)) {
        try {
          if (a.IsPoint() || b.IsPoint()) {
            const double xc = e_.Composition(a.IsPoint() ? a : b);
            double y = 0;
            if (Within(xc, xlo, xhi) &&
                numeric::BracketedRoot([&](double yy) { return e_.G(a, xc, yy) - e_.G(b, xc, yy); },
                                       ylo, yhi, y) &&
                ((a.IsPoint() && b.IsPoint()) || CongruentOnHull(a, b, xc, y, r))) {
              cp.X = xc;
              cp.Y = y;
              cp.Approximate = false;
            }
          } else {
            double u[2] = {0.5 * (ColX(run.First) + ColX(run.Last)), 0.5 * (ylo + yhi)};
            auto f = [&](const double* v, double* res) {
              const XDerivatives da = e_.D(a, v[0], v[1]), db = e_.D(b, v[0], v[1]);
              res[0] = da.g - db.g;
              res[1] = da.g1 - db.g1;
            };
            auto ok = [](const double* v) { return v[0] > 0 && v[0] < 1 && std::isfinite(v[1]); };
            const double m = std::min(u[0], 1 - u[0]);
            const double ys = std::max(yhi - ylo, kSmallestYScale);
            const double steps[2] = {kJacobianStepX * m, kJacobianStepY * ys};
            // The derivatives of a phase on sublattices come from its minimum, good to about
            // 1e-9 of their size: the steps of a congruent point's solve, where the two curves
            // touch, settle there above the noise-floor rule (NiCrAl's Al-Cr liquidus maximum
            // beside pure Cr, 2188.7 K at X 0.986), so its tolerances are kModelTolerance times
            // wider.
            constexpr double kModelTolerance = 1e3;
            const double wider =
                PhaseOnSublattices(a) || PhaseOnSublattices(b) ? kModelTolerance : 1;
            const double tol[2] = {wider * kToleranceX * m,
                                   wider * kToleranceY * std::max(std::abs(u[1]), ys)};
            // Near its top a field narrower than a column shows on no level: the point may
            // lie a few levels beyond the pair where the grid saw the field close.
            const double beyond = kCongruentBeyond * std::abs(st_.YStep);
            if (numeric::NewtonSystem(2, f, u, steps, tol, ok) && Within(u[0], xlo, xhi) &&
                Within(u[1], ylo - beyond, yhi + beyond) && CongruentOnHull(a, b, u[0], u[1], r)) {
              cp.X = u[0];
              cp.Y = u[1];
              cp.Approximate = false;
            }
          }
          if (!a.IsPoint() && !b.IsPoint()) {
            // Sign of (G_above - G_below)'' at the point: positive when the two-phase field
            // lies above it.
            const XDerivatives da = e_.D(a, cp.X, cp.Y), db = e_.D(b, cp.X, cp.Y);
            minimum = da.g2 - db.g2 > 0;
          }
        } catch (const std::exception&) {
        }
      }
      if (cp.Approximate && a.Valid() && b.Valid() && !a.IsPoint() && !b.IsPoint() && !(a == b)) {
        const double beyond = kCongruentBeyond * std::abs(st_.YStep);
        double x = 0, y = 0;
        if (CongruentByExtreme(a, b, field_above, xlo, xhi, ylo, yhi, beyond, x, y) &&
            CongruentOnHull(a, b, x, y, r)) {
          cp.X = x;
          cp.Y = y;
          cp.Approximate = false;
          minimum = field_above;
        }
      }
      if (cp.Approximate &&
          (NarrowFieldInvariant(pattern, pr, k, r) || FieldBetweenInvariant(pattern, pr, k, r)))
        continue;
      const bool fluid_above = a.Valid() && e_.Fluid(a);
      const bool fluid_below = b.Valid() && e_.Fluid(b);
      if (minimum) {
        cp.Type = "lens minimum";
      } else if (fluid_above && !fluid_below) {
        cp.Type = "congruent melting";
      } else if (a.IsPoint() || b.IsPoint() || (!fluid_above && !fluid_below)) {
        cp.Type = "congruent transformation";
      } else {
        cp.Type = "lens maximum";
      }
      out_.CongruentPoints.push_back(std::move(cp));
    }
    CompoundTransformations();
  }

  // Whether run k of row `row` reaches a pure end through the run beside it, with no two-phase
  // cell between, that holds the pure end's column alone: the other form of its model (COST507
  // Nb-Ti: bcc orders a little wherever it holds both elements, pure niobium beside it cannot), or
  // a phase of the same energy at the pure end (COST507 Al-Mo: AlMo's Mo:Mo end member is bcc
  // molybdenum, and either may stand in the column of pure Mo). The field then closes at the pure
  // end's transition, not at a congruent point.
  bool ReachesEndThrough(const std::vector<TR>& runs, int k, int row) {
    const int cols = Grid().ColCount(), n = static_cast<int>(runs.size());
    const TR& run = runs[static_cast<size_t>(k)];
    for (const int s : {-1, 1}) {
      const int j = k + s;
      if (j < 0 || j >= n || runs[static_cast<size_t>(j)].Label.empty()) continue;
      const TR& next = runs[static_cast<size_t>(j)];
      // Only the pure end's own column: an ordered field closing inside a wider disordered one
      // reaching the end is an ordering extreme.
      if (next.First != next.Last || !(s < 0 ? next.First == 1 : next.Last == cols - 1)) continue;
      const PhaseId p = Label(s < 0 ? run.First : run.Last, row);
      const PhaseId q = Label(s < 0 ? next.Last : next.First, row);
      if (!p.Valid() || !q.Valid() || p.IsPoint() || q.IsPoint()) continue;
      if (SameModel(p, q)) return true;
      const SolutionPhase& pp = sheet_.Phases[static_cast<size_t>(p.solution)];
      const SolutionPhase& pq = sheet_.Phases[static_cast<size_t>(q.solution)];
      const double end = s < 0 ? 0.0 : 1.0;
      if (end < std::max(pp.XMin(), pq.XMin()) || end > std::min(pp.XMax(), pq.XMax())) continue;
      try {
        const double y = RowY(row), gp = e_.G(p, end, y), gq = e_.G(q, end, y);
        constexpr double kSameEnergy = 1e-9;
        if (std::abs(gp - gq) <= kSameEnergy * std::max(1.0, std::abs(gp))) return true;
      } catch (const std::exception&) {
      }
    }
    return false;
  }

  // An approximate congruent point where an exact invariant of both its phases lies within a
  // level step: the field closes at that invariant (a compound that forms at a peritectic just
  // below the level where its energy meets the liquid's).
  void DropExplainedCongruentPoints() {
    const double ys = std::abs(st_.YStep);
    std::erase_if(out_.CongruentPoints, [&](const CongruentPoint& c) {
      if (!c.Approximate || c.Indices.size() != 2) return false;
      for (const Invariant& inv : out_.Invariants) {
        if (inv.Approximate || std::abs(inv.Y - c.Y) > ys) continue;
        int named = 0;
        for (const PhaseIndex p : c.Indices)
          named += std::any_of(inv.Phases.begin(), inv.Phases.end(),
                               [&](const RefinedPhase& q) { return q.Phase == p; });
        if (named == 2) return true;
      }
      return false;
    });
  }

  // The congruent point of two solution phases a (above) and b (below) as the level where the
  // difference of their energies, G_a - G_b, has an extreme of zero over the compositions of
  // [xlo, xhi]: a minimum where the field that closes lies above the point (b is the lower
  // phase around it), a maximum where it lies below. The fallback where Newton's steps on the
  // derivatives fail: a phase on sublattices near one of its end members, whose curvature runs
  // to thousands of times the other's (COST507 Sn-Ti's SnTi3 at X = 0.25 above 2000 K, from an
  // end member with a large entropy term). The extreme is found from 40 samples and a
  // golden-section search, the level by a bracketed root between the two levels, or up to
  // `beyond` past them.
  bool CongruentByExtreme(PhaseId a, PhaseId b, bool field_above, double xlo, double xhi,
                          double ylo, double yhi, double beyond, double& x, double& y) {
    const SolutionPhase& pa = sheet_.Phases[static_cast<size_t>(a.solution)];
    const SolutionPhase& pb = sheet_.Phases[static_cast<size_t>(b.solution)];
    constexpr double kInside = 1e-12;
    const double lo = std::max({xlo, pa.XMin(), pb.XMin(), kInside});
    const double hi = std::min({xhi, pa.XMax(), pb.XMax(), 1 - kInside});
    if (!(hi > lo)) return false;
    const double sign = field_above ? 1 : -1;
    auto diff = [&](double xx, double yy) {
      try {
        const double v = sign * (e_.G(a, xx, yy) - e_.G(b, xx, yy));
        return std::isfinite(v) ? v : std::numeric_limits<double>::infinity();
      } catch (const std::exception&) {
        return std::numeric_limits<double>::infinity();
      }
    };
    constexpr int kSamples = 40;
    constexpr double kWidth = 1e-13;
    auto extreme = [&](double yy, double* at) {
      const double h = (hi - lo) / kSamples;
      int best = 0;
      double best_v = std::numeric_limits<double>::infinity();
      for (int i = 0; i <= kSamples; ++i) {
        const double v = diff(lo + i * h, yy);
        if (v < best_v) {
          best_v = v;
          best = i;
        }
      }
      if (!std::isfinite(best_v)) return best_v;
      const double xa = lo + std::max(best - 1, 0) * h, xb = lo + std::min(best + 1, kSamples) * h;
      const double xm = numeric::GoldenMinimum([&](double xx) { return diff(xx, yy); }, xa, xb,
                                               kWidth * std::max(1.0, hi - lo));
      const double vm = diff(xm, yy);
      if (at) *at = vm < best_v ? xm : lo + best * h;
      return std::min(vm, best_v);
    };
    auto level = [&](double yy) { return extreme(yy, nullptr); };
    const double y_lo = std::min(ylo, yhi), y_hi = std::max(ylo, yhi);
    const double brackets[2][2] = {{y_lo, y_hi}, {y_lo - beyond, y_hi + beyond}};
    for (const auto& br : brackets) {
      const double f0 = level(br[0]), f1 = level(br[1]);
      if (!std::isfinite(f0) || !std::isfinite(f1) || (f0 < 0) == (f1 < 0)) continue;
      if (!numeric::BracketedRoot(level, br[0], br[1], y)) continue;
      if (!std::isfinite(extreme(y, &x))) return false;
      return x > lo && x < hi;
    }
    return false;
  }

  // A compound that takes another structure between two levels (two point phases of one
  // composition, AL11CE3 low and high): a congruent transformation at the Y where their
  // energies are equal. The grid shows it as one compound's column turning into the other's,
  // with no memo point.
  void CompoundTransformations() {
    const int cols = Grid().ColCount();
    for (int c = 2; c + 1 < cols; ++c) {
      for (int r = 2; r < Grid().RowCount(); ++r) {
        const PhaseId a = Label(c, r - 1), b = Label(c, r);
        if (!a.Valid() || !b.Valid() || !a.IsPoint() || !b.IsPoint() || a == b) continue;
        const double x = e_.Composition(a);
        if (x != e_.Composition(b)) continue;
        CongruentPoint cp;
        cp.Type = "congruent transformation";
        cp.Phases = {e_.Name(a), e_.Name(b)};
        cp.Indices = {e_.IndexOf(a), e_.IndexOf(b)};
        cp.X = x;
        cp.Y = RowY(r);
        cp.Approximate = !EqualBetweenRows(a, b, x, r, cp.Y);
        out_.CongruentPoints.push_back(std::move(cp));
      }
    }
  }

  // The (lower X, higher X) of the tie lines of `level` between two ends of phase `phase`.
  std::vector<std::pair<double, double>> GapSegments(int level, PhaseIndex phase) const {
    std::vector<std::pair<double, double>> out;
    if (level < 0 || level > st_.LevelIndex || level >= res_.ZPoints.RowCount()) return out;
    const std::vector<TZPoint>& row = res_.ZPoints.Row(level);
    for (size_t i = 0; 2 * i + 1 < row.size(); ++i) {
      const TZPoint& hi = row[2 * i];
      const TZPoint& lo = row[2 * i + 1];
      if (hi.Column > 0 && lo.Column > 0 && hi.Phase == phase && lo.Phase == phase && lo.Y > 0) {
        out.emplace_back(lo.X, hi.X);
      }
    }
    return out;
  }

  // A tie line between two ends of one solution phase at a level whose neighbour shows that
  // phase alone across the same stretch: the gap closes between the two levels, at the point
  // where G'' and G''' of the phase are both zero.
  // What lies between the grid's points (see FinerFeature). A column whose phase changes
  // between two levels straight to another phase crossed a two-phase band thinner than the step,
  // unless a congruent point, a compound's column or a second-order line explains the change;
  // neighbouring columns of one row pair make one feature.
  void FinerThanTheGrid() {
    const CellGrid& g = Grid();
    const int cols = g.ColCount();
    auto explained = [&](int c, int r) {
      const double x = ColX(c), ylo = RowY(r + 1), yhi = RowY(r);
      for (const CongruentPoint& cp : out_.CongruentPoints)
        if (std::abs(cp.X - x) <= 1.5 * st_.XStep && cp.Y >= ylo - std::abs(st_.YStep) &&
            cp.Y <= yhi + std::abs(st_.YStep))
          return true;
      return false;
    };
    for (int r = 1; r + 1 < g.RowCount(); ++r) {
      FinerFeature f;
      int last = -2;
      auto flush = [&] {
        if (last >= 0) out_.BelowResolution.push_back(f);
        last = -2;
      };
      for (int c = 2; c + 1 < cols; ++c) {
        const PhaseId a = Label(c, r), b = Label(c, r + 1);
        bool thin = a.Valid() && b.Valid() && !(a == b) && !a.IsPoint() && !b.IsPoint();
        if (thin) {
          const SolutionPhase& pa = sheet_.Phases[static_cast<size_t>(a.solution)];
          const SolutionPhase& pb = sheet_.Phases[static_cast<size_t>(b.solution)];
          thin = !(pa.Model && pa.Model == pb.Model) && !explained(c, r);
        }
        if (!thin) {
          flush();
          continue;
        }
        if (last != c - 1 || !(e_.Of(f.Above) == a) || !(e_.Of(f.Below) == b)) {
          flush();
          f = FinerFeature{FinerFeature::Kind::ThinBand,
                           ColX(c),
                           ColX(c),
                           RowY(r + 1),
                           RowY(r),
                           e_.IndexOf(a),
                           e_.IndexOf(b)};
        }
        f.XRight = ColX(c);
        last = c;
      }
      flush();
    }
    // A band crossed obliquely shows in one row pair after another: pieces of the same two
    // phases a few columns or one level apart (the band showed in a cell between them) are one.
    std::vector<FinerFeature>& bands = out_.BelowResolution;
    const double touch = 4 * st_.XStep, ytouch = 1.01 * std::abs(st_.YStep);
    for (bool merged = true; merged && bands.size() < 2000;) {
      merged = false;
      for (size_t i = 0; i < bands.size() && !merged; ++i) {
        for (size_t k = i + 1; k < bands.size() && !merged; ++k) {
          FinerFeature& p = bands[i];
          const FinerFeature& q = bands[k];
          if (p.YLow > q.YHigh + ytouch || q.YLow > p.YHigh + ytouch) continue;
          if (p.XLeft > q.XRight + touch || q.XLeft > p.XRight + touch) continue;
          if (p.Above != q.Above || p.Below != q.Below) continue;
          p.XLeft = std::min(p.XLeft, q.XLeft);
          p.XRight = std::max(p.XRight, q.XRight);
          p.YLow = std::min(p.YLow, q.YLow);
          p.YHigh = std::max(p.YHigh, q.YHigh);
          bands.erase(bands.begin() + static_cast<std::ptrdiff_t>(k));
          merged = true;
        }
      }
    }
    // Every band closes to nothing where it meets a pure end or a congruent point: a thin
    // piece of the same two phases within kClosing in X of one is that closing, seen by any
    // grid.
    constexpr double kClosing = 0.1;
    auto closing = [&](const FinerFeature& f, double x, PhaseIndex p, PhaseIndex q) {
      const bool pair = (f.Above == p && f.Below == q) || (f.Above == q && f.Below == p);
      return pair && f.XLeft >= x - kClosing && f.XRight <= x + kClosing;
    };
    bands.erase(std::remove_if(bands.begin(), bands.end(),
                               [&](const FinerFeature& f) {
                                 for (const Transition& t : out_.Transitions)
                                   if (closing(f, t.X, t.AbovePhase, t.BelowPhase)) return true;
                                 for (const CongruentPoint& cp : out_.CongruentPoints)
                                   if (cp.Indices.size() == 2 &&
                                       closing(f, cp.X, cp.Indices[0], cp.Indices[1]))
                                     return true;
                                 return false;
                               }),
                bands.end());
    // Invariants closer than a level step: the field between them shows on no level.
    std::vector<const Invariant*> inv;
    for (const Invariant& i : out_.Invariants)
      if (!i.Phases.empty()) inv.push_back(&i);
    std::sort(inv.begin(), inv.end(),
              [](const Invariant* p, const Invariant* q) { return p->Y < q->Y; });
    for (size_t k = 1; k < inv.size(); ++k) {
      const Invariant& lo = *inv[k - 1];
      const Invariant& hi = *inv[k];
      if (hi.Y - lo.Y >= std::abs(st_.YStep)) continue;
      FinerFeature f{FinerFeature::Kind::CloseInvariants,
                     std::min(lo.Phases.front().X, hi.Phases.front().X),
                     std::max(lo.Phases.back().X, hi.Phases.back().X), lo.Y, hi.Y};
      out_.BelowResolution.push_back(f);
    }
    FieldsEndingUnseen();
  }

  // A field of one phase that ends (or begins) between two levels with no answer there that
  // names the phase: an invariant the grid crossed without a node (two close invariants at one
  // level pair give one node). A field about a column wide shows on one level and not the next
  // wherever it runs: one that is back a level further on has not ended.
  void FieldsEndingUnseen() {
    const CellGrid& g = Grid();
    const int cols = g.ColCount();
    const double ys = std::abs(st_.YStep);
    // An answer explains the end of a field that lies at its composition (within a few columns
    // or kNearField, how far a field's boundary may move in one level). A congruent point
    // begins or ends only the field that closes at it: at a maximum the phase below forms there,
    // at a minimum the phase above ends there (a compound's field is the compound's); the other
    // phase goes on at both sides of it, and where its field ends between the same two levels,
    // invariants the grid did not resolve end it (a compound melting congruently between two
    // eutectics, all three within one level step).
    const double xm = NearField();
    auto explained = [&](PhaseIndex p, bool upper, double xlo, double xhi, double ylo, double yhi) {
      auto near = [&](double y) { return y >= ylo - ys && y <= yhi + ys; };
      auto at = [&](double x) { return x >= xlo - xm && x <= xhi + xm; };
      for (const Invariant& i : out_.Invariants)
        if (near(i.Y))
          for (const RefinedPhase& q : i.Phases)
            if (q.Phase == p && at(q.X)) return true;
      for (const CongruentPoint& c : out_.CongruentPoints) {
        if (c.Indices.size() != 2 || !near(c.Y) || !at(c.X)) continue;
        const bool above_point = e_.Of(c.Indices[0]).IsPoint();
        const bool below_point = e_.Of(c.Indices[1]).IsPoint();
        const bool minimum = c.Type == "lens minimum" || c.Type == "ordering minimum" ||
                             (above_point && !below_point);
        // Two structures of one compound: the one ends where the other begins.
        const bool both = above_point && below_point;
        if (upper ? c.Indices[0] == p && (minimum || both) : c.Indices[1] == p && !minimum)
          return true;
      }
      for (const Transition& t : out_.Transitions)
        if (near(t.Y) && at(t.X) && (t.AbovePhase == p || t.BelowPhase == p)) return true;
      for (const CriticalPoint& c : out_.CriticalPoints)
        if (near(c.Y) && c.Index == p) return true;
      return false;
    };
    // The same phase, or the other form of its model (a second-order change), in `row` within
    // two columns of [first, last].
    auto continues = [&](const PhaseId& id, int row, int first, int last) {
      const SolutionPhase* model_of =
          id.IsPoint() ? nullptr : &sheet_.Phases[static_cast<size_t>(id.solution)];
      for (int c = std::max(1, first - 2); c <= std::min(cols - 1, last + 2); ++c) {
        const PhaseId o = Label(c, row);
        if (!o.Valid()) continue;
        if (o == id) return true;
        if (model_of && model_of->Model && !o.IsPoint() &&
            sheet_.Phases[static_cast<size_t>(o.solution)].Model == model_of->Model)
          return true;
      }
      return false;
    };
    std::vector<std::vector<TR>> runs(static_cast<size_t>(std::max(g.RowCount(), 0)));
    for (int r = 1; r < g.RowCount(); ++r) runs[static_cast<size_t>(r)] = BuildRuns(g, r);
    for (int r = 1; r + 1 < g.RowCount(); ++r) {
      for (const int from : {r, r + 1}) {
        const int to = from == r ? r + 1 : r;
        const int beyond = from == r ? r + 2 : r - 1;
        for (const TR& run : runs[static_cast<size_t>(from)]) {
          if (run.Label.empty()) continue;
          const PhaseId id = Label(run.First, from);
          if (!id.Valid() || continues(id, to, run.First, run.Last)) continue;
          if (beyond >= 1 && beyond < g.RowCount() && continues(id, beyond, run.First, run.Last))
            continue;
          const PhaseIndex p = e_.IndexOf(id);
          if (explained(p, from == r, ColX(run.First), ColX(run.Last), RowY(r + 1), RowY(r)))
            continue;
          FinerFeature f{FinerFeature::Kind::FieldEnds,
                         ColX(run.First),
                         ColX(run.Last),
                         RowY(r + 1),
                         RowY(r),
                         from == r ? p : kNoRunPhase,
                         from == r ? kNoRunPhase : p};
          out_.BelowResolution.push_back(f);
        }
      }
    }
  }

  void CriticalPoints() {
    for (int k = 0; k <= st_.LevelIndex && k < res_.ZPoints.RowCount(); ++k) {
      if (Stopped()) return;
      const std::vector<TZPoint>& row = res_.ZPoints.Row(k);
      for (size_t i = 0; 2 * i + 1 < row.size(); ++i) {
        const TZPoint& hi = row[2 * i];
        const TZPoint& lo = row[2 * i + 1];
        // A gap of one solution phase lies inside 0 < X < 1; a tie line that ends at a pure
        // component joins two records of one column (a point phase stands there).
        if (!(hi.Column > 0 && lo.Column > 0 && hi.Phase == lo.Phase && lo.Y > 0 && lo.X > 0 &&
              hi.X < 1)) {
          continue;
        }
        for (int nb : {k - 1, k + 1}) {
          if (nb < 0 || nb > st_.LevelIndex || nb + 1 >= Grid().RowCount()) continue;
          bool overlaps = false;
          for (const auto& [a, b] : GapSegments(nb, hi.Phase))
            overlaps = overlaps || (a < hi.X && b > lo.X);
          if (overlaps) continue;
          // The neighbour level shows the phase alone over the stretch.
          bool alone = true;
          for (int c = 1; c < Grid().ColCount() && alone; ++c) {
            const double x = ColX(c);
            if (x >= lo.X && x <= hi.X) alone = Grid().Phase(c, nb + 1) == hi.Phase;
          }
          if (!alone) continue;
          AddCritical(hi.Phase, lo.X, hi.X, lo.Y, RowY(nb + 1));
        }
      }
    }
  }

  void AddCritical(PhaseIndex phase, double xlo, double xhi, double y_gap, double y_none) {
    CriticalPoint cp;
    cp.Phase = res_.PhaseName(phase);
    cp.Index = phase;
    cp.X = 0.5 * (xlo + xhi);
    cp.Y = 0.5 * (y_gap + y_none);
    cp.Approximate = true;
    const PhaseId id = e_.Of(phase);
    if (id.Valid()) {
      try {
        double u[2] = {cp.X, cp.Y};
        auto f = [&](const double* v, double* r) {
          const XDerivatives d = e_.D(id, v[0], v[1], true);
          r[0] = d.g2;
          r[1] = d.g3;
        };
        auto ok = [](const double* v) { return v[0] > 0 && v[0] < 1 && std::isfinite(v[1]); };
        const double m = std::min(u[0], 1 - u[0]);
        const double ys = std::max(std::abs(y_none - y_gap), kSmallestYScale);
        const double steps[2] = {kCriticalJacobianStep * m, kCriticalJacobianStep * ys};
        const double tol[2] = {kToleranceX * m, kToleranceY * std::max(std::abs(u[1]), ys)};
        bool solved = numeric::NewtonSystem(2, f, u, steps, tol, ok);
        // G''' is a difference of differences: where the steps settle above the tolerances
        // (COST507 Sn-Zr's liquid, whose gap closes at 2024.1 K), they go on from where they
        // stopped with tolerances kNoisyCritical times wider.
        constexpr double kNoisyCritical = 1e3;
        if (!solved) {
          const double wider[2] = {kNoisyCritical * tol[0], kNoisyCritical * tol[1]};
          solved = numeric::NewtonSystem(2, f, u, steps, wider, ok);
        }
        if (solved && Within(u[1], std::min(y_gap, y_none), std::max(y_gap, y_none)) &&
            Within(u[0], xlo - st_.XStep, xhi + st_.XStep)) {
          cp.X = u[0];
          cp.Y = u[1];
          cp.Approximate = false;
        }
      } catch (const std::exception&) {
      }
    }
    out_.CriticalPoints.push_back(std::move(cp));
  }

  const std::atomic<bool>* stop_;
  Energies e_;
  PhaseSheet& sheet_;
  Results& res_;
  const SweepState& st_;
  RefinedResults& out_;
  std::vector<double> row_y_, col_x_;
  std::vector<Solved> solved_;
};

}  // namespace

std::string InvariantType(bool middle_above, const bool fluid[3], bool same_as_outer) {
  const int outer_fluid = int{fluid[0]} + int{fluid[2]};
  if (middle_above) {
    // The middle phase decomposes into the outer two.
    if (fluid[1]) return outer_fluid == 0 ? "eutectic" : "monotectic";
    if (outer_fluid > 0) return "metatectic";
    return same_as_outer ? "monotectoid" : "eutectoid";
  }
  // The outer two form the middle phase.
  if (fluid[1]) return "catatectic";
  if (outer_fluid == 2) return "syntectic";
  if (outer_fluid == 1) return "peritectic";
  return "peritectoid";
}

void RefineResults(PhaseSheet& sheet, Results& results, const std::atomic<bool>* stop) {
  numeric::ClearUpperVectorState();
  results.Refined.Clear();
  results.Refined.Ran = Refiner(sheet, results, stop).Run();
}

}  // namespace calc
