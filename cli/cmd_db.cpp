// The database commands of brelona-calc: db-export, db-import and list.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/problem_file.h"
#include "store/memtable.h"
#include "store/safe_file.h"
#include "store/sorted_list.h"
#include "store/table_json.h"

namespace cli {
namespace {

// A failure reported as "error: ..." with exit code 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void WriteOut(std::string_view s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
}

// Runs a reading of a table file; when the file cannot be read as a table but looks like
// something else (a JSON file), the error says so.
template <typename F>
auto WithTableHint(const std::string& file, F&& read) {
  try {
    return read();
  } catch (const Failure&) {
    throw;
  } catch (const std::exception& e) {
    const std::string hint = NotATableHint(file);
    if (hint.empty()) throw;
    throw Failure(std::string(e.what()) + "\r" + hint);
  }
}

void OpenTable(store::TMemTable& t, const std::string& file, const std::string& index) {
  t.SetTableName(file);
  t.SetIndexFieldNames(index);
  WithTableHint(file, [&] { t.Open(); });
}

int Export(const std::string& file) {
  WithTableHint(file, [&] { store::ExportTableJson(file, WriteOut); });
  return 0;
}

int Import(const std::string& jsonFile, const std::string& dbFile, bool force) {
  if (!force && store::FileExists(dbFile))
    throw Failure(dbFile + " already exists (use --force to replace it)");
  store::ImportTableJson(jsonFile, dbFile);
  return 0;
}

int List(const std::string& file) {
  // A JSON problem file or a phase sheet: its names in file order.
  if (const ProblemFileKind kind = ProblemFileKindOf(file); kind != ProblemFileKind::Table) {
    std::string out;
    for (const calc::ProblemInput& p : ReadProblemFile(file, kind)) out += p.ProblemName + "\n";
    WriteOut(out);
    return 0;
  }
  // The names alone when ProblemName is a text field; else the table reports why it cannot.
  if (WithTableHint(file, [&] { return store::WriteSortedTexts(file, "ProblemName", WriteOut); }))
    return 0;
  store::TMemTable t;
  OpenTable(t, file, "ProblemName");
  store::TField& name = t.FieldByName("ProblemName");
  std::string out;
  for (t.First(); !t.Eof(); t.Next()) out += name.AsString() + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

template <typename F>
int Guard(F&& f) {
  try {
    return f();
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }
}

}  // namespace

// The files of a command that takes only files (and the given flags); empty after a usage
// error, which is then printed.
static bool Files(const char* command, const Args& list, size_t count,
                  std::vector<std::string>& files, const std::vector<OptionDef>& flags,
                  Arguments& args) {
  std::string complaint = ParseArguments(list, flags, args);
  if (complaint.empty() && args.Positional().size() != count)
    complaint = args.Positional().size() < count
                    ? "missing file"
                    : "unexpected argument " + args.Positional()[count];
  if (!complaint.empty()) {
    PrintError(complaint);
    CommandUsage(command, false);
    return false;
  }
  files = args.Positional();
  return true;
}

int CmdDbExport(const Args& list) {
  std::vector<std::string> files;
  Arguments args;
  if (!Files("db-export", list, 1, files, {}, args)) return kExitUsage;
  return Guard([&] { return Export(files[0]); });
}

int CmdDbImport(const Args& list) {
  std::vector<std::string> files;
  Arguments args;
  if (!Files("db-import", list, 2, files, {{"force"}}, args)) return kExitUsage;
  return Guard([&] { return Import(files[0], files[1], args.Has("force")); });
}

int CmdList(const Args& list) {
  std::vector<std::string> files;
  Arguments args;
  if (!Files("list", list, 1, files, {}, args)) return kExitUsage;
  return Guard([&] { return List(files[0]); });
}

}  // namespace cli
