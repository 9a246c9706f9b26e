#include <cstdio>

#include "cli/commands.h"

namespace cli {

int CmdRun(const Args&) {
  std::fputs("error: run is not available in this build\n", stderr);
  return 1;
}

}  // namespace cli
