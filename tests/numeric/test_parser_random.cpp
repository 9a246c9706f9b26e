// Random formulas checked against the same formula evaluated in C++, and long adversarial texts
// that the compiler must get through.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include "numeric/parser.h"
#include "numeric/parser_impl.h"

namespace numeric {
namespace {

// ---------------------------------------------------------------------------------------------
// A formula tree, its text with only the brackets the grouping rules need, and its value
// computed directly.

enum Kind { kVar, kNum, kNeg, kSum, kDiff, kProd, kIDiv, kMod, kQuot, kPow, kCall, kCall2 };

// Which child kinds may stand without brackets on each side (the language's grouping rules);
// kB stands for a bracketed child.
constexpr unsigned Bit(Kind k) { return 1u << k; }
constexpr unsigned kCalls = Bit(kCall) | Bit(kCall2);
constexpr unsigned kAtoms = Bit(kVar) | Bit(kNum) | kCalls;
constexpr unsigned kFactors = kAtoms | Bit(kIDiv) | Bit(kMod) | Bit(kQuot) | Bit(kPow);
unsigned LeftAllowed(Kind parent) {
  switch (parent) {
    case kSum:
    case kDiff: return kFactors | Bit(kNeg) | Bit(kDiff) | Bit(kProd);
    case kProd:
    case kIDiv:
    case kMod:
    case kQuot: return kFactors | Bit(kNeg);
    case kPow: return kAtoms;
    case kNeg: return kAtoms | Bit(kPow);
    default: return ~0u;  // call arguments are whole expressions
  }
}
unsigned RightAllowed(Kind parent) {
  switch (parent) {
    case kSum: return kFactors | Bit(kSum) | Bit(kDiff) | Bit(kProd);
    case kDiff: return kFactors | Bit(kProd);
    case kProd: return kFactors | Bit(kProd);
    case kIDiv:
    case kMod:
    case kQuot: return kAtoms | Bit(kPow);
    case kPow: return kAtoms;
    default: return ~0u;
  }
}

struct MathFailure {};
struct NotCompared {};  // outside what the direct evaluation reproduces

double Check(double v) {
  if (!std::isfinite(v)) throw MathFailure{};
  return v;
}

double RefIntPower(double a, long n) {
  if (n == 0) return 1;
  unsigned long m = n < 0 ? -n : n;
  double r = 1, b = a;
  for (;;) {
    if (m & 1) r *= b;
    m >>= 1;
    if (!m) break;
    b *= b;
  }
  if (n > 0) return Check(r);
  if (a == 0) throw MathFailure{};
  if (std::fabs(r) < DBL_MIN || !std::isfinite(r)) throw NotCompared{};
  return 1 / r;
}

double RefPower(double a, double b) {
  if (b == 0) return 1;
  if (a == 0 && b > 0) return 0;
  if (b == std::trunc(b) && std::fabs(b) <= 2147483647.0) return RefIntPower(a, static_cast<long>(b));
  if (a <= 0) throw MathFailure{};
  return Check(std::pow(a, b));
}

double RefIntOp(double a, double b, bool mod) {
  const double ta = std::trunc(a), tb = std::trunc(b);
  if (std::fabs(ta) >= 9.2e18 || std::fabs(tb) >= 9.2e18 || tb == 0) throw MathFailure{};
  const long long x = static_cast<long long>(ta), y = static_cast<long long>(tb);
  return mod ? static_cast<double>(x % y) : static_cast<double>(x / y);
}

struct Node {
  Kind kind;
  std::string text;  // leaves: the name or numeral; calls: the function name
  double number = 0;
  int var = 0;
  std::unique_ptr<Node> l, r;
};

const char* const kVarNames[] = {"X", "T", "A", "B", "SID"};

struct Numeral {
  const char* text;
  double value;
};
const Numeral kNumerals[] = {{"2", 2},         {"0.5", 0.5},   {"3.25", 3.25}, {"1E-3", 1E-3},
                             {"1.5E+2", 150},  {"-2", -2},     {"-0.75", -0.75}, {".5", .5},
                             {"10", 10},       {"7", 7},       {"2.", 2},      {"-1E-2", -1E-2}};
const Numeral kExponents[] = {{"2", 2}, {"3", 3}, {"4", 4}, {"5", 5}, {"-1", -1},
                              {"-2", -2}, {"0.5", 0.5}, {"1.5", 1.5}, {"0", 0}};
const char* const kFuncs1[] = {"SIN", "COS", "ARCTAN", "ABS", "EXP", "SQRT", "LN",
                               "HEAV", "SIGN", "ZERO"};

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  std::unique_ptr<Node> Make(int depth) {
    auto n = std::make_unique<Node>();
    // leaves get likelier with depth; operations stop at depth 5 (at most 32 in one row)
    const int pick = depth >= 5 || Uniform(0, 9) < 2 * depth ? Uniform(0, 1) : Uniform(0, 15);
    if (pick <= 1) {
      if (Uniform(0, 1)) {
        n->kind = kVar;
        n->var = Uniform(0, 4);
        n->text = kVarNames[n->var];
      } else {
        const Numeral& num = kNumerals[Uniform(0, std::size(kNumerals) - 1)];
        n->kind = kNum;
        n->text = num.text;
        n->number = num.value;
      }
      return n;
    }
    static const Kind kOps[] = {kNeg,  kSum, kDiff, kProd, kIDiv, kMod, kQuot, kPow,
                                kCall, kCall2, kSum, kProd, kDiff, kSum, kProd, kPow};
    n->kind = kOps[pick - 2];
    switch (n->kind) {
      case kNeg: n->l = Make(depth + 1); break;
      case kCall:
        n->text = kFuncs1[Uniform(0, std::size(kFuncs1) - 1)];
        n->l = Make(depth + 1);
        break;
      case kPow: {
        n->l = Make(depth + 1);
        if (Uniform(0, 2)) {
          const Numeral& e = kExponents[Uniform(0, std::size(kExponents) - 1)];
          n->r = std::make_unique<Node>();
          n->r->kind = kNum;
          n->r->text = e.text;
          n->r->number = e.value;
        } else {
          n->r = Make(depth + 1);
        }
        break;
      }
      case kCall2: n->text = Uniform(0, 1) ? "MAX" : "MIN"; [[fallthrough]];
      default:
        n->l = Make(depth + 1);
        n->r = Make(depth + 1);
    }
    return n;
  }

 private:
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::mt19937 rng_;
};

std::string Render(const Node& n);
std::string Child(const Node& c, unsigned allowed) {
  return (allowed & Bit(c.kind)) ? Render(c) : "(" + Render(c) + ")";
}
std::string Render(const Node& n) {
  switch (n.kind) {
    case kVar:
    case kNum: return n.text;
    case kNeg: return "-" + Child(*n.l, LeftAllowed(kNeg));
    case kCall: return n.text + "(" + Render(*n.l) + ")";
    case kCall2: return n.text + "(" + Render(*n.l) + "," + Render(*n.r) + ")";
    default: break;
  }
  static const char* const kOp[] = {"", "", "", "+", "-", "*", "DIV", "MOD", "/", "^"};
  // -2^2 is the negation of 2^2: a negative base needs its brackets
  if (n.kind == kPow && n.l->kind == kNum && n.l->text[0] == '-')
    return "(" + n.l->text + ")^" + Child(*n.r, RightAllowed(kPow));
  return Child(*n.l, LeftAllowed(n.kind)) + kOp[n.kind] + Child(*n.r, RightAllowed(n.kind));
}

double Evaluate(const Node& n, const double* vars) {
  switch (n.kind) {
    case kVar: return vars[n.var];
    case kNum: return n.number;
    case kNeg: return -Evaluate(*n.l, vars);
    default: break;
  }
  const double a = Evaluate(*n.l, vars);
  if (n.kind == kCall) {
    if (n.text == "SIN") return std::sin(a);
    if (n.text == "COS") return std::cos(a);
    if (n.text == "ARCTAN") return std::atan(a);
    if (n.text == "ABS") return std::fabs(a);
    if (n.text == "EXP") return Check(std::exp(a));
    if (n.text == "SQRT") return a < 0 ? throw MathFailure{} : std::sqrt(a);
    if (n.text == "LN") return a == 0 ? 0 : a < 0 ? throw MathFailure{} : std::log(a);
    if (n.text == "HEAV") return a >= 0 ? 1 : 0;
    if (n.text == "SIGN") return a < 0 ? -1 : a > 0 ? 1 : 0;
    return a == 0 ? 0 : 1;  // ZERO
  }
  const double b = Evaluate(*n.r, vars);
  switch (n.kind) {
    case kSum: return Check(a + b);
    case kDiff: return Check(a - b);
    case kProd: return Check(a * b);
    case kQuot: return b == 0 ? throw MathFailure{} : Check(a / b);
    case kIDiv: return RefIntOp(a, b, false);
    case kMod: return RefIntOp(a, b, true);
    case kPow: {
      if (n.r->kind == kNum && n.r->number == std::trunc(n.r->number)) {
        const long e = static_cast<long>(n.r->number);
        if (e == 2) return Check(a * a);
        if (e == 3) return Check(a * a * a);
        if (e == 4) return Check((a * a) * (a * a));
        return RefIntPower(a, e);
      }
      return RefPower(a, b);
    }
    case kCall2: return n.text == "MAX" ? (a >= b ? a : b) : (a < b ? a : b);
    default: return 0;
  }
}

// The values the variables take in the cross checks.
const double kValues[] = {0, 1, -1, 1.5, 2.5, -3, 7, 1000, 0.25, -4.125};

class ParserCrossCheck : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { detail::jit_enabled = GetParam(); }
  void TearDown() override { detail::jit_enabled = true; }
};

// Native code and the plain list both.
INSTANTIATE_TEST_SUITE_P(Native, ParserCrossCheck, ::testing::Values(true, false));

TEST_P(ParserCrossCheck, RandomFormulasMatchDirectEvaluation) {
  Generator gen(20261209);
  std::mt19937 rng(7);
  int compared = 0, failed_both = 0, skipped = 0;
  for (int t = 0; t < 4000; ++t) {
    const std::unique_ptr<Node> tree = gen.Make(0);
    const std::string text = Render(*tree);
    double vars[5];
    TParser p;
    for (int v = 0; v < 5; ++v) {
      vars[v] = kValues[rng() % std::size(kValues)];
      p.AssignVariable(kVarNames[v], vars[v]);
    }
    ASSERT_NO_THROW(p.SetExpression(text)) << text;
    double expected = 0;
    bool ok = true;
    try {
      expected = Evaluate(*tree, vars);
    } catch (const MathFailure&) {
      ok = false;
    } catch (const NotCompared&) {
      ++skipped;
      continue;
    }
    if (ok) {
      double got = 0;
      ASSERT_NO_THROW(got = p.Value()) << text;
      ASSERT_EQ(got, expected) << text;
      ++compared;
    } else {
      EXPECT_THROW(p.Value(), EMathError) << text;
      ++failed_both;
    }
  }
  EXPECT_GT(compared, 2000);
  EXPECT_GT(failed_both, 100);
  EXPECT_LT(skipped, 100);
  std::printf("compared %d, failing in both %d, skipped %d\n", compared, failed_both, skipped);
}

// With the varying cells named, the operations of the other variables run once per change of
// them: the values (to the bit) and the errors must be those of the plain evaluation, also when
// the outer part fails for some values and not for others.
TEST_P(ParserCrossCheck, HoistedFormulasMatchPlainEvaluation) {
  Generator gen(909);
  std::mt19937 rng(11);
  int split = 0, values = 0, errors = 0;
  for (int t = 0; t < 1500; ++t) {
    // Two parts in T, A and B only (X and SID read as T there), as in an assessed phase, and
    // one of anything.
    auto fixed = [&] {
      std::unique_ptr<Node> n = gen.Make(0);
      std::vector<Node*> todo{n.get()};
      while (!todo.empty()) {
        Node* m = todo.back();
        todo.pop_back();
        if (m->kind == kVar && (m->var == 0 || m->var == 4)) {
          m->var = 1;
          m->text = kVarNames[1];
        }
        for (Node* c : {m->l.get(), m->r.get()})
          if (c) todo.push_back(c);
      }
      return Render(*n);
    };
    const std::string text =
        "(" + fixed() + ")*X+(" + fixed() + ")*(1-X)+(" + Render(*gen.Make(1)) + ")";
    TParser plain, hoisted;
    std::vector<double*> cells[2];
    for (int v = 0; v < 5; ++v) {
      cells[0].push_back(plain.AssignVariable(kVarNames[v], 0));
      cells[1].push_back(hoisted.AssignVariable(kVarNames[v], 0));
    }
    plain.SetExpression(text);
    hoisted.SetExpression(text);
    hoisted.SetVaryingCells({cells[1][0], cells[1][4]});  // X and SID
    split += hoisted.Hoisting();
    // "Levels" of T, A, B (some repeated), each with several X and SID.
    for (int level = 0; level < 6; ++level) {
      if (level == 0 || rng() % 3) {
        for (int v : {1, 2, 3}) {
          const double value = kValues[rng() % std::size(kValues)];
          *cells[0][v] = *cells[1][v] = value;
        }
      }
      for (int k = 0; k < 5; ++k) {
        for (int v : {0, 4}) {
          const double value = kValues[rng() % std::size(kValues)];
          *cells[0][v] = *cells[1][v] = value;
        }
        std::string want, got;
        try {
          const double v = plain.Value();
          char b[64];
          std::snprintf(b, sizeof b, "%a", v);
          want = b;
          ++values;
        } catch (const std::exception& e) {
          want = std::string(typeid(e).name()) + e.what();
          ++errors;
        }
        try {
          const double v = hoisted.Value();
          char b[64];
          std::snprintf(b, sizeof b, "%a", v);
          got = b;
        } catch (const std::exception& e) {
          got = std::string(typeid(e).name()) + e.what();
        }
        ASSERT_EQ(got, want) << text << " level " << level;
      }
    }
  }
  EXPECT_GT(split, 300);
  EXPECT_GT(values, 10000);
  EXPECT_GT(errors, 1000);
}

// ---------------------------------------------------------------------------------------------
// Long texts: every one must come back, compiled or with its error.

std::string Repeat(const std::string& s, size_t total) {
  std::string out;
  while (out.size() + s.size() <= total) out += s;
  return out;
}

struct LongCase {
  const char* name;
  std::string text;
  const char* outcome;  // exception class name fragment, "ok", or "" (either)
};

std::string Times(const std::string& s, int n) {
  std::string out;
  for (int k = 0; k < n; ++k) out += s;
  return out;
}

std::vector<LongCase> LongCases() {
  std::vector<LongCase> v;
  v.push_back({"sum", "1" + Repeat("+1", 9998), "ETooManyNestings"});
  v.push_back({"diff", "1" + Repeat("-1", 9998), "ETooManyNestings"});
  v.push_back({"product", "1" + Repeat("*1", 9998), "ETooManyNestings"});
  v.push_back({"quotient", "1" + Repeat("/1", 9998), "ETooManyNestings"});
  v.push_back({"sum_trailing", Repeat("1+", 10000), "ESyntaxError"});
  v.push_back({"diff_trailing", Repeat("1-", 10000), "ESyntaxError"});
  v.push_back({"mixed_trailing", Repeat("1-1+1*", 9999) + "^", "ESyntaxError"});
  v.push_back({"powers", "2" + Repeat("^2", 9998), "ESyntaxError"});
  v.push_back({"minus_run", std::string(9999, '-') + "X", "ESyntaxError"});
  v.push_back({"exponents", Repeat("1E-1E-", 9996) + "1", "ESyntaxError"});
  v.push_back({"signs", Repeat("1E+", 9999) + "1", "ESyntaxError"});
  v.push_back({"divs", "X" + Repeat("DIVX", 9996), "ETooManyNestings"});
  v.push_back({"divmod", Repeat("XDIVMOD", 9996) + "X", "ESyntaxError"});
  v.push_back({"brackets", std::string(4999, '(') + "X" + std::string(4999, ')'), "ok"});
  v.push_back({"brackets_sum", std::string(4998, '(') + "X+X" + std::string(4998, ')'), "ok"});
  v.push_back({"brackets_bad", std::string(4999, '(') + "+" + std::string(4999, ')'),
               "ESyntaxError"});
  v.push_back({"bracket_pairs", Repeat("(X)+", 9996) + "(X)", "ETooManyNestings"});
  v.push_back({"bracket_chain", Times("(1-", 2500) + std::string(2500, ')'), "ESyntaxError"});
  v.push_back({"nested_sums", Times("(1+", 2500) + "1" + std::string(2500, ')'),
               "ETooManyNestings"});
  v.push_back({"calls", Times("SIN(", 2000) + "X" + std::string(2000, ')'), "ETooManyNestings"});
  v.push_back({"max_chain", Times("MAX(1,", 1428) + "1" + std::string(1428, ')'),
               "ETooManyNestings"});
  v.push_back({"max_commas", "MAX(" + Repeat("1,", 4997) + "1)", "ESyntaxError"});
  v.push_back({"neg_brackets", Times("-(", 3333) + "X" + std::string(3333, ')'),
               "ETooManyNestings"});
  v.push_back({"neg_brackets_bad", Times("-(", 3333) + "+" + std::string(3333, ')'),
               "ESyntaxError"});
  v.push_back({"exponent_chain", Times("1E-", 3333) + "1", "ESyntaxError"});
  v.push_back({"names_e", Times("E-", 4999) + "E", "ETooManyNestings"});
  v.push_back({"digits", std::string(10000, '7'), "EOverflow"});
  v.push_back({"points", std::string(10000, '.'), "ESyntaxError"});
  v.push_back({"commas", std::string(10000, ','), "ESyntaxError"});
  v.push_back({"close_open", Repeat(")(", 10000), "ESyntaxError"});
  v.push_back({"mixed_ops", Repeat("1+2-3*4/5^6-", 9996) + "1", ""});
  v.push_back({"brackets_ops", Repeat("(1+2)*(3-4)/", 9996) + "1", ""});
  // random junk from the characters that matter
  std::mt19937 rng(42);
  const std::string alphabet = "X1.E+-*/^(),DIVMOD";
  for (int k = 0; k < 6; ++k) {
    std::string s;
    int depth = 0;
    while (s.size() < 10000) {
      char c = alphabet[rng() % alphabet.size()];
      if (c == '(') ++depth;
      if (c == ')') {
        if (depth == 0) continue;
        --depth;
      }
      s += c;
    }
    s += std::string(depth, ')');
    v.push_back({"junk", s, ""});
  }
  return v;
}

TEST(ParserLongTexts, EveryTextComesBack) {
  for (const LongCase& c : LongCases()) {
    TParser p;
    p.SetX(1);
    std::string got = "ok";
    try {
      p.SetExpression(c.text);
      (void)p.Value();
    } catch (const ETooManyNestings&) {
      got = "ETooManyNestings";
    } catch (const EExpressionTooComplex&) {
      got = "EExpressionTooComplex";
    } catch (const ESyntaxError&) {
      got = "ESyntaxError";
    } catch (const EMissMatchingBracket&) {
      got = "EMissMatchingBracket";
    } catch (const EOverflow&) {
      got = "EOverflow";
    } catch (const std::exception& e) {
      got = e.what();
    }
    if (*c.outcome) {
      EXPECT_EQ(got, c.outcome) << c.name;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The compiler narrows the operator positions it tries by what the grouping rules allow; it
// must come to the same result, message and value as trying every position. The same check
// compares native code with the list: same values, same evaluation errors.

std::string Describe(const std::string& text, bool exhaustive, bool odd_names, bool fixed) {
  detail::exhaustive_search_for_checks = exhaustive;
  // the plain search runs its programs as lists, the narrowed one as native code
  detail::jit_enabled = !exhaustive;
  TParser p;
  p.SetFixedNumberformat(fixed);
  p.AssignVariable("Q1E", 0.75);
  if (odd_names) {
    p.AssignVariable("XDIVY", 3.5);
    p.AssignVariable("MODE", -2.25);
    p.AssignVariable("DIVA", 4);
  }
  std::string out;
  try {
    p.SetExpression(text);
    for (double x : {0.0, 1.5, -2.0}) {
      p.SetX(x);
      p.SetY(x * 3 + 1);
      p.SetE(x - 1);
      try {
        out += std::to_string(p.Value()) + ";";
      } catch (const std::exception& e) {
        out += std::string("eval:") + e.what() + ";";
      }
    }
  } catch (const std::exception& e) {
    out = std::string("compile:") + typeid(e).name() + ":" + e.what();
  }
  detail::exhaustive_search_for_checks = false;
  detail::jit_enabled = true;
  return out;
}

TEST(ParserNarrowing, SameResultAsTryingEveryPosition) {
  static const char* const kPieces[] = {
      "X",  "Y",  "E",  "1", "2.5", ".", "E", "1E", "-", "-", "+", "+", "*", "/", "^", "DIV",
      "MOD", "(", "(", ")", ")", ",", "SIN(", "MAX(", "PI", "Q1E", "XDIVY", "MODE", "0",
      "D", "V", "M", "IV", "OD", "5", "E-", "E+", "DIVA", "A"};
  std::mt19937 rng(2026);
  int compiled = 0;
  for (int t = 0; t < 30000; ++t) {
    std::string text;
    const int pieces = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < pieces; ++k) text += kPieces[rng() % std::size(kPieces)];
    const bool odd = rng() % 2;
    const bool fixed = rng() % 8 != 0;
    const std::string narrowed = Describe(text, false, odd, fixed);
    const std::string every = Describe(text, true, odd, fixed);
    ASSERT_EQ(narrowed, every) << text << " odd names " << odd << " fixed " << fixed;
    compiled += narrowed.rfind("compile:", 0) != 0;
  }
  EXPECT_GT(compiled, 1000);  // of 30000 random texts
}

}  // namespace
}  // namespace numeric
