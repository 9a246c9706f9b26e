#include "numeric/parser.h"

#include <gtest/gtest.h>

#include <limits>

#include "numeric/parser_impl.h"

#include <cmath>
#include <functional>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace numeric {
namespace {

using Vars = std::vector<std::pair<std::string, double>>;

double Eval(const std::string& text, const Vars& vars = {}) {
  TParser p;
  for (const auto& [n, v] : vars) p.AssignVariable(n, v);
  p.SetExpression(text);
  return p.Value();
}

// Compiles and evaluates; returns the exception's dynamic type and message, or "" for none.
struct Outcome {
  std::string type;
  std::string message;
};
template <class F>
Outcome Catch(F f) {
  try {
    f();
  } catch (const EExpressionHasBlanks& e) {
    return {"EExpressionHasBlanks", e.what()};
  } catch (const EMissMatchingBracket& e) {
    return {"EMissMatchingBracket", e.what()};
  } catch (const ESyntaxError& e) {
    return {"ESyntaxError", e.what()};
  } catch (const ETooManyNestings& e) {
    return {"ETooManyNestings", e.what()};
  } catch (const EExpressionTooComplex& e) {
    return {"EExpressionTooComplex", e.what()};
  } catch (const EParserInternalError& e) {
    return {"EParserInternalError", e.what()};
  } catch (const EBadName& e) {
    return {"EBadName", e.what()};
  } catch (const EInvalidOp& e) {
    return {"EInvalidOp", e.what()};
  } catch (const EZeroDivide& e) {
    return {"EZeroDivide", e.what()};
  } catch (const EOverflow& e) {
    return {"EOverflow", e.what()};
  } catch (const EDivByZero& e) {
    return {"EDivByZero", e.what()};
  } catch (const std::exception& e) {
    return {std::string("other:") + typeid(e).name(), e.what()};
  }
  return {"", ""};
}

// ---------------------------------------------------------------------------------------------
// Values: grouping, numerals, operators, functions.

struct ValueCase {
  const char* text;
  Vars vars;
  double expected;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.text; }

class ValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTest, Evaluates) {
  const ValueCase& c = GetParam();
  double v = 0;
  ASSERT_NO_THROW(v = Eval(c.text, c.vars)) << c.text;
  EXPECT_EQ(v, c.expected) << c.text;
}

const Vars kABC = {{"A", 10}, {"B", 3}, {"C", 2}};

INSTANTIATE_TEST_SUITE_P(
    Grouping, ValueTest,
    ::testing::Values(
        // sums nest to the right, differences to the left
        ValueCase{"A-B-C", kABC, 5}, ValueCase{"A-B+C", kABC, 9}, ValueCase{"A+B-C", kABC, 11},
        ValueCase{"1+1E-16+1E-16", {}, 1.0000000000000002},
        ValueCase{"1E308+1E308-1E308", {}, 1E308}, ValueCase{"A-1E-5", {{"A", 1}}, 1 - 1E-5},
        // products nest to the right; DIV, MOD and / to the left
        ValueCase{"1E200*1E200*1E-200", {}, 1E200}, ValueCase{"1E200*1E200/1E200", {}, 1E200},
        ValueCase{"12/3*2", {}, 8}, ValueCase{"12/3/2", {}, 2}, ValueCase{"2*7DIV2", {}, 6},
        ValueCase{"12/3DIV3", {}, 1}, ValueCase{"7DIV2/2", {}, 1.5}, ValueCase{"A/BDIVC", kABC, 1},
        ValueCase{"ADIVB/C", kABC, 1.5}, ValueCase{"17MOD7DIV2", {}, 1},
        ValueCase{"17DIV5MOD2", {}, 1}, ValueCase{"1+2*3", {}, 7}, ValueCase{"2*3+1", {}, 7},
        ValueCase{"10-2*3", {}, 4}, ValueCase{"10-6/3", {}, 8}, ValueCase{"2*3^2", {}, 18},
        // a leading minus
        ValueCase{"-X^2", {{"X", 3}}, -9}, ValueCase{"-X*Y", {{"X", 3}, {"Y", 2}}, -6},
        ValueCase{"-7DIV2", {}, -3}, ValueCase{"-2^2", {}, -4}, ValueCase{"(-2)^2", {}, 4},
        ValueCase{"-(A-B)", kABC, -7}, ValueCase{"-SIN(0)+1", {}, 1}, ValueCase{"A+-2", kABC, 8},
        ValueCase{"A*-2", kABC, -20}, ValueCase{"A--2", kABC, 12}, ValueCase{"A*(-B)", kABC, -30},
        ValueCase{"+2*X", {{"X", 4}}, 8}, ValueCase{"-X+Y", {{"X", 3}, {"Y", 2}}, -1},
        // brackets
        ValueCase{"(A-B)-C", kABC, 5}, ValueCase{"A-(B-C)", kABC, 9},
        ValueCase{"((((A))))", kABC, 10}, ValueCase{"(A)*(B)", kABC, 30},
        ValueCase{"(2^3)^2", {}, 64}, ValueCase{"2^(3^2)", {}, 512}, ValueCase{"SIN((0))", {}, 0},
        ValueCase{"MAX(1,(2))", {}, 2}, ValueCase{"MAX((3),1)", {}, 3},
        // a bracketed operand whose inside is bracketed again stands for its inner text
        ValueCase{"((X+1))*((2))", {{"X", 4}}, 10}, ValueCase{"((X))+1", {{"X", 4}}, 5},
        ValueCase{"-((A))-(((B)))", kABC, -13}, ValueCase{"SIN(((0)))+MAX(((1)),((2)))", {}, 2},
        ValueCase{"A^((2))", kABC, 100}, ValueCase{"(((A)))DIV((B))", kABC, 3}));

INSTANTIATE_TEST_SUITE_P(
    Numerals, ValueTest,
    ::testing::Values(ValueCase{".", {}, 0}, ValueCase{"5.", {}, 5}, ValueCase{".5", {}, 0.5},
                      ValueCase{"E3", {}, 0}, ValueCase{"-.5", {}, -0.5},
                      ValueCase{"+.5", {}, 0.5}, ValueCase{"1.5E2", {}, 150},
                      ValueCase{"1.5e+2", {}, 150}, ValueCase{"15E-1", {}, 1.5},
                      ValueCase{"1E+5*2", {}, 200000}, ValueCase{"007", {}, 7},
                      ValueCase{"1E-400", {}, 0}, ValueCase{"PI", {}, 3.141592653589793},
                      ValueCase{"-PI", {}, -3.141592653589793},
                      ValueCase{"2*PI", {}, 6.283185307179586},
                      ValueCase{"pi", {}, 3.141592653589793},
                      // a variable wins over a number of the same text
                      ValueCase{"E3", {{"E3", 7}}, 7}, ValueCase{"PI", {{"PI", 3}}, 3},
                      // the exponent letter with a sign makes E+3 a numeral, not E plus 3
                      ValueCase{"E+3", {{"E", 5}}, 0}, ValueCase{"E*3", {{"E", 5}}, 15},
                      ValueCase{"  7  ", {}, 7}));

INSTANTIATE_TEST_SUITE_P(
    DivModPowers, ValueTest,
    ::testing::Values(
        ValueCase{"7DIV2", {}, 3}, ValueCase{"-7DIV2", {}, -3}, ValueCase{"-7MOD2", {}, -1},
        ValueCase{"7MOD-2", {}, 1}, ValueCase{"7DIV-2", {}, -3}, ValueCase{"7.9DIV2", {}, 3},
        ValueCase{"7.9DIV2.9", {}, 3}, ValueCase{"7mod3", {}, 1},
        ValueCase{"XDIVY", {{"X", 7}, {"Y", 2}}, 3},
        ValueCase{"(-9223372036854775808)DIV(-1)", {}, 9223372036854775808.0},
        ValueCase{"(-9223372036854775808)MOD(-1)", {}, 0},
        ValueCase{"2^-1", {}, 0.5}, ValueCase{"0^0", {}, 1}, ValueCase{"X^0", {{"X", 0}}, 1},
        ValueCase{"X^2", {{"X", -3}}, 9}, ValueCase{"X^3", {{"X", -3}}, -27},
        ValueCase{"X^4", {{"X", -3}}, 81}, ValueCase{"X^5", {{"X", -2}}, -32},
        ValueCase{"X^-3", {{"X", 2}}, 0.125}, ValueCase{"X^2.0", {{"X", 3}}, 9},
        ValueCase{"X^1E1", {{"X", 2}}, 1024}, ValueCase{"X^0.5", {{"X", 4}}, 2},
        ValueCase{"X^Y", {{"X", -2}, {"Y", 3}}, -8}, ValueCase{"X^Y", {{"X", 0}, {"Y", 0}}, 1},
        ValueCase{"X^Y", {{"X", 0}, {"Y", 2.5}}, 0}, ValueCase{"X^Y", {{"X", 4}, {"Y", 2.5}}, 32},
        ValueCase{"X^Y", {{"X", 2}, {"Y", -2}}, 0.25},
        ValueCase{"2^-1074", {}, 4.9406564584124654e-324}, ValueCase{"10^-400", {}, 0}));

// A zero integer quotient or remainder is +0, whatever the signs, in the list and in native
// code alike.
TEST(ParserDivMod, ZeroResultsArePositive) {
  for (const char* text : {"0DIV-1", "XDIV-1", "XDIVY", "0.5DIV-1", "-0.5DIV-3", "1DIV-2", "0MOD-1",
                           "XMODY", "-4MOD2", "-0.4MOD3"}) {
    for (int native = 0; native < 2; ++native) {
      detail::jit_enabled = native;
      const double v = Eval(text, {{"X", 0}, {"Y", -1}});
      EXPECT_EQ(v, 0) << text;
      EXPECT_FALSE(std::signbit(v)) << text << " native " << native;
    }
  }
  detail::jit_enabled = true;
}

// (1e-160)^2 is below the normal range and the true result 1e320 beyond it: an overflow.
TEST(ParserPower, ReciprocalOfUnderflowedPowerOverflows) {
  EXPECT_EQ(Catch([] { Eval("X^-2", {{"X", 1E-160}}); }).type, "EOverflow");
  EXPECT_EQ(Eval("X^-2", {{"X", 1E-150}}), 1.0 / (1E-150 * 1E-150));
}

INSTANTIATE_TEST_SUITE_P(
    Functions, ValueTest,
    ::testing::Values(
        ValueCase{"SIN(0)", {}, 0}, ValueCase{"COS(0)", {}, 1}, ValueCase{"TAN(0)", {}, 0},
        ValueCase{"SIN(1E19)", {}, 0}, ValueCase{"COS(-1E19)", {}, 0},
        ValueCase{"COS(9223372036854775808)", {}, 0},
        ValueCase{"SIN(1)", {}, std::sin(1.0)}, ValueCase{"COS(2)", {}, std::cos(2.0)},
        ValueCase{"TAN(1)", {}, std::tan(1.0)}, ValueCase{"SINH(0)", {}, 0},
        ValueCase{"COSH(0)", {}, 1}, ValueCase{"ARCTAN(1)", {}, std::atan(1.0)},
        ValueCase{"EXP(0)", {}, 1}, ValueCase{"EXP(1)", {}, std::exp(1.0)},
        ValueCase{"LN(1)", {}, 0}, ValueCase{"LN(0)", {}, 0}, ValueCase{"LN(2)", {}, std::log(2.0)},
        ValueCase{"X*LN(X)", {{"X", 0}}, 0}, ValueCase{"x*ln(x)", {{"X", 0}}, 0},
        ValueCase{"(1-X)*LN(1-X)", {{"X", 1}}, 0}, ValueCase{"SQRT(16)", {}, 4},
        ValueCase{"SQRT(0)", {}, 0}, ValueCase{"ABS(-3)", {}, 3}, ValueCase{"ABS(3)", {}, 3},
        ValueCase{"HEAV(0)", {}, 1}, ValueCase{"HEAV(-1E-300)", {}, 0},
        ValueCase{"HEAV(5)", {}, 1}, ValueCase{"SIGN(-2)", {}, -1}, ValueCase{"SIGN(0)", {}, 0},
        ValueCase{"SIGN(3)", {}, 1}, ValueCase{"ZERO(0)", {}, 0}, ValueCase{"ZERO(-3)", {}, 1},
        ValueCase{"ZERO(1E-300)", {}, 1}, ValueCase{"MAX(1,2)", {}, 2},
        ValueCase{"MAX(2,1)", {}, 2}, ValueCase{"MIN(1,2)", {}, 1}, ValueCase{"MIN(2,1)", {}, 1},
        ValueCase{"MIN(MAX(1,2),0)", {}, 0}, ValueCase{"MAX(-1,MIN(3,4))", {}, 3},
        ValueCase{"MAX(X+1,X*3)", {{"X", 2}}, 6}, ValueCase{"E", {}, 0},
        // PH: t = x / (2/pi), 2pi(t - round(t)), ties to even
        ValueCase{"PH(0)", {}, 0}, ValueCase{"PH(0.3183098861837907)", {}, 3.141592653589793},
        ValueCase{"PH(-0.3183098861837907)", {}, -3.141592653589793},
        ValueCase{"RND(0.9)", {}, 0}, ValueCase{"RND(-0.9)", {}, 0}));

TEST(ParserFunctions, PhaseAndHyperbolic) {
  EXPECT_NEAR(Eval("PH(1)"), -2.69677, 1e-5);
  EXPECT_NEAR(Eval("PH(PI)"), -0.409650, 1e-6);
  EXPECT_NEAR(Eval("SINH(1)"), std::sinh(1.0), 1e-15);
  EXPECT_NEAR(Eval("COSH(-2)"), std::cosh(-2.0), 1e-14);
  // close to the top of the double range: only the result has to fit
  EXPECT_NEAR(Eval("SINH(710)") / std::sinh(710.0), 1, 1e-15);
  EXPECT_NEAR(Eval("COSH(-710)") / std::cosh(-710.0), 1, 1e-15);
}

TEST(ParserFunctions, RandomIsTruncatedArgumentTimesUniform) {
  TParser p;
  p.SetExpression("RND(10)");
  std::vector<double> seen;
  for (int k = 0; k < 50; ++k) {
    const double v = p.Value();
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 10);
    seen.push_back(v);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_GT(std::unique(seen.begin(), seen.end()) - seen.begin(), 40) << "drawn anew each time";
  p.SetExpression("RND(-3.7)");
  for (int k = 0; k < 20; ++k) {
    const double v = p.Value();
    EXPECT_LE(v, 0);
    EXPECT_GT(v, -3);
  }
}

// ---------------------------------------------------------------------------------------------
// Errors: class and exact message.

struct ErrorCase {
  const char* text;
  Vars vars;
  const char* type;
  const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.text; }

class ErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTest, Raises) {
  const ErrorCase& c = GetParam();
  const Outcome o = Catch([&] { Eval(c.text, c.vars); });
  EXPECT_EQ(o.type, c.type) << c.text;
  EXPECT_EQ(o.message, c.message) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Compilation, ErrorTest,
    ::testing::Values(
        ErrorCase{"X Y", {}, "EExpressionHasBlanks", "Expression has blanks"},
        ErrorCase{"(X Y", {}, "EExpressionHasBlanks", "Expression has blanks"},
        ErrorCase{"(X", {}, "EMissMatchingBracket", "Missing brackets in expression"},
        ErrorCase{"X)", {}, "EMissMatchingBracket", "Missing brackets in expression"},
        ErrorCase{"SIN(X", {}, "EMissMatchingBracket", "Missing brackets in expression"},
        ErrorCase{")X(", {}, "ESyntaxError", "Error parsing expression:\r)X("},
        ErrorCase{"Q", {}, "ESyntaxError", "Error parsing expression:\rQ"},
        ErrorCase{"Q+1", {}, "ESyntaxError", "Error parsing expression:\rQ\r1"},
        ErrorCase{"q+1", {}, "ESyntaxError", "Error parsing expression:\rQ\r1"},
        ErrorCase{"PIX", {}, "ESyntaxError", "Error parsing expression:\rPIX"},
        ErrorCase{"2^3^2", {}, "ESyntaxError", "Error parsing expression:\r2^3\r2"},
        ErrorCase{"2^-X", {}, "ESyntaxError", "Error parsing expression:\r2\r-X"},
        ErrorCase{"X^-Y", {}, "ESyntaxError", "Error parsing expression:\rX\r-Y"},
        ErrorCase{"A+-B", {}, "ESyntaxError", "Error parsing expression:\rA+\rB"},
        ErrorCase{"A*-B", {}, "ESyntaxError", "Error parsing expression:\rA\r-B"},
        ErrorCase{"--X", {}, "ESyntaxError", "Error parsing expression:\r-\rX"},
        ErrorCase{"+X", {}, "ESyntaxError", "Error parsing expression:\r+X"},
        ErrorCase{"+X*2", {}, "ESyntaxError", "Error parsing expression:\r+X\r2"},
        ErrorCase{"+2+X", {}, "ESyntaxError", "Error parsing expression:\r+2+X"},
        ErrorCase{"X+", {}, "ESyntaxError", "Error parsing expression:\rX+"},
        ErrorCase{"X-", {}, "ESyntaxError", "Error parsing expression:\rX-"},
        ErrorCase{"*X", {}, "ESyntaxError", "Error parsing expression:\r*X"},
        ErrorCase{"XDIV", {}, "ESyntaxError", "Error parsing expression:\rX\r"},
        ErrorCase{"DIVX", {}, "ESyntaxError", "Error parsing expression:\rDIVX"},
        ErrorCase{"-", {}, "ESyntaxError", "Error parsing expression:\r\r "},
        ErrorCase{"-Q", {}, "ESyntaxError", "Error parsing expression:\rQ\r "},
        ErrorCase{"-(Q)", {}, "ESyntaxError", "Error parsing expression:\r(Q)\r "},
        ErrorCase{"-(X)*Q", {}, "ESyntaxError", "Error parsing expression:\r-(X)\rQ"},
        ErrorCase{"   ", {}, "ESyntaxError", "Error parsing expression:\r"},
        ErrorCase{"X\tY", {}, "ESyntaxError", "Error parsing expression:\rX\tY"},
        ErrorCase{"1..2", {}, "ESyntaxError", "Error parsing expression:\r1..2"},
        ErrorCase{"1E", {}, "ESyntaxError", "Error parsing expression:\r1E"},
        ErrorCase{"X)+(1", {}, "ESyntaxError", "Error parsing expression:\rX)\r(1"},
        ErrorCase{"(X)+Q", {}, "ESyntaxError", "Error parsing expression:\rX\rQ"},
        ErrorCase{"(X)+(Q)", {}, "ESyntaxError", "Error parsing expression:\rX\r(Q)"},
        ErrorCase{"((Q))+1", {}, "ESyntaxError", "Error parsing expression:\r((Q))\r1"},
        ErrorCase{"((X))+Q", {}, "ESyntaxError", "Error parsing expression:\r(X)\rQ"},
        // calls
        ErrorCase{"MAX(1)", {}, "ESyntaxError", "Error parsing expression:\rMAX(1)"},
        ErrorCase{"SIN(1,2)", {}, "ESyntaxError", "Error parsing expression:\r1,2\r "},
        ErrorCase{"SIN()", {}, "ESyntaxError", "Error parsing expression:\r\r "},
        ErrorCase{"SIN(Q)", {}, "ESyntaxError", "Error parsing expression:\rQ\r "},
        ErrorCase{"SIN((Q))", {}, "ESyntaxError", "Error parsing expression:\r(Q)\r "},
        ErrorCase{"FOO(1)", {}, "ESyntaxError", "Error parsing expression:\rFOO(1)"},
        ErrorCase{"MAX(,1)", {}, "ESyntaxError", "Error parsing expression:\rMAX(,1)"},
        ErrorCase{"MAX(1,)", {}, "ESyntaxError", "Error parsing expression:\rMAX(1,)"},
        ErrorCase{"MAX(Q,1)", {}, "ESyntaxError", "Error parsing expression:\rQ\r "},
        ErrorCase{"MAX(1,Q)", {}, "ESyntaxError", "Error parsing expression:\r1\rQ"},
        ErrorCase{"MAX(1,Q,2)", {}, "ESyntaxError", "Error parsing expression:\r1,Q\rQ,2"},
        ErrorCase{"SIN(X)(1)", {{"X", 1}}, "ESyntaxError", "Error parsing expression:\rX)(1\r "},
        // a variable defined only after the compilation is unknown to it
        ErrorCase{"LATE*2", {}, "ESyntaxError", "Error parsing expression:\rLATE\r2"},
        // a numeral beyond the double range
        ErrorCase{"1E400", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"X+1E400", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"-1E400*X", {}, "EOverflow", "Floating point overflow"}));

INSTANTIATE_TEST_SUITE_P(
    Evaluation, ErrorTest,
    ::testing::Values(
        ErrorCase{"LN(-1)", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"SQRT(-1E-300)", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"0/0", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"X^0.5", {{"X", -1}}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"(-8)^(1/3)", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"(-2)^1E10", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"1E19DIV2", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"2MOD-1E19", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"9223372036854775808DIV1", {}, "EInvalidOp", "Invalid floating point operation"},
        ErrorCase{"1/0", {}, "EZeroDivide", "Floating point division by zero"},
        ErrorCase{"X/Y", {{"X", 1}, {"Y", 0}}, "EZeroDivide", "Floating point division by zero"},
        ErrorCase{"-1/(X-X)", {{"X", 3}}, "EZeroDivide", "Floating point division by zero"},
        ErrorCase{"0^-1", {}, "EZeroDivide", "Floating point division by zero"},
        ErrorCase{"0^-0.5", {}, "EZeroDivide", "Floating point division by zero"},
        ErrorCase{"0^X", {{"X", -2}}, "EZeroDivide", "Floating point division by zero"},
        ErrorCase{"1E308*10", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"1E308+1E308", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"-1E308-1E308", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"1E300/1E-300", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"EXP(710)", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"10^400", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"2^1024", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"X^2", {{"X", 1E200}}, "EOverflow", "Floating point overflow"},
        ErrorCase{"X^3", {{"X", -1E103}}, "EOverflow", "Floating point overflow"},
        ErrorCase{"X^4", {{"X", 1E80}}, "EOverflow", "Floating point overflow"},
        ErrorCase{"X^Y", {{"X", 10}, {"Y", 400.5}}, "EOverflow", "Floating point overflow"},
        ErrorCase{"X^Y", {{"X", 10}, {"Y", 1E10}}, "EOverflow", "Floating point overflow"},
        ErrorCase{"SINH(1000)", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"COSH(-1000)", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"PH(1.7E308)", {}, "EOverflow", "Floating point overflow"},
        // an overflow that a later operation would have hidden still counts
        ErrorCase{"1/(1E308*10)", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"MIN(1E308*10,1)", {}, "EOverflow", "Floating point overflow"},
        ErrorCase{"1DIV0", {}, "EDivByZero", "Division by zero"},
        ErrorCase{"1MOD0.5", {}, "EDivByZero", "Division by zero"},
        ErrorCase{"XDIVY", {{"X", 1}, {"Y", -0.9}}, "EDivByZero", "Division by zero"}));

TEST(ParserErrors, ClassHierarchy) {
  EXPECT_THROW(Eval("Q"), EMathParserError);
  EXPECT_THROW(Eval("X Y"), EMathParserError);
  EXPECT_THROW(Eval("1/0"), EMathError);
  EXPECT_THROW(Eval("1DIV0"), EMathError);
  TParser p;
  EXPECT_THROW(p.AssignVariable("1X", 0), EMathParserError);
}

// A compilation error points at the place that goes wrong, counted in the text as given.
TEST(ParserErrors, PlaceOfTheFault) {
  const std::pair<const char*, int> cases[] = {
      {"FOO(X)-T/SID", 0}, {"X+Q", 2},          {"2^3^2", 3},     {"X+-T", 2},
      {"X+", 1},           {"*X", 0},           {"  X*(1+Q)", 7}, {"LN(X,1)", 0},
      {"MAX(X,)", 6},      {"MAX(X,Q+1)", 6},   {"X)+(1", 1},     {"(X", 0},
      {"X)", 1},           {"1E-5*X+2X", 7},    {"X*-1+T/()", 8}, {"-X+--X", 3},
      {"XDIV2+TMOD", 7},   {"SIN(X)+COS()", 11}};
  for (const auto& [text, position] : cases) {
    TParser p;
    p.AssignVariable("X", 0.5);
    p.AssignVariable("T", 300);
    try {
      p.SetExpression(text);
      ADD_FAILURE() << text << " compiled";
    } catch (const EMathParserError& e) {
      EXPECT_EQ(e.Position(), position) << text;
    }
  }
}

// Errors are raised in evaluation order: the deepest row of operations first, each row from
// left to right.
TEST(ParserErrors, FirstFailingOperationInListOrderWins) {
  // Both operands of + fail; they lie in the same row, the left one comes first.
  EXPECT_EQ(Catch([] { Eval("1/0+1E308*10"); }).type, "EZeroDivide");
  EXPECT_EQ(Catch([] { Eval("1E308*10+1/0"); }).type, "EOverflow");
  // The right operand is nested deeper, so it is evaluated before the left one.
  EXPECT_EQ(Catch([] { Eval("1/0+SQRT(LN(-1))"); }).type, "EInvalidOp");
}

// ---------------------------------------------------------------------------------------------
// Limits: 20 nesting levels, 50 operations per level.

std::string Join(const std::string& item, const std::string& sep, int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s += (k ? sep : "") + item;
  return s;
}
std::string Nest(const std::string& f, const std::string& inner, int n) {
  std::string s = inner;
  for (int k = 0; k < n; ++k) s = f + "(" + s + ")";
  return s;
}
// A balanced sum of 2^levels terms, each pair bracketed.
std::string Balanced(int levels) {
  if (levels == 0) return "X";
  const std::string h = Balanced(levels - 1);
  return "(" + h + "+" + h + ")";
}
// Six levels of bracketed sums whose 64 bottom places hold `pairs` sums X+X and plain X
// otherwise: the operations at depth 6 number exactly `pairs`.
std::string BottomRow(int pairs) {
  std::function<std::string(int, int&)> build = [&](int level, int& used) -> std::string {
    if (level == 0) return used++ < pairs ? "(X+X)" : "X";
    std::string l = build(level - 1, used);
    std::string r = build(level - 1, used);
    return "(" + l + "+" + r + ")";
  };
  int used = 0;
  return build(6, used);
}

struct LimitCase {
  const char* name;
  std::string text;
  const char* type;  // "" for success
  double value;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class LimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LimitTest, Compiles) {
  const LimitCase& c = GetParam();
  double v = 0;
  const Outcome o = Catch([&] { v = Eval(c.text, {{"X", 1}}); });
  EXPECT_EQ(o.type, c.type) << c.name << ": " << o.message;
  if (!*c.type) {
    EXPECT_EQ(v, c.value) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LimitTest,
    ::testing::Values(
        LimitCase{"sum21", Join("X", "+", 21), "", 21},
        LimitCase{"sum22", Join("X", "+", 22), "ETooManyNestings", 0},
        LimitCase{"diff21", Join("X", "-", 21), "", -19},
        LimitCase{"diff22", Join("X", "-", 22), "ETooManyNestings", 0},
        LimitCase{"product21", Join("X", "*", 21), "", 1},
        LimitCase{"product22", Join("X", "*", 22), "ETooManyNestings", 0},
        LimitCase{"calls20", Nest("ABS", "X", 20), "", 1},
        LimitCase{"calls21", Nest("ABS", "X", 21), "ETooManyNestings", 0},
        LimitCase{"negations", "-(" + Nest("ABS", "X", 19) + ")", "", -1},
        LimitCase{"negations21", "-(" + Nest("ABS", "X", 20) + ")", "ETooManyNestings", 0},
        LimitCase{"balanced64", Balanced(6), "", 64},
        LimitCase{"balanced128", Balanced(7), "EExpressionTooComplex", 0},
        LimitCase{"row50", BottomRow(50), "", 114},
        LimitCase{"row51", BottomRow(51), "EExpressionTooComplex", 0},
        LimitCase{"squares20", Nest("ABS", "X^2", 19), "", 1},
        LimitCase{"squares21", Nest("ABS", "X^2", 20), "ETooManyNestings", 0},
        LimitCase{"ipow20", Nest("ABS", "X^5", 19), "", 1},
        // deep brackets that are dropped cost no level
        LimitCase{"brackets", std::string(500, '(') + "X" + std::string(500, ')'), "", 1}));

// ---------------------------------------------------------------------------------------------
// The component: cells, variables, compiled state.

TEST(ParserComponent, EmptyExpressionGivesZero) {
  TParser p;
  EXPECT_EQ(p.Value(), 0);
  p.SetExpression("X+1");
  p.SetExpression("");
  EXPECT_EQ(p.Expression(), "");
  EXPECT_EQ(p.Value(), 0);
}

TEST(ParserComponent, SingleVariableFollowsItsCell) {
  TParser p;
  p.SetExpression("X");
  EXPECT_EQ(p.Value(), 0);
  p.AssignVariable("x", 5);
  EXPECT_EQ(p.Value(), 5);
  p.SetX(7);
  EXPECT_EQ(p.Value(), 7);
  EXPECT_EQ(p.X(), 7);
  p.SetExpression("2");
  EXPECT_EQ(p.Value(), 2);
  p.SetExpression("(((-2.5)))");
  EXPECT_EQ(p.Value(), -2.5);
}

TEST(ParserComponent, PropertiesAreTheVariableCells) {
  TParser p;
  const char* names[] = {"A", "B", "C", "D", "E", "X", "Y", "T"};
  for (int k = 0; k < 8; ++k) {
    double* cell = p.AssignVariable(names[k], 10 + k);
    EXPECT_EQ(cell, p.AssignVariable(std::string(1, static_cast<char>(names[k][0] + 32)), 20 + k));
  }
  EXPECT_EQ(p.A(), 20);
  EXPECT_EQ(p.B(), 21);
  EXPECT_EQ(p.C(), 22);
  EXPECT_EQ(p.D(), 23);
  EXPECT_EQ(p.E(), 24);
  EXPECT_EQ(p.X(), 25);
  EXPECT_EQ(p.Y(), 26);
  EXPECT_EQ(p.T(), 27);
  p.SetExpression("A+B+C+D+E+X+Y+T");
  p.SetA(1);
  p.SetB(2);
  p.SetC(3);
  p.SetD(4);
  p.SetE(5);
  p.SetX(6);
  p.SetY(7);
  p.SetT(8);
  EXPECT_EQ(p.Value(), 36);
}

TEST(ParserComponent, AssignVariableReturnsOneCellPerName) {
  TParser p;
  double* sid = p.AssignVariable("Sid", 1.5);
  EXPECT_EQ(p.AssignVariable("SID", 2.5), sid);
  EXPECT_EQ(*sid, 2.5);
  double* underscore = p.AssignVariable("_", 4);
  EXPECT_NE(underscore, sid);
  p.SetExpression("SID*X+_+sid");
  p.SetX(2);
  EXPECT_EQ(p.Value(), 2.5 * 2 + 4 + 2.5);
  *sid = 10;  // through the cell, without recompiling
  EXPECT_EQ(p.Value(), 10 * 2 + 4 + 10);
  // cells stay where they are while more variables are added
  for (int k = 0; k < 200; ++k) p.AssignVariable("V" + std::to_string(k), k);
  EXPECT_EQ(p.AssignVariable("sid", 1), sid);
  EXPECT_EQ(p.Value(), 1 * 2 + 4 + 1);
}

TEST(ParserComponent, BadNamesAreRejectedUpperCased) {
  struct Case {
    const char* name;
    const char* message;
  } cases[] = {{"1x", "1X"}, {"", ""}, {"a-b", "A-B"}, {"x y", "X Y"}, {"é", "é"},
               {"+", "+"},   {"9", "9"}, {"ab(", "AB("}};
  for (const Case& c : cases) {
    TParser p;
    const Outcome o = Catch([&] { p.AssignVariable(c.name, 1); });
    EXPECT_EQ(o.type, "EBadName") << c.name;
    EXPECT_EQ(o.message, c.message) << c.name;
  }
  TParser p;
  for (const char* ok : {"_", "_1", "a", "Z9_", "xDIVy", "Q"}) EXPECT_NO_THROW(p.AssignVariable(ok, 1));
}

TEST(ParserComponent, VariableNamedWithOperatorLetters) {
  TParser p;
  p.AssignVariable("XDIVY", 10);
  p.SetX(1);
  p.SetY(2);
  p.SetExpression("XDIVY+1");
  EXPECT_EQ(p.Value(), 11);
  p.SetExpression("1/XDIVY");  // (1/X) DIV Y
  EXPECT_EQ(p.Value(), 0);
  p.SetX(0.25);
  p.SetY(1);
  EXPECT_EQ(p.Value(), 4);
}

TEST(ParserComponent, FailedCompilationLeavesNothingCompiled) {
  TParser p;
  p.AssignVariable("K", 3);
  p.SetExpression("K*2");
  ASSERT_EQ(p.Value(), 6);
  EXPECT_THROW(p.SetExpression("K*"), ESyntaxError);
  EXPECT_EQ(p.Expression(), "K*");
  EXPECT_EQ(p.Value(), 0);
  // the variable table is unchanged
  EXPECT_EQ(*p.AssignVariable("K", 3), 3);
  p.SetExpression("K+1");
  EXPECT_EQ(p.Value(), 4);
}

TEST(ParserComponent, OnParserErrorReceivesTheException) {
  TParser p;
  std::vector<std::string> seen;
  TCustomParser* sender = nullptr;
  p.SetOnParserError([&](TCustomParser& s, const std::exception& e) {
    sender = &s;
    seen.push_back(std::string(typeid(e).name()) + "|" + e.what());
  });
  p.SetExpression("X+1");
  EXPECT_TRUE(seen.empty());
  EXPECT_NO_THROW(p.SetExpression("Q+1"));
  EXPECT_NO_THROW(p.SetExpression("(X"));
  EXPECT_NO_THROW(p.SetExpression("1E999"));
  EXPECT_EQ(p.Expression(), "1E999");
  EXPECT_EQ(p.Value(), 0);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(sender, &p);
  EXPECT_EQ(seen[0], std::string(typeid(ESyntaxError).name()) + "|Error parsing expression:\rQ\r1");
  EXPECT_EQ(seen[1], std::string(typeid(EMissMatchingBracket).name()) +
                         "|Missing brackets in expression");
  EXPECT_EQ(seen[2], std::string(typeid(EOverflow).name()) + "|Floating point overflow");
  // evaluation errors are not compilation errors: they still propagate
  p.SetExpression("1/X");
  EXPECT_THROW(p.Value(), EZeroDivide);
}

TEST(ParserComponent, EvaluationErrorLeavesTheListUsable) {
  TParser p;
  p.AssignVariable("X", 1);
  p.AssignVariable("Y", 0);
  p.SetExpression("X/Y+X*Y");
  EXPECT_THROW(p.Value(), EZeroDivide);
  p.AssignVariable("Y", 2);
  EXPECT_EQ(p.Value(), 2.5);
}

TEST(ParserComponent, RecompilingKeepsVariables) {
  TParser p;
  p.AssignVariable("G0", -1000);
  p.SetExpression("G0+T");
  p.SetT(300);
  EXPECT_EQ(p.Value(), -700);
  p.SetExpression("G0*2");
  EXPECT_EQ(p.Value(), -2000);
  // a variable added after the compilation is not seen by it
  EXPECT_THROW(p.SetExpression("G0+LATE"), ESyntaxError);
  EXPECT_EQ(p.Value(), 0);
  p.AssignVariable("LATE", 1);
  EXPECT_EQ(p.Value(), 0);
  p.SetExpression("G0+LATE");
  EXPECT_EQ(p.Value(), -999);
}

TEST(ParserComponent, BareCustomParserKnowsNoNamesUntilAssigned) {
  TCustomParser p;
  EXPECT_THROW(p.SetExpression("X"), ESyntaxError);
  EXPECT_THROW(p.SetExpression("SIN(1)"), ESyntaxError);
  double* x = p.AssignVariable("x", 2);
  double* q = p.AssignVariable("q", 3);
  EXPECT_NE(x, q);
  p.SetExpression("X*Q");
  EXPECT_EQ(p.Value(), 6);
  EXPECT_EQ(p.AssignVariable("X", 4), x);
  EXPECT_EQ(p.Value(), 12);
}

TEST(ParserComponent, FixedNumberformatOff) {
  TParser p;
  EXPECT_TRUE(p.FixedNumberformat());
  p.SetFixedNumberformat(false);
  EXPECT_FALSE(p.FixedNumberformat());
  p.SetExpression("1.5*2");  // the C locale of the test program
  EXPECT_EQ(p.Value(), 3);
  p.SetExpression("PI");
  EXPECT_EQ(p.Value(), 3.141592653589793);
  // texts only the fixed format takes, and values beyond the double range, are no numerals
  for (const char* bad : {"E3", ".", "1E400", "INF", "NAN"}) {
    EXPECT_THROW(p.SetExpression(bad), ESyntaxError) << bad;
  }
}

// Native code and the list must agree on values and errors, also with variables the host set
// to values no operation produces (an infinity, a NaN), which only some operations notice.
TEST(ParserNative, AgreesWithTheList) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const char* texts[] = {"1/X",        "X+1",          "X*0",         "MAX(X,1)",
                         "HEAV(X)",    "2/(X*Y)",      "(X-Y)/(X+Y)", "X^5",
                         "X^-5",       "ZERO(X)+1/Y",  "(X+1)^(Y-1)", "XDIVY+XMODY",
                         "SIN(X)*COS(Y)/(1-X)", "MIN(X*Y,X/Y)-(X-Y)*(X+Y)/((X*X)-(Y*Y))",
                         "-X^2*-1E-300/Y", "1E308*X+1E308*Y", "EXP(X)/EXP(Y)", "LN(X)-LN(Y)"};
  const double values[] = {0, 1, -1, 2.5, 1e-300, 1e300, -1e308, inf, -inf, nan};
  for (const char* text : texts) {
    for (double x : values) {
      for (double y : values) {
        std::string outcome[2];
        for (int native = 0; native < 2; ++native) {
          detail::jit_enabled = native;
          TParser p;
          p.SetX(x);
          p.SetY(y);
          p.SetExpression(text);
          const Outcome o = Catch([&] {
            const double v = p.Value();
            outcome[native] = std::isnan(v) ? "nan" : std::to_string(v);
          });
          if (!o.type.empty()) outcome[native] = o.type;
        }
        detail::jit_enabled = true;
        EXPECT_EQ(outcome[0], outcome[1]) << text << " X=" << x << " Y=" << y;
      }
    }
  }
}

}  // namespace
}  // namespace numeric
