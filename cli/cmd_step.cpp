// brelona-calc step: one alloy of a problem along a path (the equilibrium at a fixed X from one
// temperature or pressure to another, or along X at a fixed level), optionally its Scheil
// solidification, written as JSON, CSV and pictures.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "calc/headless_host.h"
#include "calc/masses.h"
#include "calc/path.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"
#include "calc/scheil.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/output_folder.h"
#include "cli/problem_file.h"
#include "numeric/format.h"
#include "problem/problem_reader.h"
#include "store/table_image.h"
#include "views/path_plot.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string CsvNum(double v) {
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  if (!std::isfinite(v)) return "";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string Array(const std::vector<double>& v) {
  std::string out = "[";
  for (size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + JsonNumber(v[i]);
  return out + "]";
}

std::string Names(const std::vector<calc::EquilibriumPhase>& phases) {
  std::string out = "[";
  for (size_t i = 0; i < phases.size(); ++i) out += (i ? ", " : "") + JsonString(phases[i].Name);
  return out + "]";
}

// A value of the command line that turns out wrong once the problem is read.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int Usage(const std::string& why) {
  std::fprintf(stderr, "error: %s\n", why.c_str());
  return CommandUsage("step", false);
}

// Messages of the sheet's compilation go to stderr.
class StepHost : public calc::HeadlessHost {
 public:
  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return HeadlessHost::MessageDlg(text, type, buttons);
  }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

struct Options {
  std::string database, problem, out, liquid, referenceA, referenceB;
  double x = kNaN, y = kNaN, from = kNaN, to = kNaN;
  int points = 201;
  bool alongX = false, scheil = false, wt = false, celsius = false;
  bool png = true, svg = true, pdf = false;
  int width = 696, height = 482, dpi = 96;
};

bool Number(const std::string& text, double& v) {
  return numeric::ParseFloat(text, '.', v) && std::isfinite(v);
}

// Amounts and compositions as the files give them: mole fractions, or with --wt mass fractions
// of the phases and compositions in weight percent of B.
struct Units {
  bool wt = false;
  calc::ComponentMasses m;
  double X(double x) const { return wt && std::isfinite(x) ? 100 * calc::MassFractionB(x, m) : x; }
  double Amount(double n, double x, double overall) const {
    return wt ? calc::PhaseMassFraction(n, x, overall, m) : n;
  }
};

std::string StepJson(const calc::ProblemInput& p, const calc::PathRequest& request,
                     const calc::PathResult& path, const Units& u,
                     const calc::ComponentNames& names) {
  const bool alongX = request.Along == calc::PathAxis::X;
  const std::vector<calc::PhaseTrack> tracks = calc::TrackPhases(path.Points);
  std::vector<double> along, muA, muB, G, H, Cp, aA, aB;
  std::vector<double> approximate;
  for (size_t i = 0; i < path.Points.size(); ++i) {
    const calc::PathPoint& pt = path.Points[i];
    along.push_back(alongX ? u.X(pt.At) : pt.At);
    muA.push_back(pt.MuA);
    muB.push_back(pt.MuB);
    G.push_back(pt.G);
    H.push_back(pt.H);
    Cp.push_back(pt.Cp);
    aA.push_back(pt.ActivityA);
    aB.push_back(pt.ActivityB);
    if (pt.Approximate) approximate.push_back(static_cast<double>(i));
  }
  std::string out = "{\n";
  out += "  \"problem\": " + JsonString(p.ProblemName) + ",\n";
  out += "  \"along\": " +
         JsonString(alongX                                             ? "x"
                    : request.Yparameter == calc::YParameter::Pressure ? "p"
                                                                       : "T") +
         ",\n";
  out += "  \"composition\": " + JsonString(u.wt ? "wt%" : "mole fraction") + ",\n";
  out += "  \"amounts\": " + JsonString(u.wt ? "mass fraction" : "mole fraction") + ",\n";
  out += "  \"components\": [" + JsonString(names.Named() ? names.A : "A") + ", " +
         JsonString(names.Named() ? names.B : "B") + "],\n";
  if (alongX) {
    out += "  \"y\": " + JsonNumber(request.Y) + ",\n  \"x\": " + Array(along) + ",\n";
  } else {
    out += "  \"x\": " + JsonNumber(u.X(request.X)) + ",\n  \"y\": " + Array(along) + ",\n";
  }
  out += "  \"phases\": {";
  for (size_t k = 0; k < tracks.size(); ++k) {
    std::vector<double> amount, x;
    for (size_t i = 0; i < path.Points.size(); ++i) {
      amount.push_back(u.Amount(tracks[k].Amount[i], tracks[k].X[i], path.Points[i].X));
      x.push_back(u.X(tracks[k].X[i]));
    }
    out += std::string(k ? ",\n    " : "\n    ") + JsonString(tracks[k].Name) +
           ": {\"amount\": " + Array(amount) + ", \"x\": " + Array(x) + "}";
  }
  out += tracks.empty() ? "},\n" : "\n  },\n";
  out += "  \"mu_a\": " + Array(muA) + ",\n  \"mu_b\": " + Array(muB) + ",\n";
  out += "  \"G\": " + Array(G) + ",\n  \"H\": " + Array(H) + ",\n  \"Cp\": " + Array(Cp) + ",\n";
  out += "  \"activity_a\": " + Array(aA) + ",\n  \"activity_b\": " + Array(aB) + ",\n";
  out += "  \"reference_a\": " + JsonString(request.ReferenceA) + ",\n";
  out += "  \"reference_b\": " + JsonString(request.ReferenceB) + ",\n";
  out += "  \"crossings\": [";
  for (size_t i = 0; i < path.Crossings.size(); ++i) {
    const calc::PathCrossing& c = path.Crossings[i];
    out += std::string(i ? ",\n    " : "\n    ") + "{\"" + (alongX ? "x" : "y") +
           "\": " + JsonNumber(alongX ? u.X(c.At) : c.At) +
           ", \"before\": " + Names(c.Before.Phases) + ", \"after\": " + Names(c.After.Phases) +
           ", \"approximate\": " + (c.Approximate ? "true" : "false") + "}";
  }
  out += path.Crossings.empty() ? "],\n" : "\n  ],\n";
  out += "  \"approximate_points\": " + Array(approximate);
  if (!path.Error.empty()) out += ",\n  \"error\": " + JsonString(path.Error);
  return out + "\n}\n";
}

std::string StepCsv(const calc::PathRequest& request, const calc::PathResult& path,
                    const Units& u) {
  const bool alongX = request.Along == calc::PathAxis::X;
  const std::vector<calc::PhaseTrack> tracks = calc::TrackPhases(path.Points);
  std::string out = alongX ? "x" : "y";
  for (const calc::PhaseTrack& t : tracks) out += "," + t.Name + " amount," + t.Name + " x";
  out += ",mu_a,mu_b,G,H,Cp,activity_a,activity_b\n";
  for (size_t i = 0; i < path.Points.size(); ++i) {
    const calc::PathPoint& pt = path.Points[i];
    out += CsvNum(alongX ? u.X(pt.At) : pt.At);
    for (const calc::PhaseTrack& t : tracks) {
      out += "," + CsvNum(u.Amount(t.Amount[i], t.X[i], pt.X)) + "," + CsvNum(u.X(t.X[i]));
    }
    for (double v : {pt.MuA, pt.MuB, pt.G, pt.H, pt.Cp, pt.ActivityA, pt.ActivityB})
      out += "," + CsvNum(v);
    out += "\n";
  }
  return out;
}

// The Scheil path as the files give it: fractions by mass with --wt.
calc::ScheilResult Shown(const calc::ScheilResult& r, double x0, const Units& u) {
  return u.wt ? calc::ScheilByMass(r, x0, u.m) : r;
}

std::vector<double> Compositions(const std::vector<double>& x, const Units& u) {
  std::vector<double> out;
  for (double v : x) out.push_back(u.X(v));
  return out;
}

std::string ScheilJson(const calc::ProblemInput& p, const calc::ScheilRequest& request,
                       const calc::ScheilResult& path, const Units& u) {
  const calc::ScheilResult r = Shown(path, request.X, u);
  std::string out = "{\n";
  out += "  \"problem\": " + JsonString(p.ProblemName) + ",\n";
  out += "  \"x\": " + JsonNumber(u.X(request.X)) + ",\n";
  out += "  \"composition\": " + JsonString(u.wt ? "wt%" : "mole fraction") + ",\n";
  out += "  \"amounts\": " + JsonString(u.wt ? "mass fraction" : "mole fraction") + ",\n";
  out += "  \"liquid\": " + JsonString(r.Liquid) + ",\n";
  out += "  \"y\": " + Array(r.T) + ",\n";
  out += "  \"fraction_solid\": " + Array(r.FractionSolid) + ",\n";
  out += "  \"liquid_x\": " + Array(Compositions(r.LiquidX, u)) + ",\n";
  out += "  \"solids\": {";
  for (size_t k = 0; k < r.Solids.size(); ++k) {
    out += std::string(k ? ",\n    " : "\n    ") + JsonString(r.Solids[k]) +
           ": {\"amount\": " + Array(r.SolidAmounts[k]) + "}";
  }
  out += r.Solids.empty() ? "},\n" : "\n  },\n";
  out += "  \"liquidus\": " + JsonNumber(r.LiquidusT) + ",\n";
  out += "  \"end\": " + JsonString(calc::ScheilEndText(r.End)) + ",\n";
  out += "  \"end_y\": " + JsonNumber(r.EndT) + ",\n";
  out += "  \"last_liquid\": " + JsonNumber(r.LastLiquid) + ",\n";
  out += "  \"events\": [";
  for (size_t i = 0; i < r.Events.size(); ++i) {
    out += std::string(i ? ",\n    " : "\n    ") + "{\"y\": " + JsonNumber(r.Events[i].T) +
           ", \"text\": " + JsonString(r.Events[i].Text) + "}";
  }
  out += r.Events.empty() ? "]" : "\n  ]";
  if (!r.Note.empty()) out += ",\n  \"note\": " + JsonString(r.Note);
  return out + "\n}\n";
}

std::string ScheilCsv(const calc::ScheilRequest& request, const calc::ScheilResult& path,
                      const Units& u) {
  const calc::ScheilResult r = Shown(path, request.X, u);
  std::string out = "y,fraction_solid,liquid_x";
  for (const std::string& s : r.Solids) out += "," + s + " amount";
  out += "\n";
  for (size_t i = 0; i < r.T.size(); ++i) {
    out += CsvNum(r.T[i]) + "," + CsvNum(r.FractionSolid[i]) + "," + CsvNum(u.X(r.LiquidX[i]));
    for (const auto& s : r.SolidAmounts) out += "," + CsvNum(s[i]);
    out += "\n";
  }
  return out;
}

void WriteText(const fs::path& file, const std::string& text) {
  QString error;
  if (!views::WriteWholeFile(QString::fromStdString(file.string()), QByteArray::fromStdString(text),
                             &error))
    throw std::runtime_error(error.toStdString());
}

void WritePictures(const fs::path& dir, const std::string& stem, const views::PlotData& plot,
                   const Options& o, std::vector<std::string>& errors) {
  views::PictureOptions picture;
  picture.size = QSize(o.width, o.height);
  picture.dpi = o.dpi;
  picture.title = plot.title;
  const std::pair<bool, views::PictureFormat> formats[] = {{o.png, views::PictureFormat::Png},
                                                           {o.svg, views::PictureFormat::Svg},
                                                           {o.pdf, views::PictureFormat::Pdf}};
  const char* const suffixes[] = {".png", ".svg", ".pdf"};
  for (int i = 0; i < 3; ++i) {
    if (!formats[i].first) continue;
    picture.format = formats[i].second;
    QString error;
    const fs::path file = dir / (stem + suffixes[i]);
    if (!views::WritePlot(plot, QString::fromStdString(file.string()), picture, &error))
      errors.push_back(error.toStdString());
  }
}

std::string Short(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

}  // namespace

int CmdStep(const Args& list) {
  Options o;
  Arguments args;
  if (std::string complaint = ParseArguments(list,
                                             {{"problem", true},
                                              {"out", true},
                                              {"liquid", true},
                                              {"reference-a", true},
                                              {"reference-b", true},
                                              {"x", true},
                                              {"y", true},
                                              {"from", true},
                                              {"to", true},
                                              {"points", true},
                                              {"along", true},
                                              {"scheil"},
                                              {"wt"},
                                              {"celsius"},
                                              {"format", true},
                                              {"size", true},
                                              {"dpi", true}},
                                             args);
      !complaint.empty()) {
    return Usage(complaint);
  }
  const struct {
    const char* name;
    std::string& to;
  } texts[] = {{"problem", o.problem},
               {"out", o.out},
               {"liquid", o.liquid},
               {"reference-a", o.referenceA},
               {"reference-b", o.referenceB}};
  for (const auto& t : texts) {
    t.to = args.Value(t.name);
    if (args.Has(t.name) && t.to.empty())
      return Usage(std::string("--") + t.name + " needs a " +
                   (t.name == std::string("out") ? "folder" : "name"));
  }
  const struct {
    const char* name;
    double& to;
  } numbers[] = {{"x", o.x}, {"y", o.y}, {"from", o.from}, {"to", o.to}};
  for (const auto& n : numbers) {
    if (args.Has(n.name) && !Number(args.Value(n.name), n.to))
      return Usage(std::string("--") + n.name + " needs a number");
  }
  if (args.Has("points")) {
    double v = 0;
    if (!Number(args.Value("points"), v) || v != std::floor(v) || v < 2 || v > 1e6)
      return Usage("--points needs a whole number from 2 to 1000000");
    o.points = static_cast<int>(v);
  }
  if (args.Has("along")) {
    std::string complaint;
    const std::string v = ChooseWord("--along", args.Value("along"), {"x", "y"}, complaint);
    if (v.empty()) return Usage(complaint);
    o.alongX = v == "x";
  }
  o.scheil = args.Has("scheil");
  o.wt = args.Has("wt");
  o.celsius = args.Has("celsius");
  if (args.Has("format")) {
    const std::string complaint = ChooseFormats(args.Value("format"), o.png, o.svg, o.pdf);
    if (!complaint.empty()) return Usage(complaint);
  }
  if (args.Has("size")) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(args.Value("size").c_str(), "%dx%d%c", &w, &h, &tail) != 2)
      return Usage("--size needs WxH");
    o.width = w;
    o.height = h;
  }
  if (args.Has("dpi")) {
    double v = 0;
    if (!Number(args.Value("dpi"), v) || v != std::floor(v))
      return Usage("--dpi needs a whole number");
    o.dpi = static_cast<int>(v);
  }
  if (args.Positional().size() > 1) return Usage("unexpected argument " + args.Positional()[1]);
  if (!args.Positional().empty()) o.database = args.Positional().front();
  if (o.database.empty()) return Usage("missing database file");
  if (!o.alongX && std::isnan(o.x)) return Usage("give --x (or --along x with --y)");
  if (o.alongX && std::isnan(o.y)) return Usage("--along x needs the level: --y");
  if (o.alongX && o.scheil)
    return Usage("--scheil follows a temperature path: leave out --along x");
  {
    views::PictureOptions check;
    check.size = QSize(o.width, o.height);
    check.dpi = o.dpi;
    QString why;
    if (!views::CheckPictureOptions(check, &why)) return Usage(why.toStdString());
  }

  try {
    // A phase-sheet file is a temperature diagram at 1 bar; its path needs its ends.
    const ProblemFileKind kind = ProblemFileKindOf(o.database);
    if (kind == ProblemFileKind::Sheet && !o.alongX && (std::isnan(o.from) || std::isnan(o.to)))
      return Usage(o.database + ": a phase-sheet file needs --from and --to");
    problem::SheetRange range;
    range.Zvalue = 1;
    const std::vector<calc::ProblemInput> problems = ReadProblemFile(o.database, kind, range);
    const calc::ProblemInput* problem = ChooseProblem(problems, o.problem, o.database);
    if (!problem) return o.problem.empty() && problems.size() > 1 ? kExitUsage : kExitError;
    if (problem->Yparameter == calc::YParameter::None) {
      std::fprintf(stderr, "error: the problem's Y parameter is not set\n");
      return kExitError;
    }
    const bool temperature = problem->Yparameter == calc::YParameter::Temperature;
    if (o.scheil && !temperature) return Usage("--scheil needs a problem along temperature");

    Units u;
    u.wt = o.wt;
    u.m = calc::ReadComponentMasses(problem->Functs);
    if (o.wt && !u.m.Known()) {
      std::fprintf(stderr,
                   "error: --wt needs the components' masses: the sheet names no elements in "
                   "'%% components:' and gives no '%% masses:' line\n");
      return kExitError;
    }
    // Compositions given in weight percent come in as mole fractions.
    auto moles = [&](double v, const char* what) {
      if (!o.wt) return v;
      if (!(v >= 0 && v <= 100)) throw UsageError(std::string(what) + " must lie in 0..100 (wt%)");
      return calc::MoleFractionB(v / 100, u.m);
    };

    calc::PathRequest request;
    request.Yparameter = problem->Yparameter;
    // As a run does: the fixed pressure of a temperature diagram is at least taken as 1 bar.
    request.Z = problem->Zvalue;
    if (temperature && !(request.Z > 0)) request.Z = 1;
    request.Points = o.points;
    request.ReferenceA = o.referenceA;
    request.ReferenceB = o.referenceB;
    if (o.alongX) {
      request.Along = calc::PathAxis::X;
      request.Y = o.y;
      request.From = std::isnan(o.from) ? 0 : moles(o.from, "--from");
      request.To = std::isnan(o.to) ? 1 : moles(o.to, "--to");
    } else {
      request.X = moles(o.x, "--x");
      request.From = std::isnan(o.from) ? problem->Ymax : o.from;
      request.To = std::isnan(o.to) ? problem->Ymin : o.to;
    }
    if (const std::string why = calc::CheckPathRequest(request); !why.empty()) return Usage(why);

    StepHost host;
    calc::PhaseSheet sheet(host);
    if (!sheet.Compile(problem->Functs, '.')) return kExitError;
    const calc::PathResult path = calc::StepPath(sheet, request);
    if (path.Points.empty()) {
      std::fprintf(stderr, "error: %s\n", path.Error.c_str());
      return kExitError;
    }
    calc::ScheilRequest scheilRequest;
    calc::ScheilResult scheil;
    if (o.scheil) {
      scheilRequest.X = request.X;
      scheilRequest.From = request.From;
      scheilRequest.To = request.To;
      scheilRequest.Points = request.Points;
      scheilRequest.P = request.Z;
      scheilRequest.Liquid = o.liquid;
      scheil = calc::Scheil(sheet, scheilRequest);
      if (!scheil.Error.empty()) {
        std::fprintf(stderr, "error: Scheil: %s\n", scheil.Error.c_str());
        return kExitError;
      }
    }

    const calc::ComponentNames names = calc::ReadComponentNames(problem->Functs);
    OutputFolder folder(o.out.empty() ? fs::path(problem->ProblemName) : fs::path(o.out));
    const fs::path& dir = folder.Staging();
    std::vector<std::string> errors;
    auto attempt = [&](const auto& write) {
      try {
        write();
      } catch (const std::exception& e) {
        errors.push_back(e.what());
      }
    };
    attempt([&] { WriteText(dir / "step.json", StepJson(*problem, request, path, u, names)); });
    attempt([&] { WriteText(dir / "step.csv", StepCsv(request, path, u)); });
    if (o.scheil) {
      attempt(
          [&] { WriteText(dir / "scheil.json", ScheilJson(*problem, scheilRequest, scheil, u)); });
      attempt([&] { WriteText(dir / "scheil.csv", ScheilCsv(scheilRequest, scheil, u)); });
    }
    if (o.png || o.svg || o.pdf) {
      views::EnsureGuiApplication();
      views::PathPlotOptions look;
      look.title = QString::fromStdString(problem->ProblemName);
      look.celsius = o.celsius;
      look.weightPercent = o.wt;
      look.masses = u.m;
      look.names = names;
      WritePictures(dir, "step",
                    views::PhaseFractionPlot(request, path, o.scheil ? &scheil : nullptr, look), o,
                    errors);
      WritePictures(dir, "activities", views::ActivityPlot(request, path, look), o, errors);
    }
    if (!errors.empty()) {
      for (const std::string& e : errors) std::fprintf(stderr, "error: %s\n", e.c_str());
      return kExitError;
    }
    folder.Commit();

    // What was found, in one line each.
    const char* unit = o.alongX ? "" : temperature ? " K" : " bar";
    std::string line = problem->ProblemName + ": " + std::to_string(path.Points.size()) + " points";
    for (const calc::PathCrossing& c : path.Crossings) {
      std::string before, after;
      for (const auto& ph : c.Before.Phases) before += (before.empty() ? "" : " + ") + ph.Name;
      for (const auto& ph : c.After.Phases) after += (after.empty() ? "" : " + ") + ph.Name;
      line += "; " + Short(o.alongX ? u.X(c.At) : c.At) + unit + " " + before + " -> " + after +
              (c.Approximate ? " (approximate)" : "");
    }
    std::printf("%s\n", line.c_str());
    if (o.scheil) {
      // The same fraction as scheil.json: by mass with --wt.
      const double last = Shown(scheil, scheilRequest.X, u).LastLiquid;
      std::printf("Scheil: %s at %s K, last liquid %s%s%s\n", calc::ScheilEndText(scheil.End),
                  Short(scheil.EndT).c_str(), Short(last).c_str(), o.wt ? " by mass" : "",
                  scheil.Note.empty() ? "" : ("; " + scheil.Note).c_str());
    }
    if (!path.Error.empty()) {
      std::fprintf(stderr, "error: the path ended early: %s\n", path.Error.c_str());
      return kExitError;
    }
    return kExitOk;
  } catch (const UsageError& e) {
    return Usage(e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return kExitError;
  }
}

}  // namespace cli
