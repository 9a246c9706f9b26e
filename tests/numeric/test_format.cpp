#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "numeric/format.h"

namespace {

using numeric::FormatFloatPattern;
using numeric::FormatGeneral15;
using numeric::ParseFloat;

// Replaces '.' by the separator under test, so one table covers both separators.
std::string WithSep(std::string s, char sep) {
  for (char& c : s) {
    if (c == '.') c = sep;
  }
  return s;
}

class FormatBothSeparators : public ::testing::TestWithParam<char> {};

TEST_P(FormatBothSeparators, PatternRoundsDropsZerosAndSeparator) {
  const char sep = GetParam();
  struct Case {
    double v;
    int decimals;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {0.0, 3, "0"},
      {-0.0, 3, "0"},
      {1.5, 3, "1.5"},
      {12.5, 3, "12.5"},
      {2.0, 8, "2"},
      {1000.1, 3, "1000.1"},
      {0.0625, 3, "0.063"},    // exact tie: away from zero
      {-0.0625, 3, "-0.063"},  // and for negatives too
      {0.0004, 3, "0"},
      {-0.0004, 3, "0"},  // rounds to zero: no "-0"
      {0.0005, 3, "0.001"},
      {999.9996, 3, "1000"},  // carry through every digit
      {-999.9996, 3, "-1000"},
      {0.99999, 4, "1"},
      {123456789.0, 3, "123456789"},
      {1e20, 3, "100000000000000000000"},
      {0.1 + 0.2, 8, "0.3"},
      {1.0 / 3.0, 6, "0.333333"},
      {2.0 / 3.0, 4, "0.6667"},
      {-3.14159, 4, "-3.1416"},
      {1e-9, 8, "0"},
      {5e-9, 8, "0.00000001"},
      {0.00012345678, 8, "0.00012346"},
      {0.05, 6, "0.05"},
      {2.5, 0, "3"},
      {1e-300, 3, "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatFloatPattern(c.v, c.decimals, sep), WithSep(c.expected, sep))
        << "v=" << c.v << " decimals=" << c.decimals;
  }
}

TEST_P(FormatBothSeparators, General15) {
  const char sep = GetParam();
  struct Case {
    double v;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {0.0, "0"},
      {-0.0, "0"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {-2.0 / 3.0, "-0.666666666666667"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {1500.0, "1500"},
      {100.0, "100"},
      {12.375, "12.375"},
      {0.0001, "0.0001"},
      {0.00012, "0.00012"},
      {0.00001, "1E-5"},
      {0.000015, "1.5E-5"},
      {-2.5e-7, "-2.5E-7"},
      {1e14, "100000000000000"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {1.5e20, "1.5E20"},
      {123456789012345678.0, "1.23456789012346E17"},
      {999999999999999.9, "1E15"},  // rounding to 15 digits carries into a new exponent
      {1e-300, "1E-300"},
      {1e300, "1E300"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatGeneral15(c.v, sep), WithSep(c.expected, sep)) << "v=" << c.v;
  }
}

TEST_P(FormatBothSeparators, ParseReadsWhatWasWrittenWithTheSameSeparator) {
  const char sep = GetParam();
  const std::vector<double> values = {0,      1,        -1,      0.5,     1.0 / 3.0, -2.0 / 3.0,
                                      1500,   0.0001,   0.00001, 1.5e20,  -2.5e-7,   1e15,
                                      1e-300, 123.4567, 0.0625,  1e14 + 1};
  for (double v : values) {
    const std::string g = FormatGeneral15(v, sep);
    double back = 12345;
    ASSERT_TRUE(ParseFloat(g, sep, back)) << g;
    EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << g;
    for (int decimals : {3, 4, 6, 8}) {
      const std::string p = FormatFloatPattern(v, decimals, sep);
      ASSERT_TRUE(ParseFloat(p, sep, back)) << p;
      EXPECT_NEAR(back, v, 0.5 * std::pow(10.0, -decimals) + std::fabs(v) * 1e-15) << p;
      // The value of the text, computed without writing it, is exactly the value read.
      EXPECT_EQ(numeric::PatternValue(v, decimals), back) << p;
    }
  }
  // Grid steps built by repeated addition, as the levels and compositions of a run are.
  double x = 0, y = 1000;
  for (int k = 0; k < 3000; ++k, x += 1.0 / 3000, y -= 700.0 / 3000) {
    double back = 0;
    ASSERT_TRUE(ParseFloat(FormatFloatPattern(x, 8, sep), sep, back));
    ASSERT_EQ(numeric::PatternValue(x, 8), back) << k;
    ASSERT_TRUE(ParseFloat(FormatFloatPattern(y, 6, sep), sep, back));
    ASSERT_EQ(numeric::PatternValue(y, 6), back) << k;
  }
}

TEST_P(FormatBothSeparators, ParseAcceptsAndRefuses) {
  const char sep = GetParam();
  const char other = sep == '.' ? ',' : '.';
  struct Case {
    std::string text;
    bool ok;
    double value;
  };
  const std::vector<Case> cases = {
      {WithSep("1.5", sep), true, 1.5},
      {WithSep("  -0.25\t", sep), true, -0.25},
      {"+2", true, 2},
      {WithSep(".5", sep), true, 0.5},
      {WithSep("5.", sep), true, 5},
      {"1E-5", true, 1e-5},
      {WithSep("1.5e+20", sep), true, 1.5e20},
      {"007", true, 7},
      {"1e-999", true, 0},  // underflow reads as zero
      {"1e999", false, 0},  // overflow is refused
      {"", false, 0},
      {"   ", false, 0},
      {"-", false, 0},
      {std::string(1, sep), false, 0},
      {"1e", false, 0},
      {"1e+", false, 0},
      {WithSep("1.2.3", sep), false, 0},
      {std::string("1") + other + "5", false, 0},  // the other separator is not a number here
      {"1 2", false, 0},
      {"abc", false, 0},
      {"12x", false, 0},
      {"--1", false, 0},
      {"inf", false, 0},
      {"nan", false, 0},
      {"0x10", false, 0},
  };
  for (const Case& c : cases) {
    double out = 777;
    EXPECT_EQ(ParseFloat(c.text, sep, out), c.ok) << "'" << c.text << "'";
    if (c.ok) {
      EXPECT_DOUBLE_EQ(out, c.value) << "'" << c.text << "'";
    } else {
      EXPECT_EQ(out, 777) << "a refused text must leave the output alone: '" << c.text << "'";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Separators, FormatBothSeparators, ::testing::Values('.', ','),
                         [](const auto& info) { return info.param == '.' ? "Dot" : "Comma"; });

TEST(Format, NonFiniteValuesHaveFixedTexts) {
  EXPECT_EQ(FormatGeneral15(NAN, '.'), "NAN");
  EXPECT_EQ(FormatGeneral15(INFINITY, '.'), "INF");
  EXPECT_EQ(FormatFloatPattern(-INFINITY, 3, '.'), "-INF");
}

}  // namespace
