// The compiled part of one alloy along a path in Python: Problem.step, Problem.scheil and
// Problem.activities through calc/path and calc/scheil, giving dicts of numpy arrays in the
// shapes brelona-calc step writes (brelona/__init__.py wraps them).

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/equilibrium.h"
#include "calc/headless_host.h"
#include "calc/masses.h"
#include "calc/path.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"
#include "calc/scheil.h"

namespace py = pybind11;

namespace {

py::array_t<double> Array(const std::vector<double>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  if (!v.empty()) std::memcpy(a.mutable_data(), v.data(), v.size() * sizeof(double));
  return a;
}

// Compiles the problem's sheet; its messages are collected and a failed compilation raises
// them as the module's error.
class Sheet : public calc::HeadlessHost {
 public:
  explicit Sheet(const calc::ProblemInput& p) {
    if (!sheet.Compile(p.Functs, '.') || (sheet.Phases.empty() && sheet.PointPhases.empty()))
      throw std::runtime_error(messages.empty() ? "the sheet has no phase" : messages);
  }
  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override {
    messages += (messages.empty() ? "" : "\n") + text;
    return HeadlessHost::MessageDlg(text, type, buttons);
  }
  void ShowMessage(const std::string& text) override {
    messages += (messages.empty() ? "" : "\n") + text;
  }
  std::string messages;
  calc::PhaseSheet sheet{*this};
};

// Compositions in and out: mole fractions, or with wt weight percent of B (and amounts as
// mass fractions).
struct Units {
  bool wt = false;
  calc::ComponentMasses m;
  Units(const calc::ProblemInput& p, bool weight)
      : wt(weight), m(calc::ReadComponentMasses(p.Functs)) {
    if (wt && !m.Known())
      throw py::value_error(
          "wt needs the components' masses: the sheet names no elements in '% components:' and "
          "gives no '% masses:' line");
  }
  double In(double v, const char* what) const {
    if (!wt) return v;
    if (!(v >= 0 && v <= 100))
      throw py::value_error(std::string(what) + " must lie in 0..100 (wt%)");
    return calc::MoleFractionB(v / 100, m);
  }
  double X(double x) const { return wt && std::isfinite(x) ? 100 * calc::MassFractionB(x, m) : x; }
  double Amount(double n, double x, double overall) const {
    return wt ? calc::PhaseMassFraction(n, x, overall, m) : n;
  }
};

double Fixed(const calc::ProblemInput& p) {
  // As a run does: the fixed pressure of a temperature diagram is at least taken as 1 bar.
  return p.Yparameter == calc::YParameter::Temperature && !(p.Zvalue > 0) ? 1 : p.Zvalue;
}

py::dict PathDict(const calc::PathRequest& request, const calc::PathResult& path, const Units& u) {
  const bool alongX = request.Along == calc::PathAxis::X;
  std::vector<double> along, muA, muB, G, H, Cp, aA, aB;
  py::array_t<bool> approximate(static_cast<py::ssize_t>(path.Points.size()));
  bool* flag = approximate.mutable_data();
  for (const calc::PathPoint& pt : path.Points) {
    along.push_back(alongX ? u.X(pt.At) : pt.At);
    muA.push_back(pt.MuA);
    muB.push_back(pt.MuB);
    G.push_back(pt.G);
    H.push_back(pt.H);
    Cp.push_back(pt.Cp);
    aA.push_back(pt.ActivityA);
    aB.push_back(pt.ActivityB);
    *flag++ = pt.Approximate;
  }
  py::dict phases;
  for (const calc::PhaseTrack& t : calc::TrackPhases(path.Points)) {
    std::vector<double> amount, x;
    for (size_t i = 0; i < path.Points.size(); ++i) {
      amount.push_back(u.Amount(t.Amount[i], t.X[i], path.Points[i].X));
      x.push_back(u.X(t.X[i]));
    }
    py::dict ph;
    ph["amount"] = Array(amount);
    ph["x"] = Array(x);
    phases[py::str(t.Name)] = ph;
  }
  py::list crossings;
  for (const calc::PathCrossing& c : path.Crossings) {
    py::list before, after;
    for (const auto& ph : c.Before.Phases) before.append(ph.Name);
    for (const auto& ph : c.After.Phases) after.append(ph.Name);
    py::dict d;
    d[alongX ? "x" : "y"] = alongX ? u.X(c.At) : c.At;
    d["before"] = before;
    d["after"] = after;
    d["approximate"] = c.Approximate;
    crossings.append(d);
  }
  py::dict d;
  d["along"] = alongX ? "x" : request.Yparameter == calc::YParameter::Pressure ? "p" : "T";
  d[alongX ? "x" : "y"] = Array(along);
  if (alongX) {
    d["y"] = request.Y;
  } else {
    d["x"] = u.X(request.X);
  }
  d["composition"] = u.wt ? "wt%" : "mole fraction";
  d["phases"] = phases;
  d["mu_a"] = Array(muA);
  d["mu_b"] = Array(muB);
  d["G"] = Array(G);
  d["H"] = Array(H);
  d["Cp"] = Array(Cp);
  d["activity_a"] = Array(aA);
  d["activity_b"] = Array(aB);
  d["reference_a"] = request.ReferenceA;
  d["reference_b"] = request.ReferenceB;
  d["crossings"] = crossings;
  d["approximate"] = approximate;
  d["error"] = path.Error;
  return d;
}

py::dict Step(const calc::ProblemInput& p, const std::optional<double>& x,
              const std::optional<double>& from, const std::optional<double>& to, int points,
              const std::string& along, const std::optional<double>& y, bool wt,
              const std::string& referenceA, const std::string& referenceB) {
  if (p.Yparameter == calc::YParameter::None) throw py::value_error("the problem's y is not set");
  const Units u(p, wt);
  calc::PathRequest request;
  request.Yparameter = p.Yparameter;
  request.Z = Fixed(p);
  request.Points = points;
  request.ReferenceA = referenceA;
  request.ReferenceB = referenceB;
  if (along == "x") {
    if (!y) throw py::value_error("along=\"x\" needs the level: y=...");
    request.Along = calc::PathAxis::X;
    request.Y = *y;
    request.From = from ? u.In(*from, "from_") : 0;
    request.To = to ? u.In(*to, "to") : 1;
  } else if (along == "y") {
    if (!x) throw py::value_error("step needs the alloy: x=...");
    request.X = u.In(*x, "x");
    request.From = from ? *from : p.Ymax;
    request.To = to ? *to : p.Ymin;
  } else {
    throw py::value_error("along must be \"y\" or \"x\", got \"" + along + "\"");
  }
  if (const std::string why = calc::CheckPathRequest(request); !why.empty())
    throw py::value_error(why);
  Sheet sheet(p);
  calc::PathResult path;
  {
    py::gil_scoped_release release;
    path = calc::StepPath(sheet.sheet, request);
  }
  if (path.Points.empty()) throw std::runtime_error(path.Error);
  return PathDict(request, path, u);
}

py::dict ScheilPath(const calc::ProblemInput& p, double x, const std::optional<double>& from,
                    const std::optional<double>& to, int points, bool wt,
                    const std::string& liquid) {
  if (p.Yparameter != calc::YParameter::Temperature)
    throw py::value_error("scheil needs a problem along temperature");
  const Units u(p, wt);
  calc::ScheilRequest request;
  request.X = u.In(x, "x");
  request.From = from ? *from : p.Ymax;
  request.To = to ? *to : p.Ymin;
  request.Points = points;
  request.P = Fixed(p);
  request.Liquid = liquid;
  if (const std::string why = calc::CheckScheilRequest(request); !why.empty())
    throw py::value_error(why);
  Sheet sheet(p);
  calc::ScheilResult r;
  {
    py::gil_scoped_release release;
    r = calc::Scheil(sheet.sheet, request);
  }
  if (!r.Error.empty()) throw std::runtime_error(r.Error);
  if (u.wt) r = calc::ScheilByMass(r, request.X, u.m);
  std::vector<double> xL;
  for (double v : r.LiquidX) xL.push_back(u.X(v));
  py::dict solids;
  for (size_t k = 0; k < r.Solids.size(); ++k) {
    py::dict s;
    s["amount"] = Array(r.SolidAmounts[k]);
    solids[py::str(r.Solids[k])] = s;
  }
  py::list events;
  for (const calc::ScheilEvent& e : r.Events) events.append(py::make_tuple(e.T, e.Text));
  py::dict d;
  d["x"] = u.X(request.X);
  d["composition"] = u.wt ? "wt%" : "mole fraction";
  d["liquid"] = r.Liquid;
  d["y"] = Array(r.T);
  d["fraction_solid"] = Array(r.FractionSolid);
  d["liquid_x"] = Array(xL);
  d["solids"] = solids;
  d["liquidus"] = r.LiquidusT;
  d["end"] = calc::ScheilEndText(r.End);
  d["end_y"] = r.EndT;
  d["last_liquid"] = r.LastLiquid;
  d["events"] = events;
  d["note"] = r.Note;
  return d;
}

// The equilibrium at level y and composition x, as brelona-calc point gives it.
py::dict Point(const calc::ProblemInput& p, double y, double x) {
  if (!(x >= 0 && x <= 1)) throw py::value_error("x must lie in 0..1");
  if (!(y > 0) || !std::isfinite(y)) throw py::value_error("y must be a number above 0");
  if (p.Yparameter == calc::YParameter::None)
    throw py::value_error("the problem's Y parameter is not set");
  Sheet s(p);
  const bool temperature = p.Yparameter == calc::YParameter::Temperature;
  const double T = temperature ? y : Fixed(p), pressure = temperature ? Fixed(p) : y;
  const calc::Equilibrium eq = calc::SolveEquilibrium(s.sheet, T, pressure, x);
  if (!eq.Error.empty()) throw std::runtime_error(eq.Error);
  py::list phases;
  for (const calc::EquilibriumPhase& ph : eq.Phases)
    phases.append(py::dict(py::arg("name") = ph.Name, py::arg("point_phase") = ph.PointPhase,
                           py::arg("X") = ph.X, py::arg("amount") = ph.Amount,
                           py::arg("G") = ph.G));
  return py::dict(py::arg("Y") = y, py::arg("X") = eq.X, py::arg("T") = T, py::arg("p") = pressure,
                  py::arg("phases") = phases, py::arg("G") = eq.G, py::arg("muA") = eq.MuA,
                  py::arg("muB") = eq.MuB, py::arg("approximate") = eq.Approximate);
}

}  // namespace

void BindPath(py::module_& m) {
  py::object problem = m.attr("Problem");
  problem.attr("point") = py::cpp_function(
      &Point, py::is_method(problem), py::arg("y"), py::arg("x"),
      "The equilibrium at level y (temperature or pressure, as the problem sweeps) and\n"
      "composition x: dict of X, Y, T, p, the stable phases (name, point_phase, X, amount, G),\n"
      "G and the chemical potentials muA and muB (-inf at the pure other component), as\n"
      "brelona-calc point prints them.");
  problem.attr("_step") = py::cpp_function(
      &Step, py::is_method(problem), py::arg("x") = py::none(), py::kw_only(),
      py::arg("from_") = py::none(), py::arg("to") = py::none(), py::arg("points") = 201,
      py::arg("along") = "y", py::arg("y") = py::none(), py::arg("wt") = false,
      py::arg("reference_a") = "", py::arg("reference_b") = "");
  problem.attr("_scheil") =
      py::cpp_function(&ScheilPath, py::is_method(problem), py::arg("x"), py::kw_only(),
                       py::arg("from_") = py::none(), py::arg("to") = py::none(),
                       py::arg("points") = 201, py::arg("wt") = false, py::arg("liquid") = "");
  m.def(
      "mass_fraction",
      [](double x, double mA, double mB) {
        return calc::MassFractionB(x, {mA, mB});
      },
      py::arg("x"), py::arg("mass_a"), py::arg("mass_b"),
      "The mass fraction of B at mole fraction x for atomic masses mass_a and mass_b.");
  m.def(
      "mole_fraction",
      [](double w, double mA, double mB) {
        return calc::MoleFractionB(w, {mA, mB});
      },
      py::arg("w"), py::arg("mass_a"), py::arg("mass_b"),
      "The mole fraction of B at mass fraction w for atomic masses mass_a and mass_b.");
  m.def(
      "component_names",
      [](const calc::ProblemInput& p) -> py::object {
        const calc::ComponentNames names = calc::ReadComponentNames(p.Functs);
        if (!names.Named()) return py::none();
        return py::make_tuple(names.A, names.B);
      },
      py::arg("problem"),
      "The names (A, B) of the components the problem's sheet gives ('% components:'), or "
      "None.");
  m.def(
      "component_masses",
      [](const calc::ProblemInput& p) -> py::object {
        const calc::ComponentMasses masses = calc::ReadComponentMasses(p.Functs);
        if (!masses.Known()) return py::none();
        return py::make_tuple(masses.A, masses.B);
      },
      py::arg("problem"),
      "The atomic masses (A, B) the problem's sheet gives ('% masses:' or the element names "
      "of '% components:'), or None.");
}
