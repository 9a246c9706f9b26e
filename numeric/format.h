#pragma once
// Number <-> text helpers shared by every layer. The decimal separator is always a parameter:
// the GUI passes the user's locale separator, the engine and its tests pass whatever they need.

#include <string>
#include <string_view>

namespace numeric {

// Writes v with at most max_decimals decimals (the patterns "0.###", "0.####", "0.######",
// "0.########" are 3, 4, 6 and 8): rounded half away from zero on the number's decimal
// expansion, trailing zeros dropped, the separator dropped when no decimal is left, at least
// one integer digit, no thousands separator, never "-0". max_decimals is clamped to 0..18.
std::string FormatFloatPattern(double v, int max_decimals, char decimal_separator);

// The number FormatFloatPattern(v, max_decimals, ...) writes, as a double: the value a reader of
// that text sees (the nearest double to the rounded decimal). A grid header shows its level or
// composition this way, and its number is this value, so what is computed from the header
// agrees with what it shows. Non-finite values are returned unchanged.
double PatternValue(double v, int max_decimals);

// The general format with 15 significant digits: fixed notation such as "0.333333333333333",
// "0.5", "1500", "0.0001"; scientific notation "1E-5", "1.5E20", "-2.5E-7" when the decimal
// exponent is below -4 or 15 and above. Non-finite values give "NAN", "INF" and "-INF".
std::string FormatGeneral15(double v, char decimal_separator);

// Reads a number written by the functions above (or typed by a user) with the same separator:
// optional blanks, an optional sign, digits with at most one decimal separator, an optional
// exponent (E or e, optional sign, digits), optional blanks. Any other character, no digit at
// all, or a value outside the double range gives false and leaves out unchanged.
bool ParseFloat(std::string_view text, char decimal_separator, double& out);

}  // namespace numeric
