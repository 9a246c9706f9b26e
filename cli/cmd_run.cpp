// brelona-calc run: the Run command of the main window without a window. It reads problems
// from a database, runs the check, the set-up, every level and the special-point finder through
// the same engine as the program, and writes the results into a folder per problem.

#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/engine.h"
#include "calc/problem.h"
#include "cli/commands.h"
#include "cli/run_host.h"
#include "cli/run_outputs.h"
#include "problem/problem_reader.h"
#include "problem/problem_table.h"
#include "store/memtable.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

// A folder name for a problem name: path separators and control characters become "_".
std::string FolderName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) out += (c < 32 || c == '/' || c == '\\') ? '_' : static_cast<char>(c);
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
  if (i + 1 >= args.size()) return a + " needs a value";
  const std::string v = args[++i];
  if (a == "--format") {
    o.png = o.svg = o.pdf = false;
    size_t start = 0;
    while (start <= v.size()) {
      const size_t comma = std::min(v.find(',', start), v.size());
      const std::string f = v.substr(start, comma - start);
      if (f == "png") {
        o.png = true;
      } else if (f == "svg") {
        o.svg = true;
      } else if (f == "pdf") {
        o.pdf = true;
      } else {
        return "--format needs a list of png, svg, pdf";
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

// Returns an empty text on success, else the complaint.
std::string ParseArgs(const Args& args, RunOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--all") {
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
    } else if (a == "--format" || a == "--size" || a == "--dpi" || a == "--celsius") {
      const std::string complaint = ParsePictureOption(a, args, i, o);
      if (!complaint.empty()) return complaint;
    } else if (!a.empty() && a[0] == '-') {
      return "unknown option " + a;
    } else if (o.database.empty()) {
      o.database = a;
    } else {
      return "unexpected argument " + a;
    }
  }
  if (o.database.empty()) return "missing database file";
  if (o.all == !o.problem.empty()) return "give either --problem NAME or --all";
  return {};
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Runs one problem and writes its folder. Returns the exit code of that problem.
int RunOne(calc::ProblemInput problem, const RunOptions& o, const fs::path& dir) {
  if (o.xpoints > 0) problem.XPoints = o.xpoints;
  if (o.ypoints > 0) problem.YPoints = o.ypoints;
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
  try {
    WriteRunOutputs(dir, problem, host, seconds);
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }
  if (code == kExitOk) std::printf("%s\n", RunSummaryLine(problem, host, seconds).c_str());
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
  for (const std::string& n : names) std::fprintf(stderr, "  %s\n", n.c_str());
  return nullptr;
}

}  // namespace

int CmdRun(const Args& args) {
  RunOptions o;
  const std::string complaint = ParseArgs(args, o);
  if (!complaint.empty()) {
    PrintError(complaint);
    return CommandUsage("run", false);
  }
  std::vector<calc::ProblemInput> problems;
  try {
    store::TMemTable table;
    table.SetTableName(o.database);
    table.SetLoadMode(store::lmFile);
    table.SetIndexFieldNames(problem::kProblemName);
    table.SetDecimalSeparator(o.separator);
    try {
      table.Open();
    } catch (const std::exception& e) {
      const std::string hint = NotATableHint(o.database);
      if (hint.empty()) throw;
      throw std::runtime_error(std::string(e.what()) + "\r" + hint);
    }
    for (table.First(); !table.Eof(); table.Next()) problems.push_back(problem::ReadProblem(table));
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }

  if (!o.all) {
    const calc::ProblemInput* found = FindProblem(problems, o.problem);
    if (!found) return kExitError;
    const fs::path dir = o.out.empty() ? fs::path(FolderName(found->ProblemName)) : fs::path(o.out);
    return RunOne(*found, o, dir);
  }

  const fs::path base = o.out.empty() ? fs::path(".") : fs::path(o.out);
  std::set<std::string> used;
  bool any_error = false, any_check_failed = false;
  for (const calc::ProblemInput& p : problems) {
    std::string name = FolderName(p.ProblemName);
    for (int k = 2; used.count(Lower(name)); ++k) name = FolderName(p.ProblemName) + "_" + std::to_string(k);
    used.insert(Lower(name));
    const int code = RunOne(p, o, base / name);
    any_error |= code == kExitError;
    any_check_failed |= code == kExitCheckFailed;
  }
  return any_error ? kExitError : any_check_failed ? kExitCheckFailed : kExitOk;
}

}  // namespace cli
