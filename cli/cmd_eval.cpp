#include <cstdio>

#include "cli/commands.h"

namespace cli {

int CmdEval(const Args&) {
  std::fputs("error: eval is not available in this build\n", stderr);
  return 1;
}

}  // namespace cli
