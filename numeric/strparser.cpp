#include "numeric/strparser.h"

#include <algorithm>
#include <string>

namespace numeric {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Position of the first occurrence of sep in s, or npos. An empty separator is never found.
size_t Find(std::string_view s, std::string_view sep, bool case_sensitive) {
  if (sep.empty() || sep.size() > s.size()) return std::string_view::npos;
  if (case_sensitive) return s.find(sep);
  const auto it = std::search(s.begin(), s.end(), sep.begin(), sep.end(),
                              [](char a, char b) { return UpperAscii(a) == UpperAscii(b); });
  return it == s.end() ? std::string_view::npos : static_cast<size_t>(it - s.begin());
}

}  // namespace

void TStrParser::Split(std::string_view s) {
  items_.clear();
  std::string_view rest = s;
  for (;;) {
    const size_t p = Find(rest, dividing_string_, case_sensitive_);
    if (p == std::string_view::npos) break;
    items_.emplace_back(rest.substr(0, p));
    rest.remove_prefix(p + dividing_string_.size());
  }
  // The text after the last separator is a piece only when it is not empty.
  if (!rest.empty()) items_.emplace_back(rest);
}

}  // namespace numeric
