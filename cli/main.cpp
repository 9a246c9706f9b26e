// brelona-calc: the headless companion of Brelona.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

void Usage(std::FILE* out) {
  std::fputs(
      "usage: brelona-calc COMMAND [ARGS]\n"
      "commands:\n"
      "  eval 'EXPR' [NAME=VALUE ...]   evaluate an expression\n"
      "  db-export FILE.d               print a problem database as JSON\n"
      "  db-import FILE.json FILE.d [--force]\n"
      "                                 build a problem database from JSON\n"
      "  list FILE.d                    print the problem names in list order\n"
      "  run DB.d (--problem NAME | --all) [--out DIR] [--xpoints N] [--ypoints N]\n"
      "      [--decimal-separator C] [--mosaic-size WxH]\n"
      "                                 compute phase diagrams and write the results\n"
      "  point DB.d --problem NAME --y Y --x X\n"
      "                                 the equilibrium at one point of a diagram, as JSON\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  std::string cmd = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (cmd == "-h" || cmd == "--help" || cmd == "help") {
    Usage(stdout);
    return 0;
  }
  for (const cli::Command& c : cli::Commands()) {
    if (cmd == c.name) return c.run(args);
  }
  std::fprintf(stderr, "brelona-calc: unknown command '%s'\n", cmd.c_str());
  Usage(stderr);
  return 2;
}
