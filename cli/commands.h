#pragma once
// The commands of brelona-calc. Each returns the process exit code, one map for the whole
// tool (see ExitCode).

#include <string>
#include <string_view>
#include <vector>

#include "cli/messages.h"

namespace cli {

// Exit codes of brelona-calc, the same for every command.
enum ExitCode : int {
  kExitOk = 0,           // success
  kExitError = 1,        // a run, file or evaluation error, reported as "error: ..." on stderr
  kExitUsage = 2,        // a usage error: unknown command, option or argument
  kExitCheckFailed = 3,  // run: the problem check refused a problem
};

using Args = std::vector<std::string>;

int CmdEval(const Args& args);
int CmdDbExport(const Args& args);
int CmdDbImport(const Args& args);
int CmdList(const Args& args);
int CmdRun(const Args& args);
int CmdPoint(const Args& args);
int CmdStep(const Args& args);
int CmdImportTdb(const Args& args);

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* usage;    // the arguments, after "brelona-calc NAME "
  const char* summary;  // one line for the tool's help
};
const std::vector<Command>& Commands();

// True when args asks for help (-h or --help anywhere).
bool WantsHelp(const Args& args);
// Prints "usage: brelona-calc NAME USAGE" and the command's help text to stdout (help asked
// for, exit 0) or stderr (a usage error, exit 2), and returns that exit code.
int CommandUsage(const char* name, bool asked);

// When a table file could not be opened: a sentence that says what the file is instead
// ("... is a JSON file, not a table file ..."), or the empty text when it does not look like
// anything else.
std::string NotATableHint(const std::string& file);

// The number of single-character edits between a and b, letter case ignored.
size_t EditDistance(std::string_view a, std::string_view b);
// The candidate closest to word, when it is close enough to be a likely typing error; empty
// otherwise.
std::string Nearest(std::string_view word, const std::vector<std::string>& candidates);

// ASCII letters in lower case.
std::string Lower(std::string s);
// A number as JSON text: null for NaN, the strings "Infinity" and "-Infinity" for infinite
// values (a chemical potential at a pure component), else the shortest exact form.
std::string JsonNumber(double v);
// A text as a JSON string, quotes and control characters escaped.
std::string JsonString(const std::string& s);

}  // namespace cli
