#include "numeric/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

namespace numeric {
namespace {

// The decimal expansion of a finite, non-zero |v|: digits d1 d2 ... (no leading zero) and an
// exponent so that |v| = 0.d1d2... * 10^exponent. Eighteen significant digits are taken, as an
// extended-precision conversion would; later rounding to fewer digits works on these digits.
struct Decimal {
  std::string digits;
  int exponent = 0;
  bool negative = false;
};

Decimal ToDecimal(double v) {
  Decimal d;
  d.negative = std::signbit(v);
  char buf[64];
  // "%.17e" gives d.ddddddddddddddddde±XX: 18 significant digits, correctly rounded.
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(v));
  const char* p = buf;
  for (; *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
  }
  d.exponent = std::atoi(p + 1) + 1;
  return d;
}

// Keeps the first `keep` digits of d, rounding half away from zero on the dropped ones;
// a carry out of the first digit raises the exponent. keep <= 0 rounds to the digit before
// the first one (so the result is either zero or a single "1").
void RoundDigits(Decimal& d, int keep) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
      d.digits[static_cast<size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

void StripTrailingZeros(Decimal& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// Fixed notation of 0.digits * 10^exponent (digits without trailing zeros).
std::string Fixed(const Decimal& d, char sep) {
  std::string out;
  if (d.negative) out.push_back('-');
  const int n = static_cast<int>(d.digits.size());
  if (d.exponent <= 0) {
    out += '0';
    out += sep;
    out.append(static_cast<size_t>(-d.exponent), '0');
    out += d.digits;
    return out;
  }
  if (n <= d.exponent) {
    out += d.digits;
    out.append(static_cast<size_t>(d.exponent - n), '0');
    return out;
  }
  out.append(d.digits, 0, static_cast<size_t>(d.exponent));
  out += sep;
  out.append(d.digits, static_cast<size_t>(d.exponent), std::string::npos);
  return out;
}

const char* NonFinite(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

}  // namespace

std::string FormatFloatPattern(double v, int max_decimals, char decimal_separator) {
  if (!std::isfinite(v)) return NonFinite(v);
  if (max_decimals < 0) max_decimals = 0;
  if (max_decimals > 18) max_decimals = 18;
  if (v == 0) return "0";
  Decimal d = ToDecimal(v);
  // Digits kept: those before the point plus max_decimals after it.
  RoundDigits(d, d.exponent + max_decimals);
  StripTrailingZeros(d);
  if (d.digits.empty()) return "0";
  return Fixed(d, decimal_separator);
}

double PatternValue(double v, int max_decimals) {
  if (!std::isfinite(v) || v == 0) return v;
  max_decimals = std::clamp(max_decimals, 0, 18);
  Decimal d = ToDecimal(v);
  RoundDigits(d, d.exponent + max_decimals);
  StripTrailingZeros(d);
  if (d.digits.empty()) return 0;
  // 0.digits times ten to the exponent, converted correctly rounded.
  std::string text = d.negative ? "-0." : "0.";
  text += d.digits;
  text += 'e';
  text += std::to_string(d.exponent);
  double out = 0;
  std::from_chars(text.data(), text.data() + text.size(), out);
  return out;
}

std::string FormatGeneral15(double v, char decimal_separator) {
  if (!std::isfinite(v)) return NonFinite(v);
  if (v == 0) return "0";
  Decimal d = ToDecimal(v);
  RoundDigits(d, 15);
  StripTrailingZeros(d);
  // exponent is that of 0.ddd; the scientific exponent is one less.
  if (d.exponent > 15 || d.exponent < -3) {
    std::string out;
    if (d.negative) out.push_back('-');
    out += d.digits[0];
    if (d.digits.size() > 1) {
      out += decimal_separator;
      out.append(d.digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(d.exponent - 1);
    return out;
  }
  return Fixed(d, decimal_separator);
}

bool ParseFloat(std::string_view text, char decimal_separator, double& out) {
  size_t i = 0;
  const size_t n = text.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < n && blank(text[i])) ++i;
  size_t end = n;
  while (end > i && blank(text[end - 1])) --end;

  // Rebuild the number in the form std::from_chars reads ('.' as separator, no '+').
  std::string norm;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') norm.push_back('-');
    ++i;
  }
  int digits = 0;
  bool seen_sep = false;
  for (; i < end; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      norm.push_back(c);
      ++digits;
    } else if (c == decimal_separator && !seen_sep) {
      norm.push_back('.');
      seen_sep = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    norm.push_back('e');
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
      if (text[i] == '-') norm.push_back('-');
      ++i;
    }
    int exp_digits = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
      norm.push_back(text[i]);
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  if (i != end) return false;

  double value = 0;
  const auto res = std::from_chars(norm.data(), norm.data() + norm.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Too small reads as zero (with its sign), too large is not a number we can hold. The
    // decimal magnitude tells the two apart: position of the first non-zero digit + exponent.
    const size_t epos = norm.find('e');
    const std::string_view mant = std::string_view(norm).substr(0, epos);
    long magnitude = 0;
    bool found = false, after_point = false;
    for (char c : mant) {
      if (c == '.') {
        after_point = true;
      } else if (c >= '0' && c <= '9') {
        if (!found && c != '0') found = true;
        if (found && !after_point) ++magnitude;
        if (!found && after_point) --magnitude;
      }
    }
    long exponent = 0;
    if (epos != std::string::npos) {
      const std::string_view e = std::string_view(norm).substr(epos + 1);
      const bool neg = !e.empty() && e[0] == '-';
      for (char c : e.substr(neg ? 1 : 0)) {
        exponent = exponent * 10 + (c - '0');
        if (exponent > 100000) break;
      }
      if (neg) exponent = -exponent;
    }
    if (magnitude + exponent < 0) {
      out = norm[0] == '-' ? -0.0 : 0.0;
      return true;
    }
    return false;
  }
  if (res.ec != std::errc() || res.ptr != norm.data() + norm.size()) return false;
  out = value;
  return true;
}

}  // namespace numeric
