#pragma once
// Texts of the diagram window's mouse read-out.

#include <string>

namespace views {

// One read-out value, always 12 characters wide and left-aligned:
//  |v| >= 1: fixed notation with three decimals ("1234.568    ");
//  |v| <  1: scientific notation with four decimals after the first digit, an upper-case "E",
//            the exponent's sign and at least three exponent digits ("1.2346E-002 ").
// `decimalSeparator` replaces the '.' of the C locale (the user's locale separator).
std::string FormatReadoutValue(double v, char decimalSeparator);

// "X = " + x + "    " + yTitle + " = " + y, both values as FormatReadoutValue writes them.
// `yTitle` is the first line of the chart title ("T, K" or "P, бар").
std::string ReadoutText(double x, double y, const std::string& yTitle, char decimalSeparator);

// The first line of a possibly multi-line text (everything before the first line break).
std::string FirstLine(const std::string& text);

}  // namespace views
