#pragma once
// How brelona-calc prints the program's messages.

#include <string>
#include <string_view>

namespace cli {

// A message for a terminal: the carriage returns that separate the lines of the program's
// messages (alone or before a line feed) become line feeds.
std::string TerminalText(std::string_view text);
// Prints "error: TEXT" on stderr, TEXT as for a terminal.
void PrintError(std::string_view text);

}  // namespace cli
