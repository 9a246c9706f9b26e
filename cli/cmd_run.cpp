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
#include "cli/commands.h"
#include "cli/output_folder.h"
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
std::string ParsePictureOption(const std::string& a, const Args& args, size_t& i, RunOptions& o) {
  if (a == "--celsius") {
    o.celsius = true;
    return {};
  }
  if (a == "--grid-points") {
    o.gridPoints = true;
    return {};
  }
  if (a == "--wt") {
    o.wt = true;
    return {};
  }
  if (i + 1 >= args.size()) return a + " needs a value";
  const std::string v = args[++i];
  if (a == "--format") {
    o.png = o.svg = o.pdf = false;
    size_t start = 0;
    while (start <= v.size()) {
      const size_t comma = std::min(v.find(',', start), v.size());
      std::string f = v.substr(start, comma - start);
      for (char& c : f) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (f == "png") {
        o.png = true;
      } else if (f == "svg") {
        o.svg = true;
      } else if (f == "pdf") {
        o.pdf = true;
      } else if (f != "none") {
        return "--format needs a list of png, svg, pdf, or none";
      }
      start = comma + 1;
    }
  } else if (a == "--size") {
    const size_t x = v.find_first_of("xX");
    int w = 0, h = 0;
    if (x == std::string::npos || !ParseInt(v.substr(0, x), w) || !ParseInt(v.substr(x + 1), h) ||
        w < 16 || h < 16 || w > 20000 || h > 20000) {
      return "--size needs WxH, each 16 to 20000";
    }
    o.picture_w = w;
    o.picture_h = h;
  } else if (a == "--dpi") {
    int n = 0;
    if (!ParseInt(v, n) || n < 24 || n > 2400) return "--dpi needs a number from 24 to 2400";
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

// Returns an empty text on success, else the complaint.
std::string ParseArgs(const Args& args, RunOptions& o, SheetOptions& sheet) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--no-refine") {
      o.refine = false;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--problem") {
      if (!value(o.problem)) return "--problem needs a name";
    } else if (a == "--out") {
      if (!value(o.out)) return "--out needs a folder";
    } else if (a == "--xpoints" || a == "--ypoints") {
      int n = 0;
      if (!value(v) || !ParseInt(v, n) || n < 1) return a + " needs a positive integer";
      (a == "--xpoints" ? o.xpoints : o.ypoints) = n;
    } else if (a == "--decimal-separator") {
      if (!value(v) || (v != "." && v != ",")) return "--decimal-separator needs '.' or ','";
      o.separator = v[0];
    } else if (a == "--mosaic-size") {
      const size_t x = value(v) ? v.find_first_of("xX") : std::string::npos;
      int w = 0, h = 0;
      if (x == std::string::npos || !ParseInt(v.substr(0, x), w) ||
          !ParseInt(v.substr(x + 1), h) || w < 1 || h < 1 || w > 20000 || h > 20000) {
        return "--mosaic-size needs WxH, each 1 to 20000";
      }
      o.mosaic_w = w;
      o.mosaic_h = h;
    } else if (a == "--format" || a == "--size" || a == "--dpi" || a == "--celsius" ||
               a == "--wt" || a == "--grid-points") {
      const std::string complaint = ParsePictureOption(a, args, i, o);
      if (!complaint.empty()) return complaint;
    } else if (a == "-j" || a == "--jobs") {
      if (!value(v) || !ParseInt(v, o.jobs) || o.jobs < 1) return a + " needs a positive integer";
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--y") {
      if (!value(v)) return "--y needs temperature or pressure";
      if (v == "temperature" || v == "T" || v == calc::kTemperatureText) {
        sheet.range.Yparameter = calc::YParameter::Temperature;
      } else if (v == "pressure" || v == "p" || v == calc::kPressureText) {
        sheet.range.Yparameter = calc::YParameter::Pressure;
      } else {
        return "--y needs temperature or pressure";
      }
      sheet.given = sheet.y_given = true;
    } else if (a == "--ymin" || a == "--ymax" || a == "--z") {
      double d = 0;
      if (!value(v) || !ParseDouble(v, d)) return a + " needs a number";
      (a == "--ymin"   ? sheet.range.Ymin
       : a == "--ymax" ? sheet.range.Ymax
                       : sheet.range.Zvalue) = d;
      (a == "--ymin" ? sheet.ymin_given : a == "--ymax" ? sheet.ymax_given : sheet.z_given) = true;
      sheet.given = true;
    } else if (!a.empty() && a[0] == '-') {
      const std::string near = Nearest(
          a, {"--all", "--problem", "--out", "--xpoints", "--ypoints", "--decimal-separator",
              "--mosaic-size", "--no-refine", "--jobs", "--quiet", "--ymin", "--ymax"});
      return "unknown option " + a + (near.empty() ? "" : "; did you mean '" + near + "'?");
    } else if (o.database.empty()) {
      o.database = a;
    } else {
      return "unexpected argument " + a;
    }
  }
  if (o.database.empty()) return "missing database file";
  if (o.all && !o.problem.empty()) return "give either --problem NAME or --all";
  if (sheet.given) {
    if (!sheet.ymin_given || !sheet.ymax_given) return "a phase-sheet file needs --ymin and --ymax";
    if (!sheet.z_given) {
      if (sheet.range.Yparameter == calc::YParameter::Pressure)
        return "--y pressure needs --z (the temperature, K)";
      sheet.range.Zvalue = 1;  // 1 bar
    }
    if (!sheet.y_given) sheet.range.Yparameter = calc::YParameter::Temperature;
  }
  return {};
}

enum class ProblemFileKind { Table, Json, Sheet };

// A table when the file begins as a table image does; else JSON when the first byte that is
// not blank (after a byte-order mark) opens an object or a list; a table otherwise (which then
// says what is wrong with it). A table's first byte is part of its length and may be "{" or "[".
ProblemFileKind ProblemFileKindOf(const std::string& path) {
  if (store::LooksLikeTableImage(path)) return ProblemFileKind::Table;
  std::ifstream f(path, std::ios::binary);
  char buf[64] = {};
  f.read(buf, sizeof buf);
  std::string_view head(buf, static_cast<size_t>(f.gcount()));
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  const size_t at = head.find_first_not_of(" \t\r\n");
  if (at != std::string_view::npos && (head[at] == '{' || head[at] == '['))
    return ProblemFileKind::Json;
  return ProblemFileKind::Table;
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
    host.Record("error", e.what());
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
  return code;
}

// The problem called name: the exact name first, then the first one that differs only in
// letter case. Null when there is none, after telling the user the names there are.
const calc::ProblemInput* FindProblem(const std::vector<calc::ProblemInput>& problems,
                                      const std::string& name) {
  for (const auto& p : problems) {
    if (p.ProblemName == name) return &p;
  }
  for (const auto& p : problems) {
    if (Lower(p.ProblemName) == Lower(name)) return &p;
  }
  std::vector<std::string> names;
  for (const auto& p : problems) names.push_back(p.ProblemName);
  std::string text = "problem '" + name + "' not found";
  const std::string near = Nearest(name, names);
  if (!near.empty()) text += "; did you mean '" + near + "'?";
  PrintError(text);
  std::fputs(names.empty() ? "the database holds no problem\n" : "problems:\n", stderr);
  // A short list whole, in its order; of a long one the few names closest to the one asked.
  constexpr size_t kListed = 10;
  if (names.size() > kListed) {
    std::vector<std::pair<size_t, size_t>> by;  // distance, index
    for (size_t i = 0; i < names.size(); ++i) by.push_back({EditDistance(name, names[i]), i});
    std::partial_sort(by.begin(), by.begin() + kListed, by.end());
    std::vector<std::string> closest;
    for (size_t k = 0; k < kListed; ++k) closest.push_back(names[by[k].second]);
    closest.push_back("... and " + std::to_string(names.size() - kListed) + " more");
    names = std::move(closest);
  }
  for (const std::string& n : names) std::fprintf(stderr, "  %s\n", n.c_str());
  return nullptr;
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
  std::vector<calc::ProblemInput> problems;
  // A problem file holds one problem or a list in JSON, or a phase sheet whose range is on the
  // command line; anything else is a table file.
  const ProblemFileKind kind = sheet.given ? ProblemFileKind::Sheet : ProblemFileKindOf(o.database);
  if (kind != ProblemFileKind::Table) {
    try {
      if (kind == ProblemFileKind::Sheet) {
        sheet.range.XPoints = o.xpoints > 0 ? o.xpoints : sheet.range.XPoints;
        sheet.range.YPoints = o.ypoints > 0 ? o.ypoints : sheet.range.YPoints;
        problems.push_back(problem::ReadSheetFile(o.database, sheet.range));
      } else {
        problems = problem::ReadProblemsJson(o.database);
        o.check_range = true;
      }
    } catch (const std::exception& e) {
      PrintError(e.what());
      return kExitError;
    }
    // A file of one problem needs no name.
    if (!o.all && o.problem.empty()) {
      if (problems.size() != 1) {
        PrintError("the file holds " + std::to_string(problems.size()) +
                   " problems: give --problem NAME or --all");
        return kExitUsage;
      }
      o.problem = problems.front().ProblemName;
    }
  } else if (!o.all && o.problem.empty()) {
    PrintError("give either --problem NAME or --all");
    return CommandUsage("run", false);
  } else {
    try {
      store::TMemTable table;
      table.SetTableName(o.database);
      table.SetLoadMode(store::lmFile);
      table.SetIndexFieldNames(problem::kProblemName);
      table.SetDecimalSeparator(o.separator);
      problem::CheckProblemTableFields(o.database);
      try {
        table.Open();
      } catch (const std::exception& e) {
        const std::string hint = NotATableHint(o.database);
        if (hint.empty()) throw;
        throw std::runtime_error(std::string(e.what()) + "\r" + hint);
      }
      for (table.First(); !table.Eof(); table.Next())
        problems.push_back(problem::ReadProblem(table));
    } catch (const std::exception& e) {
      PrintError(e.what());
      return kExitError;
    }
  }

  if (!o.all) {
    const calc::ProblemInput* found = FindProblem(problems, o.problem);
    if (!found) return kExitError;
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
