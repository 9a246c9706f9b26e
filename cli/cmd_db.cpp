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

#include "cli/commands.h"
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

int CmdDbExport(const Args& args) {
  if (args.size() != 1 || args[0].rfind("-", 0) == 0) return CommandUsage("db-export", false);
  return Guard([&] { return Export(args[0]); });
}

int CmdDbImport(const Args& args) {
  std::vector<std::string> files;
  bool force = false;
  for (const std::string& a : args) {
    if (a == "--force")
      force = true;
    else if (a.rfind("--", 0) == 0)
      return CommandUsage("db-import", false);
    else
      files.push_back(a);
  }
  if (files.size() != 2) return CommandUsage("db-import", false);
  return Guard([&] { return Import(files[0], files[1], force); });
}

int CmdList(const Args& args) {
  if (args.size() != 1 || args[0].rfind("-", 0) == 0) return CommandUsage("list", false);
  return Guard([&] { return List(args[0]); });
}

}  // namespace cli
