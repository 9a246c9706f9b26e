#include <gtest/gtest.h>

#include "views/readout.h"

namespace views {
namespace {

struct ValueCase {
  double v;
  char sep;
  const char* text;
};

TEST(ReadoutValue, FixedAtOneAndAboveScientificBelow) {
  const ValueCase cases[] = {
      {1234.5678, '.', "1234.568    "},
      {1234.5678, ',', "1234,568    "},
      {1.0, '.', "1.000       "},          // exactly 1 is fixed
      {-1.0, '.', "-1.000      "},
      {0.99999, '.', "9.9999E-001 "},      // just below 1 is scientific
      {0.5, '.', "5.0000E-001 "},
      {0.5, ',', "5,0000E-001 "},
      {0.0123456, '.', "1.2346E-002 "},    // rounded to five significant digits
      {0.0, '.', "0.0000E+000 "},
      {-0.25, '.', "-2.5000E-001"},        // 12 characters, no padding left
      {1.5e-120, '.', "1.5000E-120 "},     // three-digit exponents stay three digits
      {123456789012.0, '.', "123456789012.000"},  // wider than 12: not cut
  };
  for (const ValueCase& c : cases) {
    EXPECT_EQ(FormatReadoutValue(c.v, c.sep), c.text) << c.v << " sep " << c.sep;
  }
  // The largest values are written whole, not cut.
  const std::string huge = FormatReadoutValue(1.5e300, '.');
  EXPECT_EQ(huge.size(), 301u + 4u);
  EXPECT_EQ(huge.substr(huge.size() - 4), ".000");
}

TEST(ReadoutText, JoinsBothValuesWithTheTitleLine) {
  EXPECT_EQ(ReadoutText(0.5, 1234.5678, "T, K", '.'), "X = 5.0000E-001     T, K = 1234.568    ");
  EXPECT_EQ(ReadoutText(0.5, 1234.5678, "T, K", ','), "X = 5,0000E-001     T, K = 1234,568    ");
  EXPECT_EQ(ReadoutText(1.0, 0.05, "P, бар", '.'), "X = 1.000           P, бар = 5.0000E-002 ");
}

TEST(ReadoutText, FirstLineOfTheTitle) {
  EXPECT_EQ(FirstLine("T, K"), "T, K");
  EXPECT_EQ(FirstLine("T, K\nsecond"), "T, K");
  EXPECT_EQ(FirstLine("P, бар\r\nx"), "P, бар");
  EXPECT_EQ(FirstLine(""), "");
}

}  // namespace
}  // namespace views
