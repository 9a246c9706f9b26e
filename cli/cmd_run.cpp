// brelona-calc run: the Run command of the main window without a window. It reads problems
// from a database, a JSON problem file or a phase-sheet file, runs the check, the set-up, every
// level and the special-point finder through the same engine as the program, and writes the results
// into a folder per problem.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/engine.h"
#include "calc/problem.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/output_folder.h"
#include "cli/problem_file.h"
#include "cli/run_batch.h"
#include "cli/run_host.h"
#include "cli/run_outputs.h"
#include "problem/problem_reader.h"
#include "problem/problem_table.h"
#include "store/memtable.h"
#include "store/table_image.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

// A folder name for a problem name: path separators and control characters become "_".
std::string FolderName(const std::string& name) {
  std::string out;
  for (unsigned char c : name)
    out += (c < 32 || c == '/' || c == '\\') ? '_' : static_cast<char>(c);
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

bool ParseInt(const std::string& s, int& out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// The options of the diagram pictures; an empty text on success, else the complaint.
std::string ParsePictureOptions(const Arguments& args, RunOptions& o) {
  o.celsius = o.celsius || args.Has("celsius");
  o.gridPoints = o.gridPoints || args.Has("grid-points");
  o.wt = o.wt || args.Has("wt");
  if (args.Has("format")) {
    const std::string complaint = ChooseFormats(args.Value("format"), o.png, o.svg, o.pdf);
    if (!complaint.empty()) return complaint;
  }
  if (args.Has("size")) {
    const std::string v = args.Value("size");
    const size_t x = v.find_first_of("xX");
    int w = 0, h = 0;
    if (x == std::string::npos || !ParseInt(v.substr(0, x), w) || !ParseInt(v.substr(x + 1), h) ||
        w < 16 || h < 16 || w > 20000 || h > 20000) {
      return "--size needs WxH, each 16 to 20000";
    }
    o.picture_w = w;
    o.picture_h = h;
  }
  if (args.Has("dpi")) {
    int n = 0;
    if (!ParseInt(args.Value("dpi"), n) || n < 24 || n > 2400)
      return "--dpi needs a number from 24 to 2400";
    o.dpi = n;
  }
  return {};
}

bool ParseDouble(const std::string& s, double& out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

// The range of a phase-sheet file, given on the command line.
struct SheetOptions {
  bool given = false;  // any of the options below
  bool y_given = false, ymin_given = false, ymax_given = false, z_given = false;
  problem::SheetRange range;
};

const std::vector<OptionDef> kRunOptions = {{"all"},
                                            {"problem", true},
                                            {"out", true},
                                            {"xpoints", true},
                                            {"ypoints", true},
                                            {"decimal-separator", true},
                                            {"mosaic-size", true},
                                            {"format", true},
                                            {"size", true},
                                            {"dpi", true},
                                            {"celsius"},
                                            {"wt"},
                                            {"grid-points"},
                                            {"no-refine"},
                                            {"jobs", true, "j"},
                                            {"quiet"},
                                            {"print"},
                                            {"y", true},
                                            {"ymin", true},
                                            {"ymax", true},
                                            {"z", true}};

// Returns an empty text on success, else the complaint.
std::string ParseArgs(const Args& list, RunOptions& o, SheetOptions& sheet) {
  Arguments args;
  if (std::string complaint = ParseArguments(list, kRunOptions, args); !complaint.empty())
    return complaint;
  o.refine = !args.Has("no-refine");
  o.all = args.Has("all");
  o.quiet = args.Has("quiet");
  o.print = args.Has("print");
  o.problem = args.Value("problem");
  o.out = args.Value("out");
  if (args.Has("problem") && o.problem.empty()) return "--problem needs a name";
  if (args.Has("out") && o.out.empty()) return "--out needs a folder";
  for (const char* name : {"xpoints", "ypoints"}) {
    int n = 0;
    if (!args.Has(name)) continue;
    if (!ParseInt(args.Value(name), n) || n < 1)
      return std::string("--") + name + " needs a positive integer";
    (name == std::string("xpoints") ? o.xpoints : o.ypoints) = n;
  }
  if (args.Has("decimal-separator")) {
    const std::string v = args.Value("decimal-separator");
    if (v != "." && v != ",") return "--decimal-separator needs '.' or ','";
    o.separator = v[0];
  }
  if (args.Has("mosaic-size")) {
    const std::string v = args.Value("mosaic-size");
    const size_t x = v.find_first_of("xX");
    int w = 0, h = 0;
    if (x == std::string::npos || !ParseInt(v.substr(0, x), w) || !ParseInt(v.substr(x + 1), h) ||
        w < 1 || h < 1 || w > 20000 || h > 20000) {
      return "--mosaic-size needs WxH, each 1 to 20000";
    }
    o.mosaic_w = w;
    o.mosaic_h = h;
  }
  if (std::string complaint = ParsePictureOptions(args, o); !complaint.empty()) return complaint;
  if (args.Has("jobs") && (!ParseInt(args.Value("jobs"), o.jobs) || o.jobs < 1))
    return "--jobs needs a positive integer";
  if (args.Has("y")) {
    std::string complaint;
    const std::string v = args.Value("y");
    std::string word = v == "T" ? "temperature" : v == "p" ? "pressure" : v;
    if (word == calc::kTemperatureText) word = "temperature";
    if (word == calc::kPressureText) word = "pressure";
    word = ChooseWord("--y", word, {"temperature", "pressure"}, complaint);
    if (word.empty()) return complaint;
    sheet.range.Yparameter =
        word == "temperature" ? calc::YParameter::Temperature : calc::YParameter::Pressure;
    sheet.given = sheet.y_given = true;
  }
  for (const char* name : {"ymin", "ymax", "z"}) {
    double d = 0;
    if (!args.Has(name)) continue;
    if (!ParseDouble(args.Value(name), d)) return std::string("--") + name + " needs a number";
    const std::string n = name;
    (n == "ymin" ? sheet.range.Ymin : n == "ymax" ? sheet.range.Ymax : sheet.range.Zvalue) = d;
    (n == "ymin" ? sheet.ymin_given : n == "ymax" ? sheet.ymax_given : sheet.z_given) = true;
    sheet.given = true;
  }
  // As the program's own problem form: the fixed temperature or pressure is above 0.
  if (sheet.z_given && !(sheet.range.Zvalue > 0)) return "--z must be above 0";
  if (args.Positional().size() > 1) return "unexpected argument " + args.Positional()[1];
  if (!args.Positional().empty()) o.database = args.Positional().front();
  if (o.database.empty()) return "missing database file";
  if (o.all && !o.problem.empty()) return "give either --problem NAME or --all";
  return {};
}

// The range of a phase-sheet file: the empty text when it is whole, else the complaint.
std::string CompleteSheetRange(SheetOptions& sheet) {
  if (!sheet.ymin_given || !sheet.ymax_given) return "a phase-sheet file needs --ymin and --ymax";
  if (!sheet.z_given) {
    if (sheet.range.Yparameter == calc::YParameter::Pressure)
      return "--y pressure needs --z (the temperature, K)";
    sheet.range.Zvalue = 1;  // 1 bar
  }
  if (!sheet.y_given) sheet.range.Yparameter = calc::YParameter::Temperature;
  return {};
}

// Runs one problem and writes its folder. Returns the exit code of that problem.
int RunOne(calc::ProblemInput problem, const RunOptions& o, const fs::path& dir) {
  if (o.xpoints > 0) problem.XPoints = o.xpoints;
  if (o.ypoints > 0) problem.YPoints = o.ypoints;
  if (!o.refine) problem.Refine = false;
  if (o.check_range) {
    if (const std::string why = problem::RunRangeProblem(problem); !why.empty()) {
      PrintError(o.database + ": problem '" + problem.ProblemName + "': " + why);
      return kExitError;
    }
  }
  // Taken before the run, so a folder another run is writing is refused at once.
  std::optional<OutputFolder> folder;
  try {
    folder.emplace(dir);
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }
  RunHost host(problem, o);
  int code = kExitOk;
  const auto start = std::chrono::steady_clock::now();
  try {
    host.engine().Run();
    if (host.results().State.CheckFailed) {
      code = kExitCheckFailed;
    } else if (!host.completed()) {
      code = kExitError;
    }
  } catch (const std::exception& e) {
    host.Record("error", e.what(), calc::GridPlaceOf(e));
    code = kExitError;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  bool written = false;
  try {
    WriteRunOutputs(folder->Staging(), problem, host, seconds);
    written = true;
    folder->Commit();
  } catch (const std::exception& e) {
    // One line for each file that failed, named as it was to be.
    std::string text = e.what();
    const std::string staging = folder->Staging().string(), shown = dir.string();
    for (size_t at = text.find(staging); at != std::string::npos;
         at = text.find(staging, at + shown.size()))
      text.replace(at, staging.size(), shown);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) PrintError(line);
    if (!written) {
      PrintError("the files of '" + problem.ProblemName + "' were not written; " + shown +
                 " is as it was");
    }
    return kExitError;
  }
  if (code == kExitOk && !o.quiet)
    std::printf("%s\n", RunSummaryLine(problem, host, seconds).c_str());
  if (code == kExitOk && o.print) std::fputs(RunAnswerLines(problem, host).c_str(), stdout);
  return code;
}

}  // namespace

int CmdRun(const Args& args) {
  RunOptions o;
  SheetOptions sheet;
  const std::string complaint = ParseArgs(args, o, sheet);
  if (!complaint.empty()) {
    PrintError(complaint);
    return CommandUsage("run", false);
  }
  // A problem file holds one problem or a list in JSON, a phase sheet whose range is on the
  // command line, or a table.
  const ProblemFileKind kind = ProblemFileKindOf(o.database);
  if (kind != ProblemFileKind::Sheet && sheet.given) {
    PrintError("--y, --ymin, --ymax and --z give the range of a phase-sheet file; " + o.database +
               " is a " + (kind == ProblemFileKind::Json ? "JSON file" : "problem table") +
               " and has its own");
    return CommandUsage("run", false);
  }
  if (kind == ProblemFileKind::Sheet) {
    if (const std::string complaint = CompleteSheetRange(sheet); !complaint.empty()) {
      PrintError(o.database + ": " + complaint);
      return CommandUsage("run", false);
    }
    sheet.range.XPoints = o.xpoints > 0 ? o.xpoints : sheet.range.XPoints;
    sheet.range.YPoints = o.ypoints > 0 ? o.ypoints : sheet.range.YPoints;
  }
  o.check_range = kind == ProblemFileKind::Json;
  std::vector<calc::ProblemInput> problems;
  try {
    problems = ReadProblemFile(o.database, kind, sheet.range, o.separator);
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }
  if (!o.all) {
    const calc::ProblemInput* found = ChooseProblem(problems, o.problem, o.database, "--all");
    if (!found) return o.problem.empty() && problems.size() > 1 ? kExitUsage : kExitError;
    const fs::path dir = o.out.empty() ? fs::path(FolderName(found->ProblemName)) : fs::path(o.out);
    return RunOne(*found, o, dir);
  }

  const fs::path base = o.out.empty() ? fs::path(".") : fs::path(o.out);
  std::set<std::string> used;
  std::vector<fs::path> dirs;
  for (const calc::ProblemInput& p : problems) {
    std::string name = FolderName(p.ProblemName);
    for (int k = 2; used.count(Lower(name)); ++k) name = FolderName(p.ProblemName) + "_" + std::to_string(k);
    used.insert(Lower(name));
    dirs.push_back(base / name);
  }
  // Every problem in a process of its own, several at once (see run_batch.h).
  BatchOptions batch;
  batch.jobs = o.jobs > 0 ? o.jobs : DefaultJobs();
  batch.progress = !o.quiet && ::isatty(STDERR_FILENO);
  const std::vector<int> codes = RunBatch(
      problems.size(), [&](size_t i) { return problems[i].ProblemName; },
      [&](size_t i) { return RunOne(problems[i], o, dirs[i]); }, batch);
  bool any_error = false, any_check_failed = false;
  for (const int code : codes) {
    any_error |= code == kExitError;
    any_check_failed |= code == kExitCheckFailed;
  }
  return any_error ? kExitError : any_check_failed ? kExitCheckFailed : kExitOk;
}

}  // namespace cli
