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
#include "cli/commands.h"
#include "numeric/format.h"
#include "problem/problem_reader.h"
#include "store/memtable.h"

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
  std::fprintf(stderr, "error: %s\nusage: brelona-calc point DB.d --problem NAME --y Y --x X\n",
               why.c_str());
  return 2;
}

}  // namespace

int CmdPoint(const Args& args) {
  std::string database, problemName;
  double y = NAN, x = NAN;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--problem") {
      if (!hasValue) return Usage("--problem needs a name");
      problemName = args[++i];
    } else if (a == "--y" || a == "--x") {
      double v = 0;
      if (!hasValue || !numeric::ParseFloat(args[i + 1], '.', v) || !std::isfinite(v)) {
        return Usage(a + " needs a number");
      }
      ++i;
      (a == "--y" ? y : x) = v;
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown option " + a);
    } else if (database.empty()) {
      database = a;
    } else {
      return Usage("unexpected argument " + a);
    }
  }
  if (database.empty()) return Usage("missing database file");
  if (problemName.empty()) return Usage("missing --problem");
  if (std::isnan(y) || std::isnan(x)) return Usage("give both --y and --x");
  if (x < 0 || x > 1) return Usage("--x must lie in 0..1");
  if (!(y > 0)) return Usage("--y must be above 0");

  try {
    problem::CheckProblemTableFields(database);
    store::TMemTable table;
    table.SetTableName(database);
    table.SetLoadMode(store::lmFile);
    table.Open();
    bool found = false;
    std::string functs, yText, name;
    double z = 0;
    // The exact name first, then one that differs only in letter case.
    for (int pass = 0; pass < 2 && !found; ++pass) {
      for (table.First(); !table.Eof() && !found; table.Next()) {
        name = table.FieldByName("ProblemName").AsString();
        if (pass == 0 ? name != problemName : Lower(name) != Lower(problemName)) continue;
        found = true;
        functs = table.FieldByName("Functs").AsString();
        yText = table.FieldByName("Yparameter").AsString();
        z = table.FieldByName("Zvalue").AsFloat();
      }
    }
    if (!found) {
      std::fprintf(stderr, "error: problem '%s' not found\n", problemName.c_str());
      return 1;
    }
    const bool temperature = yText == calc::kTemperatureText;
    if (!temperature && yText != calc::kPressureText) {
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
    out += "  \"y\": " + JsonNumber(y) + ",\n  \"x\": " + JsonNumber(eq.X) + ",\n";
    out += "  \"T\": " + JsonNumber(T) + ",\n  \"p\": " + JsonNumber(p) + ",\n";
    out += "  \"components\": [" + JsonString(names.Named() ? names.A : "A") + ", " +
           JsonString(names.Named() ? names.B : "B") + "],\n";
    out += "  \"phases\": [";
    for (size_t i = 0; i < eq.Phases.size(); ++i) {
      const calc::EquilibriumPhase& ph = eq.Phases[i];
      out += std::string(i ? ",\n    " : "\n    ") + "{\"name\": " + JsonString(ph.Name) +
             ", \"point_phase\": " + (ph.PointPhase ? "true" : "false") +
             ", \"x\": " + JsonNumber(ph.X) + ", \"amount\": " + JsonNumber(ph.Amount) +
             ", \"G\": " + JsonNumber(ph.G) + "}";
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
