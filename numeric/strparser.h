#pragma once
// TStrParser: cuts a string into pieces at every occurrence of a separator of any length.

#include <string>
#include <string_view>
#include <vector>

namespace numeric {

class TStrParser {
 public:
  // Replaces Items() with the pieces of s.
  void Split(std::string_view s);

  const std::string& DividingString() const { return dividing_string_; }
  void SetDividingString(std::string_view s) { dividing_string_ = s; }
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool on) { case_sensitive_ = on; }
  // The pieces of the last Split; the host may delete entries.
  std::vector<std::string>& Items() { return items_; }
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::string dividing_string_;
  bool case_sensitive_ = false;
  std::vector<std::string> items_;
};

}  // namespace numeric
