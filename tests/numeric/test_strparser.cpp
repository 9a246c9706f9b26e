#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numeric/strparser.h"

namespace {

using numeric::TStrParser;
using Pieces = std::vector<std::string>;

TEST(StrParser, Split) {
  struct Case {
    std::string sep;
    bool case_sensitive;
    std::string text;
    Pieces expected;
  };
  const std::vector<Case> cases = {
      {";", false, "u;v", {"u", "v"}},
      {";", false, "A;;B;", {"A", "", "B"}},  // a separator at the very end adds nothing
      {";", false, ";A", {"", "A"}},
      {";", false, "", {}},
      {";", false, ";", {""}},
      {";", false, ";;", {"", ""}},
      {";", false, "no separator", {"no separator"}},
      {";", false, " X = 0.5 ; GC = -1 ", {" X = 0.5 ", " GC = -1 "}},  // blanks kept
      {"ab", false, "uABv", {"u", "v"}},
      {"ab", true, "uABv", {"uABv"}},
      {"ab", true, "uabv", {"u", "v"}},
      {"Ab", false, "xaBy", {"x", "y"}},  // case of the pieces is kept, only the search folds
      {"ab", false, "aab", {"a"}},
      {"aa", false, "aaa", {"", "a"}},  // leftmost match, no overlap
      {"", false, "abc", {"abc"}},  // an empty separator is never found
      {"", false, "", {}},
      {"--", false, "1--2--3", {"1", "2", "3"}},
      {"X=", false, "x=0.5;GC", {"", "0.5;GC"}},
  };
  TStrParser sp;
  for (const Case& c : cases) {
    sp.SetDividingString(c.sep);
    sp.SetCaseSensitive(c.case_sensitive);
    sp.Split(c.text);
    EXPECT_EQ(sp.Items(), c.expected) << "'" << c.text << "' at '" << c.sep << "'";
  }
}

TEST(StrParser, SplitReplacesThePreviousPiecesAndHostMayDelete) {
  TStrParser sp;
  EXPECT_EQ(sp.DividingString(), "");
  EXPECT_FALSE(sp.CaseSensitive());
  sp.SetDividingString(";");
  sp.Split("a;b;c");
  sp.Items().erase(sp.Items().begin());
  EXPECT_EQ(sp.Items(), (Pieces{"b", "c"}));
  sp.Split("z");
  EXPECT_EQ(sp.Items(), (Pieces{"z"}));
  sp.Split("");
  EXPECT_TRUE(sp.Items().empty());
}

}  // namespace
