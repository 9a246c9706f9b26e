// brelona-calc eval 'EXPR' [NAME=VALUE ...]

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/run_cli.h"

namespace {

struct EvalCase {
  std::vector<std::string> args;  // after "eval"
  int exit_code;
  const char* out;
  const char* err;  // exact, or nullptr to check only that something was said
};

void PrintTo(const EvalCase& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << "'" << a << "' ";
}

class CliEval : public ::testing::TestWithParam<EvalCase> {};

TEST_P(CliEval, ExitCodeAndOutput) {
  const EvalCase& c = GetParam();
  std::vector<std::string> args = {"eval"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const cli_test::Result r = cli_test::Run(BRELONA_CALC, args);
  EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
  EXPECT_EQ(r.out, c.out);
  if (c.err) {
    EXPECT_EQ(r.err, c.err);
  } else {
    EXPECT_FALSE(r.err.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, CliEval,
    ::testing::Values(
        EvalCase{{"1+2"}, 0, "3\n", ""}, EvalCase{{"2*7DIV2"}, 0, "6\n", ""},
        EvalCase{{"PI"}, 0, "3.1415926535897931\n", ""},
        EvalCase{{"0.1+0.2"}, 0, "0.30000000000000004\n", ""},
        EvalCase{{"-8.31441*(X*LN(X)+(1-X)*LN(1-X))", "x=0.25"}, 0, "4.6754849497700661\n", ""},
        EvalCase{{"-1000+T*SID", "T=300", "Sid=-5.5"}, 0, "-2650\n", ""},
        // assignments in the order given; the later one wins
        EvalCase{{"A", "A=1", "a=2"}, 0, "2\n", ""},
        EvalCase{{"X/Y", "X=1", "Y=4e-1"}, 0, "2.5\n", ""},
        EvalCase{{"X", "X=-1.5E+3"}, 0, "-1500\n", ""}, EvalCase{{"E"}, 0, "0\n", ""},
        EvalCase{{"1E-400"}, 0, "0\n", ""}, EvalCase{{"  X  "}, 0, "0\n", ""}));

INSTANTIATE_TEST_SUITE_P(
    Errors, CliEval,
    ::testing::Values(EvalCase{{"Q+1"}, 1, "", "error: Error parsing expression:\nQ\n1\n"},
                      EvalCase{{"Q"}, 1, "", "error: Error parsing expression:\nQ\n"},
                      EvalCase{{"X Y"}, 1, "", "error: Expression has blanks\n"},
                      EvalCase{{"(X"}, 1, "", "error: Missing brackets in expression\n"},
                      EvalCase{{"1/X"}, 1, "", "error: Floating point division by zero\n"},
                      EvalCase{
                          {"LN(X)", "X=-1"}, 1, "", "error: Invalid floating point operation\n"},
                      EvalCase{{"1E400"}, 1, "", "error: Floating point overflow\n"},
                      EvalCase{{"1DIV0"}, 1, "", "error: Division by zero\n"},
                      EvalCase{{"X", "1x=2"}, 1, "", "error: 1X\n"},
                      EvalCase{{"X", "=2"}, 1, "", "error: \n"}, EvalCase{{""}, 0, "0\n", ""}));

INSTANTIATE_TEST_SUITE_P(
    Usage, CliEval,
    ::testing::Values(EvalCase{{}, 2, "", nullptr}, EvalCase{{"X", "X"}, 2, "", nullptr},
                      EvalCase{{"X", "X=abc"}, 2, "", nullptr},
                      EvalCase{{"X", "X="}, 2, "", nullptr},
                      EvalCase{{"X", "X=1,5"}, 2, "", nullptr},
                      EvalCase{{"X", "X= 1"}, 2, "", nullptr},
                      EvalCase{{"X", "X=inf"}, 2, "", nullptr},
                      EvalCase{{"X", "X=nan"}, 2, "", nullptr},
                      EvalCase{{"X", "X=0x10"}, 2, "", nullptr},
                      EvalCase{{"X", "X=1e999"}, 2, "", nullptr},
                      // a bad value is a usage error even after a bad name
                      EvalCase{{"X", "1x=2", "Y=z"}, 2, "", nullptr}));

}  // namespace
