#include "calc/scheil.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "calc/path_solver.h"

namespace calc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Where the liquid's and the solid's compositions meet, the liquid is used up (its amount
// falls as (x_S - x_L) closes, faster than any power).
constexpr double kMeetingGap = 1e-7;

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// The parabola through (x0, g0), (xm, gm), (x1, g1), integrated from x0; the straight line
// through the ends when xm does not lie between them.
class Parabola {
 public:
  Parabola(double x0, double g0, double xm, double gm, double x1, double g1) : x0_(x0), g0_(g0) {
    const double h = x1 - x0, d = xm - x0;
    if (h != 0 && d / h > 1e-6 && d / h < 1 - 1e-6 && std::isfinite(gm)) {
      c1_ = (gm - g0) / d;
      c2_ = ((g1 - g0) / h - c1_) / (h - d);
      d_ = d;
    } else if (h != 0) {
      c1_ = (g1 - g0) / h;
    }
  }
  // The integral from x0 to x.
  double Area(double x) const {
    const double t = x - x0_;
    return g0_ * t + c1_ * t * t / 2 + c2_ * (t * t * t / 3 - d_ * t * t / 2);
  }

 private:
  double x0_, g0_, c1_ = 0, c2_ = 0, d_ = 0;
};

class ScheilPath {
 public:
  ScheilPath(PhaseSheet& sheet, const ScheilRequest& request, ScheilResult& r)
      : request_(request), r_(r), solver_(sheet) {}

  void Run(int liquid) {
    liquid_ = liquid;
    const int n = request_.Points;
    auto gridT = [&](int i) {
      return i == n - 1 ? request_.To
                        : request_.From + (request_.To - request_.From) * (double(i) / (n - 1));
    };
    // Down to the liquidus: the liquid alone at the alloy's composition.
    Assemblage melt;
    melt.members = {{liquid, request_.X}};
    if (!solver_.StillStable(melt, At(request_.From, request_.X), true)) {
      if (!Failed())
        r_.Error = "the alloy is not all " + r_.Liquid + " at T = " + Number(request_.From) +
                   " K: start the path above its liquidus";
      return;
    }
    Record(request_.From, request_.X);
    int i = 1;
    double Tc = request_.From;
    Assemblage first;
    for (; i < n; ++i) {
      Assemblage t = melt;
      const double T = gridT(i);
      if (solver_.StillStable(t, At(T, request_.X), true)) {
        melt = t;
        Record(T, request_.X);
        Tc = T;
        continue;
      }
      if (Failed()) return;
      double lo = 0, hi = 0;
      solver_.Boundary([&](double y) { return At(y, request_.X); }, melt, Tc, T, true, lo, hi);
      r_.LiquidusT = lo;
      Record(lo, request_.X);
      bool approximate = false;
      first = solver_.Solve(At(hi, request_.X), &approximate);
      Tc = lo;
      break;
    }
    if (Failed()) return;
    if (i == n) {
      Finish(ScheilEnd::LowestLevel, request_.To);
      r_.Note = "no solid forms down to " + Number(request_.To) + " K";
      return;
    }
    if (!first.solved) return Stop(Tc, "the equilibrium below the liquidus could not be solved");
    const int solids = CountSolids(first);
    if (solids == static_cast<int>(first.members.size())) {
      // Frozen at one temperature: a pure component or a congruent composition.
      FormAll(first, 1);
      r_.LastLiquid = 1;
      fL_ = 0;
      Record(Tc, kNaN);
      Finish(ScheilEnd::AtOnce, Tc);
      r_.Events.push_back({Tc, "the alloy freezes at once"});
      return;
    }
    if (first.members.size() != 2 || solids != 1)
      return Stop(Tc, "the liquid does not freeze into one solid below its liquidus");
    pair_ = first;
    Assemblage atStart = pair_;
    if (solver_.Continue(atStart, At(Tc, request_.X))) pair_ = atStart;
    r_.Events.push_back({Tc, solver_.Name(Solid()) + " forms"});
    double xL = LiquidX(pair_);

    // The Scheil path: the liquid's line (its tangent with the solid) followed down.
    while (i < n) {
      if (r_.Events.size() > 100) return Stop(Tc, "the solid forming changes too often");
      const double T = gridT(i);
      Assemblage next = pair_;
      if (solver_.StillStable(next, At(T, xL), false)) {
        if (!Step(Tc, T, next)) return;
        xL = LiquidX(pair_);
        Tc = T;
        ++i;
        if (std::abs(xL - SolidX(pair_)) < kMeetingGap) return LiquidGone(Tc);
        continue;
      }
      if (Failed()) return;
      // The line stops being the stable one: a new solid touches it.
      Assemblage line = pair_;
      double lo = 0, hi = 0;
      if (!solver_.Boundary([&](double y) { return At(y, xL); }, line, Tc, T, false, lo, hi)) {
        return Stop(Tc, "the liquid's line could not be followed below " + Number(Tc) + " K");
      }
      if (!Step(Tc, lo, line)) return;
      xL = LiquidX(pair_);
      Tc = lo;
      if (std::abs(xL - SolidX(pair_)) < kMeetingGap) return LiquidGone(Tc);
      bool approximate = false;
      const Assemblage after = solver_.Solve(At(hi, xL), &approximate);
      if (Failed()) return;
      if (!after.solved)
        return Stop(Tc, "the equilibrium below " + Number(Tc) + " K could not be solved");
      const int afterSolids = CountSolids(after);
      if (afterSolids == static_cast<int>(after.members.size())) {
        // The last liquid freezes into the solids beside it.
        std::string text = "eutectic " + r_.Liquid + " →";
        for (size_t k = 0; k < after.members.size(); ++k)
          text += (k ? " + " : " ") + solver_.Name(after.members[k].phase);
        FormAll(after, fL_);
        r_.Events.push_back({Tc, text});
        r_.LastLiquid = fL_;
        fL_ = 0;
        Record(Tc, kNaN);
        Finish(ScheilEnd::Eutectic, Tc);
        return;
      }
      if (after.members.size() == 2 && afterSolids == 1) {
        const int was = Solid();
        pair_ = after;
        Assemblage here = pair_;
        if (solver_.Continue(here, At(Tc, xL))) pair_ = here;
        r_.Events.push_back({Tc, solver_.Name(Solid()) + " forms instead of " + solver_.Name(was)});
        continue;
      }
      return Stop(Tc, afterSolids == 0 ? "the liquid separates into two liquids"
                                       : "the liquid stops freezing");
    }
    Finish(ScheilEnd::LowestLevel, Tc);
    r_.LastLiquid = fL_;
  }

 private:
  PathState At(double T, double x) const { return {T, request_.P, x}; }

  static std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
  }

  bool Failed() {
    if (r_.Error.empty() && !solver_.Error().empty()) r_.Error = solver_.Error();
    return !r_.Error.empty();
  }

  int CountSolids(const Assemblage& a) const {
    int n = 0;
    for (const Member& m : a.members) n += m.phase != liquid_;
    return n;
  }
  const Member& LiquidMember(const Assemblage& a) const {
    return a.members[0].phase == liquid_ ? a.members[0] : a.members[1];
  }
  const Member& SolidMember(const Assemblage& a) const {
    return a.members[0].phase == liquid_ ? a.members[1] : a.members[0];
  }
  double LiquidX(const Assemblage& a) const { return LiquidMember(a).x; }
  double SolidX(const Assemblage& a) const { return SolidMember(a).x; }
  int Solid() const { return SolidMember(pair_).phase; }

  // 1 / (x_S - x_L) on the line a: d ln f_L = dx_L / (x_S - x_L), from the balance of B
  // between the liquid and the solid it leaves.
  double Integrand(const Assemblage& a) const { return 1 / (SolidX(a) - LiquidX(a)); }

  // From the line solved at T0 (pair_) to the line `next` solved at T1: the liquid's amount
  // from the integral along x_L (a parabola through the middle temperature's tie line too).
  bool Step(double T0, double T1, const Assemblage& next) {
    Assemblage mid = pair_;
    const bool middle = solver_.Continue(mid, At(0.5 * (T0 + T1), LiquidX(pair_)));
    const double x0 = LiquidX(pair_), x1 = LiquidX(next), xm = middle ? LiquidX(mid) : kNaN;
    const Parabola ln(x0, Integrand(pair_), xm, middle ? Integrand(mid) : kNaN, x1,
                      Integrand(next));
    const double area = ln.Area(x1);
    if (!std::isfinite(area)) return Stop(T0, "the liquid's amount could not be integrated"), false;
    const double fL = fL_ * std::exp(area);
    // The solid formed over the step, its composition going from one tie line's to the next:
    // the integral of x_S over the amount formed, on the same three tie lines.
    const double fm = middle ? fL_ * std::exp(ln.Area(xm)) : kNaN;
    const Parabola b(fL_, SolidX(pair_), fm, middle ? SolidX(mid) : kNaN, fL, SolidX(next));
    Form(Solid(), fL_ - fL, fL_ - fL > 0 ? -b.Area(fL) / (fL_ - fL) : SolidX(next));
    fL_ = fL;
    pair_ = next;
    Record(T1, LiquidX(pair_));
    return true;
  }

  // `amount` of the whole frozen into the solids of `a` in their proportions at its state; a
  // phase present twice (both sides of a gap) has its second part as "NAME#2".
  void FormAll(const Assemblage& a, double amount) {
    for (size_t k = 0; k < a.members.size(); ++k) {
      const bool second = k > 0 && a.members[k].phase == a.members[k - 1].phase;
      Form(solver_.Name(a.members[k].phase) + (second ? "#2" : ""),
           amount * std::clamp(a.amounts[k], 0.0, 1.0), a.members[k].x);
    }
  }

  void Form(int phase, double amount, double x) { Form(solver_.Name(phase), amount, x); }
  void Form(const std::string& name, double amount, double x) {
    size_t k = 0;
    while (k < r_.Solids.size() && r_.Solids[k] != name) ++k;
    if (k == r_.Solids.size()) {
      r_.Solids.push_back(name);
      r_.SolidAmounts.emplace_back(r_.T.size(), 0.0);
      r_.SolidB.emplace_back(r_.T.size(), 0.0);
      formed_.push_back(0);
      formedB_.push_back(0);
    }
    formed_[k] += amount;
    formedB_[k] += amount * x;
  }

  void Record(double T, double xL) {
    r_.T.push_back(T);
    r_.FractionSolid.push_back(1 - fL_);
    r_.LiquidX.push_back(fL_ > 0 ? xL : kNaN);
    for (size_t k = 0; k < formed_.size(); ++k) {
      r_.SolidAmounts[k].push_back(formed_[k]);
      r_.SolidB[k].push_back(formedB_[k]);
    }
  }

  void LiquidGone(double T) {
    r_.LastLiquid = fL_;
    Form(Solid(), fL_, LiquidX(pair_));
    fL_ = 0;
    Record(T, kNaN);
    Finish(ScheilEnd::LiquidGone, T);
  }

  void Finish(ScheilEnd end, double T) {
    r_.End = end;
    r_.EndT = T;
  }

  void Stop(double T, const std::string& why) {
    r_.LastLiquid = fL_;
    r_.Note = why + " at T = " + Number(T) + " K; the path stops there";
    Finish(ScheilEnd::Stopped, T);
  }

  const ScheilRequest& request_;
  ScheilResult& r_;
  PathSolver solver_;
  int liquid_ = 0;
  Assemblage pair_;
  double fL_ = 1;
  std::vector<double> formed_, formedB_;
};

}  // namespace

std::string FindLiquid(const PhaseSheet& sheet, const std::string& wanted) {
  std::vector<std::string> candidates;
  for (const SolutionPhase& ph : sheet.Phases) {
    if (!ph.HasExpression()) continue;
    const std::string up = Upper(ph.Name);
    if (!wanted.empty()) {
      if (ph.Name == wanted) return ph.Name;
      continue;
    }
    if (up == "LIQUID" || up == "L") return ph.Name;
    if (up.rfind("LIQ", 0) == 0) candidates.push_back(ph.Name);
  }
  return candidates.size() == 1 ? candidates[0] : std::string();
}

std::string CheckScheilRequest(const ScheilRequest& request) {
  if (request.Points < 2 || request.Points > 1000000) return "the path needs 2 to 1000000 points";
  if (!(request.X >= 0 && request.X <= 1)) return "X must lie in 0..1";
  if (!(request.From > 0 && request.To > 0) || !std::isfinite(request.From) ||
      !std::isfinite(request.To))
    return "the path's temperatures must be above 0 K";
  if (!(request.From > request.To))
    return "a Scheil path runs from a higher temperature to a lower one";
  if (!(request.P > 0) || !std::isfinite(request.P)) return "the pressure must be above 0 bar";
  return {};
}

ScheilResult Scheil(PhaseSheet& sheet, const ScheilRequest& request) {
  ScheilResult r;
  r.LiquidusT = r.EndT = r.LastLiquid = kNaN;
  r.Error = CheckScheilRequest(request);
  if (!r.Error.empty()) return r;
  r.Liquid = FindLiquid(sheet, request.Liquid);
  if (r.Liquid.empty()) {
    r.Error = request.Liquid.empty() ? "the sheet has no phase called LIQUID or L: name the liquid"
                                     : "the sheet has no solution phase " + request.Liquid;
    return r;
  }
  int liquid = 0;
  while (sheet.Phases[static_cast<size_t>(liquid)].Name != r.Liquid) ++liquid;
  ScheilPath(sheet, request, r).Run(liquid);
  return r;
}

ScheilResult ScheilByMass(const ScheilResult& r, double x0, const ComponentMasses& m) {
  ScheilResult out = r;
  const double whole = MolarMass(x0, m);
  double lastX = kNaN;
  for (size_t i = 0; i < r.T.size(); ++i) {
    if (r.FractionSolid[i] < 1) {
      out.FractionSolid[i] = 1 - (1 - r.FractionSolid[i]) * MolarMass(r.LiquidX[i], m) / whole;
      lastX = r.LiquidX[i];
    }
    for (size_t k = 0; k < r.Solids.size(); ++k) {
      // n moles of atoms of which nB are B: n mA + nB (mB - mA).
      out.SolidAmounts[k][i] = (r.SolidAmounts[k][i] * m.A + r.SolidB[k][i] * (m.B - m.A)) / whole;
    }
  }
  if (std::isfinite(r.LastLiquid) && std::isfinite(lastX))
    out.LastLiquid = r.LastLiquid * MolarMass(lastX, m) / whole;
  return out;
}

const char* ScheilEndText(ScheilEnd end) {
  switch (end) {
    case ScheilEnd::Eutectic:
      return "eutectic";
    case ScheilEnd::LiquidGone:
      return "liquid used up";
    case ScheilEnd::LowestLevel:
      return "lowest temperature";
    case ScheilEnd::AtOnce:
      return "froze at once";
    case ScheilEnd::Stopped:
      return "stopped";
  }
  return "";
}

}  // namespace calc
