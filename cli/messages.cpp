#include "cli/messages.h"

#include <cstdio>

namespace cli {

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void PrintError(std::string_view text) {
  std::fprintf(stderr, "error: %s\n", TerminalText(text).c_str());
}

}  // namespace cli
