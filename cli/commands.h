#pragma once
// The commands of brelona-calc. Each returns the process exit code:
// 0 success, 1 an error reported as "error: ..." on stderr, 2 a usage error.

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

int CmdEval(const Args& args);
int CmdDbExport(const Args& args);
int CmdDbImport(const Args& args);
int CmdList(const Args& args);
int CmdRun(const Args& args);
int CmdPoint(const Args& args);

struct Command {
  const char* name;
  int (*run)(const Args&);
};
const std::vector<Command>& Commands();

}  // namespace cli
