#include "cli/commands.h"

namespace cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"eval", CmdEval}, {"db-export", CmdDbExport}, {"db-import", CmdDbImport},
      {"list", CmdList}, {"run", CmdRun},
      {"point", CmdPoint},
  };
  return commands;
}

}  // namespace cli
