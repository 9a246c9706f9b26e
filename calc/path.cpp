#include "calc/path.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "calc/path_solver.h"

namespace calc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMaxPathPoints = 1000000;
// Crossings found inside one step of the path beyond the first (a step across a narrow field).
constexpr int kMaxNestedCrossings = 6;

using StateAt = std::function<PathState(double)>;

class Stepper {
 public:
  Stepper(PhaseSheet& sheet, const PathRequest& request, PathResult& out)
      : sheet_(sheet), request_(request), out_(out), solver_(sheet) {
    state_ = [this](double at) {
      PathState s;
      const bool temperature = request_.Yparameter != YParameter::Pressure;
      const double level = request_.Along == PathAxis::Y ? at : request_.Y;
      s.T = temperature ? level : request_.Z;
      s.p = temperature ? request_.Z : level;
      s.x = request_.Along == PathAxis::X ? at : request_.X;
      s.x = std::clamp(s.x, 0.0, 1.0);
      return s;
    };
  }

  void Run() {
    out_.GasConstant = solver_.GasConstant();
    if (!CheckReferences()) return;
    const int n = request_.Points;
    Assemblage current;
    double last = request_.From;
    for (int i = 0; i < n; ++i) {
      const double at = i == n - 1
                            ? request_.To
                            : request_.From + (request_.To - request_.From) * (double(i) / (n - 1));
      const PathState s = state_(at);
      bool approximate = false;
      Assemblage next = current;
      if (i == 0 || !solver_.StillStable(next, s, true)) {
        next = solver_.Solve(s, &approximate);
        if (!Failed(at) && !next.solved) {
          out_.Error = "no phase has a Gibbs energy at " + Where(at);
        }
        if (!out_.Error.empty()) return;
        if (i > 0 && !next.SamePhases(current)) Crossings(current, last, next, at, 0);
        if (Failed(at)) return;
      }
      out_.Points.push_back(Point(next, at, approximate));
      if (Failed(at)) return;
      current = next;
      last = at;
    }
  }

 private:
  std::string Where(double at) const {
    char buf[64];
    if (request_.Along == PathAxis::X) {
      std::snprintf(buf, sizeof buf, "X = %.10g", at);
    } else {
      std::snprintf(buf, sizeof buf,
                    request_.Yparameter == YParameter::Pressure ? "p = %.10g bar" : "T = %.10g K",
                    at);
    }
    return buf;
  }

  bool Failed(double at) {
    if (out_.Error.empty() && !solver_.Error().empty())
      out_.Error = solver_.Error() + " on the way to " + Where(at);
    return !out_.Error.empty();
  }

  bool CheckReferences() {
    for (const auto& [name, atB] :
         {std::pair{&request_.ReferenceA, false}, {&request_.ReferenceB, true}}) {
      if (name->empty()) continue;
      bool found = false;
      for (const SolutionPhase& ph : sheet_.Phases) found = found || ph.Name == *name;
      for (const PointPhase& pp : sheet_.PointPhases) {
        found = found || (sheet_.Label(pp.Text) == *name && pp.Composition == (atB ? 1.0 : 0.0));
      }
      if (!found) {
        out_.Error = "no phase " + *name + " of pure " + (atB ? "B" : "A") + " in the sheet";
        return false;
      }
    }
    return true;
  }

  PathPoint Point(const Assemblage& a, double at, bool approximate) {
    const PathState s = state_(at);
    PathPoint p;
    p.At = at;
    p.T = s.T;
    p.p = s.p;
    p.X = s.x;
    p.Phases = solver_.Phases(a, s);
    p.MuA = a.MuA;
    p.MuB = a.MuB;
    if (s.x <= 0 || s.x >= 1) {
      // At a pure component the other one's potential comes from the point inspection, which
      // knows when it is -infinity.
      const Equilibrium eq = SolveEquilibrium(sheet_, s.T, s.p, s.x, 201);
      if (eq.Error.empty()) {
        p.MuA = eq.MuA;
        p.MuB = eq.MuB;
      }
    }
    solver_.Thermo(a, s, p.G, p.H, p.Cp);
    const double RT = out_.GasConstant * s.T;
    const double refA = solver_.PureEnergy(false, request_.ReferenceA, s.T, s.p);
    const double refB = solver_.PureEnergy(true, request_.ReferenceB, s.T, s.p);
    p.ActivityA = std::exp((p.MuA - refA) / RT);
    p.ActivityB = std::exp((p.MuB - refB) / RT);
    p.Approximate = approximate;
    return p;
  }

  // Every crossing between `from`, where `before` is stable, and `to`, where `after` is.
  void Crossings(Assemblage before, double from, const Assemblage& after, double to, int depth) {
    double lo = 0, hi = 0;
    Assemblage a = before;
    if (solver_.Boundary(state_, a, from, to, true, lo, hi)) {
      bool approximate = false;
      Assemblage next = solver_.Solve(state_(hi), &approximate);
      if (Failed(hi)) return;
      if (next.solved && !next.SamePhases(a)) {
        Add(a, lo, next, hi, approximate);
        if (!next.SamePhases(after) && depth < kMaxNestedCrossings)
          Crossings(next, hi, after, to, depth + 1);
        return;
      }
    }
    // From the other side: where `after` stops being stable on the way back.
    Assemblage b = after;
    if (solver_.Boundary(state_, b, to, from, true, lo, hi)) {
      bool approximate = false;
      Assemblage previous = solver_.Solve(state_(hi), &approximate);
      if (Failed(hi)) return;
      if (previous.solved && !previous.SamePhases(b)) {
        Add(previous, hi, b, lo, approximate || !previous.SamePhases(before));
        return;
      }
    }
    if (Failed(to)) return;
    // Neither side's boundary could be solved: the step's ends are all that is known.
    Add(before, from, after, to, true);
  }

  void Add(const Assemblage& before, double at1, const Assemblage& after, double at2,
           bool approximate) {
    PathCrossing c;
    c.At = 0.5 * (at1 + at2);
    c.Before = Point(before, at1, false);
    c.After = Point(after, at2, false);
    c.Before.At = c.After.At = c.At;
    c.Approximate = approximate;
    out_.Crossings.push_back(std::move(c));
  }

  PhaseSheet& sheet_;
  const PathRequest& request_;
  PathResult& out_;
  PathSolver solver_;
  StateAt state_;
};

}  // namespace

std::string CheckPathRequest(const PathRequest& request) {
  if (request.Points < 2 || request.Points > kMaxPathPoints)
    return "the path needs 2 to " + std::to_string(kMaxPathPoints) + " points";
  if (!std::isfinite(request.From) || !std::isfinite(request.To))
    return "the path's ends must be numbers";
  if (!(request.Z > 0) || !std::isfinite(request.Z))
    return request.Yparameter == YParameter::Pressure ? "the temperature must be above 0 K"
                                                      : "the pressure must be above 0 bar";
  const char* level = request.Yparameter == YParameter::Pressure ? "pressures" : "temperatures";
  if (request.Along == PathAxis::Y) {
    if (!(request.X >= 0 && request.X <= 1)) return "X must lie in 0..1";
    if (!(request.From > 0 && request.To > 0))
      return std::string("the path's ") + level + " must be above 0";
  } else {
    if (!(request.Y > 0) || !std::isfinite(request.Y))
      return std::string("the level must be above 0");
    if (!(request.From >= 0 && request.From <= 1 && request.To >= 0 && request.To <= 1))
      return "the path's compositions must lie in 0..1";
  }
  return {};
}

PathResult StepPath(PhaseSheet& sheet, const PathRequest& request) {
  PathResult out;
  out.Error = CheckPathRequest(request);
  if (!out.Error.empty()) return out;
  Stepper(sheet, request, out).Run();
  return out;
}

std::vector<PhaseTrack> TrackPhases(const std::vector<const PathPoint*>& points) {
  std::vector<PhaseTrack> tracks;
  std::map<std::string, size_t> index;
  const size_t n = points.size();
  for (size_t i = 0; i < n; ++i) {
    std::map<std::string, int> seen;
    for (const EquilibriumPhase& ph : points[i]->Phases) {
      const int count = ++seen[ph.Name];
      const std::string name = count == 1 ? ph.Name : ph.Name + "#" + std::to_string(count);
      auto [it, added] = index.emplace(name, tracks.size());
      if (added)
        tracks.push_back(
            {name, ph.PointPhase, std::vector<double>(n, 0.0), std::vector<double>(n, kNaN)});
      PhaseTrack& t = tracks[it->second];
      t.Amount[i] = ph.Amount;
      t.X[i] = ph.X;
    }
  }
  return tracks;
}

std::vector<PhaseTrack> TrackPhases(const std::vector<PathPoint>& points) {
  std::vector<const PathPoint*> all;
  for (const PathPoint& p : points) all.push_back(&p);
  return TrackPhases(all);
}

std::vector<const PathPoint*> PointsWithCrossings(const PathResult& path) {
  std::vector<const PathPoint*> out;
  const bool rising = path.Points.size() < 2 || path.Points.back().At >= path.Points.front().At;
  auto before = [&](double a, double b) { return rising ? a < b : a > b; };
  size_t c = 0;
  for (const PathPoint& p : path.Points) {
    for (; c < path.Crossings.size() && before(path.Crossings[c].At, p.At); ++c) {
      out.push_back(&path.Crossings[c].Before);
      out.push_back(&path.Crossings[c].After);
    }
    out.push_back(&p);
  }
  for (; c < path.Crossings.size(); ++c) {
    out.push_back(&path.Crossings[c].Before);
    out.push_back(&path.Crossings[c].After);
  }
  return out;
}

}  // namespace calc
