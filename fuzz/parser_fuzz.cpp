// Compiles and evaluates arbitrary texts with X, T and SID defined: every text compiles or
// fails with its error, a value is never NaN or infinite, and texts of up to 40 characters
// give the same outcome with the narrowed form search and native code as with the plain
// search and the list.
//
// The first byte picks options (bit 0: define variables whose names hold DIV and MOD;
// bit 1: FixedNumberformat off); the rest is the expression text.

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <typeinfo>

#include "numeric/parser.h"
#include "numeric/parser_impl.h"

namespace {

std::string Outcome(const std::string& text, bool odd_names, bool fixed, bool exhaustive) {
  numeric::detail::exhaustive_search_for_checks = exhaustive;
  numeric::detail::jit_enabled = !exhaustive;  // the plain search runs lists only
  numeric::TParser p;
  p.SetFixedNumberformat(fixed);
  double* sid = p.AssignVariable("SID", 0);
  if (odd_names) {
    p.AssignVariable("XDIVY", 2.5);
    p.AssignVariable("MODE", -1.5);
  }
  std::string out;
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool random = upper.find("RND") != std::string::npos;  // values differ between runs
  try {
    p.SetExpression(text);
    static const double kX[] = {0, 1, -1, 0.5, 1e300, -3e-310};
    for (double x : kX) {
      p.SetX(x);
      p.SetT(x * 1000 + 300);
      *sid = -x;
      try {
        const double v = p.Value();
        if (!std::isfinite(v)) {
          std::fprintf(stderr, "non-finite value %g for X=%g\n", v, x);
          std::abort();
        }
        char buf[40];
        std::snprintf(buf, sizeof buf, "%a;", v);
        if (!random) out += buf;
      } catch (const numeric::EMathError& e) {
        out += std::string(typeid(e).name()) + ";";
      }
    }
  } catch (const numeric::EMathParserError& e) {
    out = std::string("compile:") + typeid(e).name() + ":" + e.what();
  } catch (const numeric::EOverflow& e) {
    out = std::string("compile:") + e.what();
  }
  numeric::detail::exhaustive_search_for_checks = false;
  numeric::detail::jit_enabled = true;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 10001) return 0;
  const bool odd_names = data[0] & 1;
  const bool fixed = !(data[0] & 2);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string narrowed = Outcome(text, odd_names, fixed, false);
  if (text.size() <= 40) {
    const std::string every = Outcome(text, odd_names, fixed, true);
    if (every != narrowed) {
      std::fprintf(stderr, "narrowed search differs:\n%s\n%s\n", narrowed.c_str(), every.c_str());
      std::abort();
    }
  }
  return 0;
}
