// brelona-calc point: the equilibrium at one point (Y, X) of a problem's diagram, as JSON: the
// stable phases with their compositions and amounts, and the chemical potentials of A and B.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

#include "calc/equilibrium.h"
#include "calc/headless_host.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/problem_file.h"
#include "numeric/format.h"
#include "problem/problem_reader.h"

namespace cli {

namespace {

// Messages of the sheet's compilation go to stderr.
class PointHost : public calc::HeadlessHost {
 public:
  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return HeadlessHost::MessageDlg(text, type, buttons);
  }
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

int Usage(const std::string& why) {
  PrintError(why);
  return CommandUsage("point", false);
}

}  // namespace

int CmdPoint(const Args& list) {
  Arguments args;
  if (std::string complaint =
          ParseArguments(list, {{"problem", true}, {"y", true}, {"x", true}, {"z", true}}, args);
      !complaint.empty()) {
    return Usage(complaint);
  }
  double y = NAN, x = NAN, zGiven = NAN;
  for (const char* name : {"y", "x", "z"}) {
    if (!args.Has(name)) continue;
    double v = 0;
    if (!numeric::ParseFloat(args.Value(name), '.', v) || !std::isfinite(v))
      return Usage(std::string("--") + name + " needs a number");
    (name[0] == 'y' ? y : name[0] == 'x' ? x : zGiven) = v;
  }
  if (args.Positional().empty()) return Usage("missing database file");
  if (args.Positional().size() > 1) return Usage("unexpected argument " + args.Positional()[1]);
  const std::string database = args.Positional().front();
  if (std::isnan(y) || std::isnan(x)) return Usage("give both --y and --x");
  if (x < 0 || x > 1) return Usage("--x must lie in 0..1");
  if (!(y > 0)) return Usage("--y must be above 0");
  if (args.Has("z") && !(zGiven > 0)) return Usage("--z must be above 0");

  try {
    // A phase-sheet file is a temperature diagram at the pressure --z (bar, default 1).
    problem::SheetRange range;
    range.Zvalue = args.Has("z") ? zGiven : 1;
    const ProblemFileKind kind = ProblemFileKindOf(database);
    const std::vector<calc::ProblemInput> problems = ReadProblemFile(database, kind, range);
    const calc::ProblemInput* chosen = ChooseProblem(problems, args.Value("problem"), database);
    if (!chosen)
      return args.Value("problem").empty() && problems.size() > 1 ? kExitUsage : kExitError;
    const std::string& functs = chosen->Functs;
    const std::string& name = chosen->ProblemName;
    const std::string yText = calc::YParameterText(chosen->Yparameter);
    const double z = chosen->Zvalue;
    const bool temperature = chosen->Yparameter == calc::YParameter::Temperature;
    if (!temperature && chosen->Yparameter != calc::YParameter::Pressure) {
      std::fprintf(stderr, "error: the problem's Y parameter is not set\n");
      return 1;
    }
    PointHost host;
    calc::PhaseSheet sheet(host);
    if (!sheet.Compile(functs, '.')) return 1;
    // As a run does: the fixed pressure of a temperature diagram is at least taken as 1 bar.
    const double T = temperature ? y : z;
    double p = temperature ? z : y;
    if (!(p > 0)) p = 1;
    const calc::Equilibrium eq = calc::SolveEquilibrium(sheet, T, p, x);
    if (!eq.Error.empty()) {
      std::fprintf(stderr, "error: %s\n", eq.Error.c_str());
      return 1;
    }
    const calc::ComponentNames names = calc::ReadComponentNames(functs);
    std::string out = "{\n";
    out += "  \"problem\": " + JsonString(name) + ",\n";
    out += "  \"yparameter\": " + JsonString(yText) + ",\n";
    out += "  \"yquantity\": " + JsonString(temperature ? "temperature" : "pressure") +
           ",\n  \"yunit\": " + JsonString(temperature ? "K" : "bar") + ",\n";
    // X and Y as summary.json names them; x and y as earlier versions of this output did.
    out += "  \"Y\": " + JsonNumber(y) + ",\n  \"X\": " + JsonNumber(eq.X) + ",\n";
    out += "  \"y\": " + JsonNumber(y) + ",\n  \"x\": " + JsonNumber(eq.X) + ",\n";
    out += "  \"T\": " + JsonNumber(T) + ",\n  \"p\": " + JsonNumber(p) + ",\n";
    out += "  \"components\": [" + JsonString(names.Named() ? names.A : "A") + ", " +
           JsonString(names.Named() ? names.B : "B") + "],\n";
    out += "  \"phases\": [";
    for (size_t i = 0; i < eq.Phases.size(); ++i) {
      const calc::EquilibriumPhase& ph = eq.Phases[i];
      out += std::string(i ? ",\n    " : "\n    ") + "{\"name\": " + JsonString(ph.Name) +
             ", \"point_phase\": " + (ph.PointPhase ? "true" : "false") +
             ", \"X\": " + JsonNumber(ph.X) + ", \"x\": " + JsonNumber(ph.X) +
             ", \"amount\": " + JsonNumber(ph.Amount) + ", \"G\": " + JsonNumber(ph.G) + "}";
    }
    out += "\n  ],\n";
    out += "  \"G\": " + JsonNumber(eq.G) + ",\n";
    out += "  \"muA\": " + JsonNumber(eq.MuA) + ",\n  \"muB\": " + JsonNumber(eq.MuB) + ",\n";
    out += std::string("  \"approximate\": ") + (eq.Approximate ? "true" : "false") + "\n}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
}

}  // namespace cli
