// brelona-calc: the headless companion of Brelona.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"

#ifndef BRELONA_VERSION
#define BRELONA_VERSION "unknown"
#endif

namespace {

void Usage(std::FILE* out) {
  std::fputs(
      "usage: brelona-calc COMMAND [ARGS]\n"
      "       brelona-calc COMMAND --help | --help | --version\n"
      "commands:\n",
      out);
  for (const cli::Command& c : cli::Commands()) {
    std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  }
  std::fputs(
      "exit status:\n"
      "  0  success\n"
      "  1  an error in a run, a file or an expression (\"error: ...\" on stderr)\n"
      "  2  a usage error (unknown command, option or argument)\n"
      "  3  run: the problem check refused a problem (and no other error happened)\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return cli::kExitUsage;
  }
  const std::string cmd = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (cmd == "-h" || cmd == "--help" || cmd == "help") {
    Usage(stdout);
    return cli::kExitOk;
  }
  if (cmd == "--version") {
    std::printf("brelona-calc %s\n", BRELONA_VERSION);
    return cli::kExitOk;
  }
  std::vector<std::string> names;
  for (const cli::Command& c : cli::Commands()) {
    if (cmd == c.name) return cli::WantsHelp(args) ? cli::CommandUsage(c.name, true) : c.run(args);
    names.push_back(c.name);
  }
  std::fprintf(stderr, "brelona-calc: unknown command '%s'\n", cmd.c_str());
  const std::string near = cli::Nearest(cmd, names);
  if (!near.empty()) std::fprintf(stderr, "did you mean '%s'?\n", near.c_str());
  Usage(stderr);
  return cli::kExitUsage;
}
