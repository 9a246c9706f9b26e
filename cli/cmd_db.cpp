#include <cstdio>

#include "cli/commands.h"

namespace cli {

int CmdDbExport(const Args&) {
  std::fputs("error: db-export is not available in this build\n", stderr);
  return 1;
}
int CmdDbImport(const Args&) {
  std::fputs("error: db-import is not available in this build\n", stderr);
  return 1;
}
int CmdList(const Args&) {
  std::fputs("error: list is not available in this build\n", stderr);
  return 1;
}

}  // namespace cli
