#include "views/readout.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace views {

namespace {

// Widens the exponent of a "%.4E" text ("1.2346E-02") to at least three digits.
std::string WidenExponent(const std::string& s) {
  const auto e = s.find('E');
  if (e == std::string::npos || e + 2 > s.size()) return s;
  std::string mantissa = s.substr(0, e + 2);  // up to and including the sign
  std::string digits = s.substr(e + 2);
  while (digits.size() < 3) digits.insert(digits.begin(), '0');
  return mantissa + digits;
}

}  // namespace

std::string FormatReadoutValue(double v, char decimalSeparator) {
  char buf[400];  // "%.3f" of the largest double has 309 integer digits
  std::string text;
  if (std::fabs(v) >= 1.0) {
    std::snprintf(buf, sizeof buf, "%.3f", v);
    text = buf;
  } else {
    std::snprintf(buf, sizeof buf, "%.4E", v);
    text = WidenExponent(buf);
  }
  for (char& c : text) {
    if (c == '.') c = decimalSeparator;
  }
  if (text.size() < 12) text.append(12 - text.size(), ' ');
  return text;
}

std::string ReadoutText(double x, double y, const std::string& yTitle, char decimalSeparator) {
  return "X = " + FormatReadoutValue(x, decimalSeparator) + "    " + yTitle + " = " +
         FormatReadoutValue(y, decimalSeparator);
}

std::string FirstLine(const std::string& text) {
  const auto end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace views
