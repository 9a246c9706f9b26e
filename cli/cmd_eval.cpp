// brelona-calc eval 'EXPR' [NAME=VALUE ...]: compiles and evaluates one expression, the way a
// phase sheet formula is evaluated, so a user can try a formula before storing it.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <locale.h>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "numeric/parser.h"

namespace cli {

namespace {

// A plain decimal number in the C locale (no blanks, no hexadecimal, finite).
bool ParseValue(const std::string& text, double& value) {
  if (text.empty()) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return false;
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  char* end = nullptr;
  const double v = strtod_l(text.c_str(), &end, c_locale);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace

int CmdEval(const Args& args) {
  if (args.empty()) return CommandUsage("eval", false);
  std::vector<std::pair<std::string, double>> assignments;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& arg = args[k];
    const size_t eq = arg.find('=');
    double value = 0;
    if (eq == std::string::npos || !ParseValue(arg.substr(eq + 1), value)) {
      std::fprintf(stderr, "brelona-calc eval: expected NAME=VALUE with a plain number, got '%s'\n",
                   arg.c_str());
      return CommandUsage("eval", false);
    }
    assignments.emplace_back(arg.substr(0, eq), value);
  }
  try {
    numeric::TParser parser;
    for (const auto& [name, value] : assignments) parser.AssignVariable(name, value);
    parser.SetExpression(args[0]);
    const double v = parser.Value();
    std::printf("%.17g\n", v);
    return kExitOk;
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }
}

}  // namespace cli
