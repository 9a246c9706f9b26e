// The compiled part of the Python module `brelona`: the problem, the run through the same engine
// as the program and brelona-calc, and the expression evaluator. Everything here only moves
// values between the engine and Python; the pure-Python part (brelona/__init__.py) adds the
// conveniences that need no engine (plotting).

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/problem.h"
#include "calc/results.h"
#include "numeric/errors.h"
#include "numeric/format.h"
#include "numeric/parser.h"
#include "problem/problem_reader.h"
#include "tdb/importer.h"

namespace py = pybind11;

namespace {

struct Message {
  std::string type;
  std::string text;
};

// The host of a run from Python: like brelona-calc's, confirmations take their first button,
// the mosaic is drawn at its default size, and every message is collected (nothing printed).
class PyHost : public calc::HeadlessHost, public calc::LevelPort {
 public:
  explicit PyHost(const calc::ProblemInput& p) : engine_(*this, *this, results_, nullptr, this) {
    problem = p;
  }

  calc::Engine& engine() { return engine_; }
  const calc::Results& results() const { return results_; }
  const std::vector<Message>& messages() const { return messages_; }
  bool completed() const { return completed_; }
  void Record(const char* type, const std::string& text) { messages_.push_back({type, text}); }

  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override {
    Record(calc::MessageKind(type), text);
    return HeadlessHost::MessageDlg(text, type, buttons);
  }
  void ShowMessage(const std::string& text) override { Record("info", text); }
  // Each level: its mosaic drawn and its messages kept. Between levels a Ctrl-C (or another
  // signal whose Python handler raises) stops the run. The interpreter's lock is taken for that at
  // most every 20 ms, and only on the main thread, the one Python runs signal handlers on, so
  // runs on other threads are not slowed down.
  void PostLevel(calc::PostedLevel level) override {
    for (const calc::MosaicMark& mark : level.mosaic) mark.DrawOn(results_.Mosaic);
    for (const std::string& text : level.messages) ShowMessage(text);
    if (!watchSignals_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastCheck_ < std::chrono::milliseconds(20)) return;
    lastCheck_ = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) throw Interrupted{};
  }
  bool ShowChart() const override { return false; }
  bool ShowMosaic() const override { return true; }
  void WatchSignals(bool on) { watchSignals_ = on; }
  // Thrown through the engine when a signal handler raised; the exception is Python's own.
  struct Interrupted {};
  void SweepCompleted() override {
    completed_ = true;
    engine_.FindSpecialPoints(calc::YParameterText(problem.Yparameter));
  }

 private:
  calc::Results results_;
  calc::Engine engine_;
  std::vector<Message> messages_;
  bool completed_ = false;
  bool watchSignals_ = false;
  std::chrono::steady_clock::time_point lastCheck_{};
};

// The result of one run: owns the host and so the results object; arrays are made on request.
struct RunResult {
  std::unique_ptr<PyHost> host;
  double seconds = 0;

  const calc::Results& r() const { return host->results(); }
  int Levels() const { return r().State.CheckFailed ? 0 : r().State.LevelIndex + 1; }
};

calc::YParameter ParseY(const std::string& y) {
  if (y == "temperature" || y == "T" || y == calc::kTemperatureText)
    return calc::YParameter::Temperature;
  if (y == "pressure" || y == "p" || y == "P" || y == calc::kPressureText)
    return calc::YParameter::Pressure;
  throw py::value_error("y must be \"temperature\" or \"pressure\", got \"" + y + "\"");
}

std::string ZLabel(calc::YParameter y) {
  return problem::ZparameterText(y);
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The problem called name among those of a file (exact name first, then any letter case);
// with no name the file must hold exactly one.
calc::ProblemInput Pick(const std::vector<calc::ProblemInput>& problems, const py::object& name,
                        const std::string& path) {
  if (name.is_none()) {
    if (problems.size() == 1) return problems.front();
    throw py::value_error(path + " holds " + std::to_string(problems.size()) +
                          " problems: give the name of one");
  }
  const std::string wanted = py::cast<std::string>(name);
  for (const auto& p : problems) {
    if (p.ProblemName == wanted) return p;
  }
  for (const auto& p : problems) {
    if (Lower(p.ProblemName) == Lower(wanted)) return p;
  }
  std::string names;
  for (const auto& p : problems) names += (names.empty() ? "" : ", ") + ("'" + p.ProblemName + "'");
  throw std::runtime_error("problem '" + wanted + "' not found in " + path + "; it holds " +
                           (names.empty() ? std::string("no problem") : names));
}

calc::ProblemInput MakeProblem(const std::string& sheet, const std::string& y, double ymin,
                               double ymax, double z, int xpoints, int ypoints,
                               const std::string& name) {
  calc::ProblemInput p;
  p.ProblemName = name;
  p.Functs = sheet;
  p.Yparameter = ParseY(y);
  p.Ymin = ymin;
  p.Ymax = ymax;
  p.Zparameter = ZLabel(p.Yparameter);
  p.Zvalue = z;
  p.XPoints = xpoints;
  p.YPoints = ypoints;
  return p;
}

std::unique_ptr<RunResult> Run(const calc::ProblemInput& problem) {
  // The checks brelona-calc makes of its options and of JSON problems.
  if (const std::string why = problem::RunRangeProblem(problem); !why.empty())
    throw py::value_error(why);
  auto out = std::make_unique<RunResult>();
  out->host = std::make_unique<PyHost>(problem);
  out->host->WatchSignals(
      PyThread_get_thread_ident() ==
      py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>());
  std::exception_ptr failure;
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    const auto start = std::chrono::steady_clock::now();
    try {
      out->host->engine().Run();
    } catch (const PyHost::Interrupted&) {
      interrupted = true;
    } catch (const std::exception& e) {
      // Evaluator errors end the run; they reach Python with their own type and text.
      out->host->Record("error", e.what());
      failure = std::current_exception();
    }
    out->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  if (interrupted) throw py::error_already_set();  // KeyboardInterrupt, as the handler raised it
  if (failure) std::rethrow_exception(failure);
  return out;
}

template <typename T>
py::array_t<T> Array1(const std::vector<T>& v) {
  py::array_t<T> a(static_cast<py::ssize_t>(v.size()));
  if (!v.empty()) std::memcpy(a.mutable_data(), v.data(), v.size() * sizeof(T));
  return a;
}

py::array_t<double> XLevels(const RunResult& res) {
  std::vector<double> v;
  for (const calc::XLevel& l : res.r().XLevels) v.push_back(l.X);
  return Array1(v);
}

// The level of each grid row, as its header shows it (six decimals).
py::array_t<double> YLevels(const RunResult& res) {
  const calc::CellGrid& g = res.r().Cells();
  std::vector<double> v;
  for (int row = 1; row < g.RowCount() && row <= res.Levels(); ++row) {
    const double y = g.RowY(row);
    v.push_back(std::isnan(y) ? 0 : y);
  }
  return Array1(v);
}

// Cell codes (levels x X levels) as indices into a table of the distinct texts; code 0 is the
// empty cell. Codes follow the order in which the texts first appear, row by row.
py::tuple Cells(const RunResult& res) {
  const calc::CellGrid& g = res.r().Cells();
  const int rows = std::min(g.RowCount() - 1, res.Levels());
  const int cols = g.ColCount() - 1;
  py::array_t<int32_t> codes(
      {static_cast<py::ssize_t>(std::max(rows, 0)), static_cast<py::ssize_t>(std::max(cols, 0))});
  std::vector<std::string> names{std::string()};
  std::unordered_map<const std::string*, int32_t> by_address;
  std::unordered_map<std::string, int32_t> by_text{{std::string(), 0}};
  int32_t* out = codes.mutable_data();
  for (int row = 1; row <= rows; ++row) {
    for (int col = 1; col <= cols; ++col) {
      const std::string& text = g.Cell(col, row);
      auto hit = by_address.find(&text);
      if (hit == by_address.end()) {
        auto [t, added] = by_text.emplace(text, static_cast<int32_t>(names.size()));
        if (added) names.push_back(text);
        hit = by_address.emplace(&text, t->second).first;
      }
      *out++ = hit->second;
    }
  }
  return py::make_tuple(codes, names);
}

// Every written end of a two-phase segment, level by level, as brelona-calc's points.csv.
// Compositions and levels under the names summary.json gives them (X, Y, X_left, X_right)
// beside the lower-case names of earlier versions, which stay readable.
py::dict WithFileNames(py::dict d) {
  for (const char* key : {"x", "y", "x_left", "x_right"}) {
    if (!d.contains(key)) continue;
    std::string upper = key;
    upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
    d[py::str(upper)] = d[key];
  }
  return d;
}

py::dict Points(const RunResult& res) {
  std::vector<int32_t> level, column;
  std::vector<double> x, y;
  py::list names;
  const calc::ZPointTable& z = res.r().ZPoints;
  for (int row = 0; row < z.RowCount(); ++row) {
    for (const calc::TZPoint& p : z.Row(row)) {
      if (!(p.Y > 0)) continue;
      level.push_back(row);
      x.push_back(p.X);
      y.push_back(p.Y);
      column.push_back(p.Column);
      names.append(py::str(res.r().PhaseName(p.Phase)));
    }
  }
  py::dict d;
  d["level"] = Array1(level);
  d["x"] = Array1(x);
  d["y"] = Array1(y);
  d["column"] = Array1(column);
  d["name"] = names;
  return WithFileNames(d);
}

// Tie lines per level: an (n, 2) array of the left and right ends' X of each segment.
py::list TieLines(const RunResult& res) {
  py::list out;
  const calc::ZPointTable& z = res.r().ZPoints;
  for (int row = 0; row < res.Levels(); ++row) {
    const auto& entries = row < z.RowCount() ? z.Row(row) : std::vector<calc::TZPoint>();
    // Ends come in pairs, one pair per segment, in the order of the hull.
    std::vector<std::pair<double, double>> segs;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
      segs.emplace_back(std::min(entries[i].X, entries[i + 1].X),
                        std::max(entries[i].X, entries[i + 1].X));
    }
    std::sort(segs.begin(), segs.end());
    py::array_t<double> a({static_cast<py::ssize_t>(segs.size()), py::ssize_t{2}});
    double* d = a.mutable_data();
    for (const auto& [l, r] : segs) {
      *d++ = l;
      *d++ = r;
    }
    out.append(a);
  }
  return out;
}

py::array_t<double> Nodes(const RunResult& res) {
  const auto& nodes = res.r().Nodes;
  py::array_t<double> a({static_cast<py::ssize_t>(nodes.size()), py::ssize_t{4}});
  double* d = a.mutable_data();
  for (const calc::TNode& n : nodes) {
    *d++ = n.Y;
    *d++ = n.XLeft;
    *d++ = n.X;
    *d++ = n.XRight;
  }
  return a;
}

py::list SpecialPoints(const RunResult& res) {
  py::list out;
  const calc::Results& r = res.r();
  for (size_t i = 0; i < r.MemoLines.size(); ++i) {
    const calc::SpecialPoint p = i < r.MemoPoints.size() ? r.MemoPoints[i] : calc::SpecialPoint{};
    out.append(py::make_tuple(p.X, p.Y, r.MemoLines[i]));
  }
  return out;
}

py::array_t<uint8_t> Mosaic(const RunResult& res) {
  const calc::MosaicRaster& m = res.r().Mosaic;
  const py::ssize_t h = m.Height(), w = m.Width();
  py::array_t<uint8_t> a({h, w, py::ssize_t{3}});
  uint8_t* d = a.mutable_data();
  for (py::ssize_t row = 0; row < h; ++row) {
    std::memcpy(d + row * w * 3, m.Bits() + row * m.BytesPerLine(), static_cast<size_t>(w * 3));
  }
  return a;
}

py::dict Refined(const RunResult& res) {
  const calc::RefinedResults& f = res.r().Refined;
  // A point phase by its line's key, as summary.json names it.
  const calc::Results& r = res.r();
  auto label = [&r](calc::PhaseIndex phase, const std::string& name) {
    return r.PhaseLabel(phase, name);
  };
  auto phases = [&](const std::vector<calc::RefinedPhase>& v) {
    py::list l;
    for (const auto& p : v) l.append(py::make_tuple(label(p.Phase, p.Name), p.X));
    return l;
  };
  py::list inv, tr, crit, cong, bounds;
  for (const auto& i : f.Invariants) {
    inv.append(WithFileNames(py::dict(py::arg("type") = i.Type, py::arg("reaction") = i.Reaction,
                                      py::arg("y") = i.Y, py::arg("phases") = phases(i.Phases),
                                      py::arg("approximate") = i.Approximate)));
  }
  for (const auto& t : f.Transitions) {
    tr.append(WithFileNames(py::dict(
        py::arg("x") = t.X, py::arg("y") = t.Y, py::arg("above") = label(t.AbovePhase, t.Above),
        py::arg("below") = label(t.BelowPhase, t.Below), py::arg("approximate") = t.Approximate)));
  }
  for (const auto& c : f.CriticalPoints) {
    crit.append(
        WithFileNames(py::dict(py::arg("phase") = c.Phase, py::arg("x") = c.X, py::arg("y") = c.Y,
                               py::arg("approximate") = c.Approximate)));
  }
  for (const auto& c : f.CongruentPoints) {
    std::vector<std::string> names;
    for (size_t i = 0; i < c.Phases.size(); ++i)
      names.push_back(label(i < c.Indices.size() ? c.Indices[i] : calc::kNoRunPhase, c.Phases[i]));
    cong.append(WithFileNames(py::dict(py::arg("type") = c.Type, py::arg("phases") = names,
                                       py::arg("x") = c.X, py::arg("y") = c.Y,
                                       py::arg("approximate") = c.Approximate)));
  }
  for (const auto& b : f.Boundaries) {
    bounds.append(WithFileNames(
        py::dict(py::arg("level") = b.Level, py::arg("y") = b.Y,
                 py::arg("phase_left") = label(b.Left, b.PhaseLeft), py::arg("x_left") = b.XLeft,
                 py::arg("phase_right") = label(b.Right, b.PhaseRight),
                 py::arg("x_right") = b.XRight, py::arg("approximate") = b.Approximate)));
  }
  py::list finer;
  for (const auto& b : f.BelowResolution) {
    py::dict item(py::arg("kind") = calc::FinerKindText(b.What),
                  py::arg("x") = py::make_tuple(b.XLeft, b.XRight),
                  py::arg("y") = py::make_tuple(b.YLow, b.YHigh));
    if (b.What == calc::FinerFeature::Kind::FieldEnds)
      item["phase"] = label(b.Above != calc::kNoRunPhase ? b.Above : b.Below, "");
    finer.append(WithFileNames(item));
  }
  py::list looks;
  for (const auto& l : f.CloserLooks)
    looks.append(
        WithFileNames(py::dict(py::arg("y") = py::make_tuple(l.YLow, l.YHigh),
                               py::arg("xpoints") = l.XPoints, py::arg("ypoints") = l.YPoints)));
  py::dict d;
  d["ran"] = f.Ran;
  d["below_resolution"] = finer;
  d["closer_looks"] = looks;
  d["invariants"] = inv;
  d["transitions"] = tr;
  d["critical_points"] = crit;
  d["congruent_points"] = cong;
  d["boundaries"] = bounds;
  return d;
}

// A binary system of a TDB database as a problem; the phases left out and the importer's notes
// ride along as the problem's `skipped` ([(phase, reason)]) and `notes`.
py::object ImportTdb(const std::string& path, const std::vector<std::string>& components,
                     const std::vector<std::string>& phases, const std::optional<double>& tmin,
                     const std::optional<double>& tmax, const std::string& name) {
  if (components.size() != 2) throw py::value_error("components needs two element names");
  tdb::ImportOptions o;
  o.A = components[0];
  o.B = components[1];
  o.Phases = phases;
  // The temperatures brelona-calc import-tdb takes.
  for (const auto& [t, name] : {std::pair{&tmin, "tmin"}, std::pair{&tmax, "tmax"}}) {
    if (*t && !(**t > 0 && **t < 1e6))
      throw py::value_error(std::string(name) + " needs a temperature in K");
  }
  o.Tmin = tmin;
  o.Tmax = tmax;
  o.SourceName = std::filesystem::path(path).filename().string();
  const tdb::ImportResult r = tdb::Import(tdb::ReadFile(path), o);
  const std::string title = name.empty() ? r.A + "-" + r.B + " (" + o.SourceName + ")" : name;
  py::object problem = py::cast(tdb::ProblemOf(r, title));
  py::list skipped, notes;
  for (const tdb::SkippedPhase& sp : r.Skipped) skipped.append(py::make_tuple(sp.Phase, sp.Reason));
  for (const std::string& n : r.Notes) notes.append(n);
  problem.attr("skipped") = skipped;
  problem.attr("notes") = notes;
  return problem;
}

double Evaluate(const std::string& expr, const py::kwargs& vars) {
  numeric::TParser parser;
  for (const auto& [name, value] : vars)
    parser.AssignVariable(py::cast<std::string>(name), py::cast<double>(value));
  parser.SetExpression(expr);
  return parser.Value();
}

}  // namespace

// One alloy along a path (path_bindings.cpp): methods of Problem.
void BindPath(py::module_& m);

PYBIND11_MODULE(_brelona, m) {
  m.doc() = "Phase diagrams of binary systems from the Gibbs energies of their phases";

  // Errors of the program: the message is exactly the program's own text. The types live as
  // long as the interpreter (never released).
  static PyObject* error = PyErr_NewException("brelona.Error", PyExc_RuntimeError, nullptr);
  static PyObject* expression_error = PyErr_NewException("brelona.ExpressionError", error, nullptr);
  static PyObject* math_error = PyErr_NewException("brelona.MathError", error, nullptr);
  m.attr("Error") = py::handle(error);
  m.attr("ExpressionError") = py::handle(expression_error);
  m.attr("MathError") = py::handle(math_error);
  // An error with a place carries it as attributes too: line, key and column for a sheet's
  // expression, place, phase, x and y for a point of the grid.
  static auto raise = [](PyObject* type, const std::exception& e) {
    py::object error = py::reinterpret_borrow<py::object>(type)(e.what());
    if (const auto* at = dynamic_cast<const calc::SheetPlace*>(&e)) {
      error.attr("line") = at->Line;
      error.attr("key") = at->Key;
      error.attr("column") = at->Column;
    } else if (const auto* at = dynamic_cast<const calc::EGridPointError*>(&e)) {
      error.attr("place") = at->Place();
      error.attr("phase") = at->Phase;
      error.attr("x") = at->X;
      error.attr("y") = at->Y;
    }
    PyErr_SetObject(type, error.ptr());
  };
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const numeric::EMathParserError& e) {
      raise(expression_error, e);
    } catch (const numeric::EMathError& e) {
      raise(math_error, e);
    } catch (const py::builtin_exception&) {
      throw;
    } catch (const py::error_already_set&) {
      throw;
    } catch (const std::runtime_error& e) {
      PyErr_SetString(error, e.what());
    }
  });

  py::class_<calc::ProblemInput>(m, "Problem", py::dynamic_attr())
      .def(py::init(&MakeProblem), py::kw_only(), py::arg("sheet"), py::arg("y") = "temperature",
           py::arg("ymin"), py::arg("ymax"), py::arg("z") = 1.0, py::arg("xpoints") = 100,
           py::arg("ypoints") = 100, py::arg("name") = "")
      .def_static(
          "from_database",
          [](const std::string& path, const py::object& name) {
            return Pick(problem::ReadProblemTable(path), name, path);
          },
          py::arg("path"), py::arg("name") = py::none(),
          "The problem called name in a problem table file (.d); the only one when name is None.")
      .def_static(
          "from_json",
          [](const std::string& path, const py::object& name) {
            return Pick(problem::ReadProblemsJson(path), name, path);
          },
          py::arg("path"), py::arg("name") = py::none(),
          "The problem called name in a JSON file of one problem or a list (db-export's form).")
      .def_readwrite("name", &calc::ProblemInput::ProblemName)
      .def_readwrite("sheet", &calc::ProblemInput::Functs)
      .def_property(
          "y", [](const calc::ProblemInput& p) { return calc::YParameterText(p.Yparameter); },
          [](calc::ProblemInput& p, const std::string& y) {
            p.Yparameter = ParseY(y);
            p.Zparameter = ZLabel(p.Yparameter);
          })
      .def_readwrite("ymin", &calc::ProblemInput::Ymin)
      .def_readwrite("ymax", &calc::ProblemInput::Ymax)
      .def_readwrite("z", &calc::ProblemInput::Zvalue)
      .def_readwrite("xpoints", &calc::ProblemInput::XPoints)
      .def_readwrite("ypoints", &calc::ProblemInput::YPoints)
      .def_readwrite("refine", &calc::ProblemInput::Refine,
                     "Solve the grid's features again from the energies after the sweep "
                     "(Result.refined); on by default.")
      .def("_run", &Run)
      .def("__repr__", [](const calc::ProblemInput& p) {
        return "<brelona.Problem '" + p.ProblemName + "' " + calc::YParameterText(p.Yparameter) +
               " " + numeric::FormatGeneral15(p.Ymin, '.') + ".." +
               numeric::FormatGeneral15(p.Ymax, '.') + ", " + std::to_string(p.XPoints) + " x " +
               std::to_string(p.YPoints) + ">";
      });

  py::class_<RunResult>(m, "RawResult")
      .def_property_readonly("name", [](const RunResult& r) { return r.host->problem.ProblemName; })
      .def_property_readonly(
          "y_parameter",
          [](const RunResult& r) { return calc::YParameterText(r.host->problem.Yparameter); })
      .def_property_readonly("y_quantity",
                             [](const RunResult& r) {
                               return r.host->problem.Yparameter == calc::YParameter::Pressure
                                          ? "pressure"
                                          : "temperature";
                             })
      .def_property_readonly(
          "y_unit",
          [](const RunResult& r) {
            return r.host->problem.Yparameter == calc::YParameter::Pressure ? "bar" : "K";
          })
      .def_property_readonly("completed", [](const RunResult& r) { return r.host->completed(); })
      .def_property_readonly("check_failed",
                             [](const RunResult& r) { return r.r().State.CheckFailed != 0; })
      .def_property_readonly("levels", &RunResult::Levels)
      .def_readonly("seconds", &RunResult::seconds)
      .def_property_readonly("x_levels", &XLevels)
      .def_property_readonly("y_levels", &YLevels)
      .def("_cells", &Cells)
      .def("_points", &Points)
      .def("_tie_lines", &TieLines)
      .def("_nodes", &Nodes)
      .def("_special_points", &SpecialPoints)
      .def("_refined", &Refined)
      .def("_mosaic", &Mosaic)
      .def_property_readonly("messages", [](const RunResult& r) {
        py::list l;
        for (const Message& msg : r.host->messages()) l.append(py::make_tuple(msg.type, msg.text));
        return l;
      });

  m.def("import_tdb", &ImportTdb, py::arg("path"), py::kw_only(), py::arg("components"),
        py::arg("phases") = std::vector<std::string>(), py::arg("tmin") = py::none(),
        py::arg("tmax") = py::none(), py::arg("name") = "",
        "The binary system components=(A, B) of a TDB database as a Problem (temperature along "
        "Y, X the mole fraction of B); the phases left out are in problem.skipped, other "
        "remarks in problem.notes.");
  m.def("evaluate", &Evaluate, py::arg("expr"),
        "Compiles and evaluates one expression of the phase-sheet language with the given "
        "variables, e.g. evaluate('X*LN(X)', X=0.5).");
  BindPath(m);
}
