#pragma once
// The command line of every brelona-calc command, read by one set of rules (Qt's parser):
// "--name value" and "--name=value", short "-j N" and "-jN", options before and after the
// files, "--" before a file whose name begins with "-". An unknown option is refused with the
// closest known name.

#include <string>
#include <vector>

#include "cli/commands.h"

namespace cli {

struct OptionDef {
  const char* name;             // without the dashes: "problem"
  bool value = false;           // takes a value
  const char* short_name = "";  // one letter, or empty
};

class Arguments {
 public:
  bool Has(const std::string& name) const;
  // The value given last (an option may be repeated), or the empty text.
  std::string Value(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  friend std::string ParseArguments(const Args&, const std::vector<OptionDef>&, Arguments&);
  std::vector<std::pair<std::string, std::string>> given_;  // name, value, in order
  std::vector<std::string> positional_;
};

// Reads args by the command's options. The empty text on success, else the complaint of a
// usage error. -h and --help are always known (the commands answer them before).
std::string ParseArguments(const Args& args, const std::vector<OptionDef>& options, Arguments& out);

// A word of a fixed set, in any letter case; on a miss the complaint names the closest.
// Returns the word as the set spells it, or the empty text with `complaint` set.
std::string ChooseWord(const std::string& option, const std::string& word,
                       const std::vector<std::string>& words, std::string& complaint);

// The picture formats a --format list names (png, svg, pdf or none, separated by commas, in
// any letter case): the empty text on success, else the complaint.
std::string ChooseFormats(const std::string& list, bool& png, bool& svg, bool& pdf);

}  // namespace cli
