// brelona-calc point on the bundled samples: what it prints and how it fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_cli.h"

namespace {

const std::string kDb = BRELONA_SOURCE_DIR "/data/Problems.d";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(PointCommand, PrintsThePhasesAtThePoint) {
  const struct {
    std::vector<std::string> args;
    int phases;
    std::string first;
  } cases[] = {
      {{"--problem", "Simple eutectic", "--y", "800", "--x", "0.1"}, 2, "\"name\": \"S\""},
      {{"--problem", "simple EUTECTIC", "--y", "1000", "--x", "0.5"}, 1, "\"name\": \"L\""},
      {{"--problem", "Liquid-vapour at 350 K (pressure diagram)", "--y", "0.3", "--x", "0.5"}, 1, "\"name\": \"V\""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"point", kDb};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const cli_test::Result r = cli_test::Run(BRELONA_CALC, args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\"amount\""), c.phases) << r.out;
    EXPECT_NE(r.out.find(c.first), std::string::npos) << r.out;
    if (c.phases == 1) {
      EXPECT_NE(r.out.find("\"amount\": 1,"), std::string::npos) << r.out;
    }
  }
}

TEST(PointCommand, RefusesWhatItCannotAnswer) {
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"point", kDb, "--problem", "Simple eutectic", "--y", "800"}, 2},
      {{"point", kDb, "--problem", "Simple eutectic", "--y", "800", "--x", "1.5"}, 2},
      {{"point", kDb, "--problem", "Simple eutectic", "--y", "abc", "--x", "0.5"}, 2},
      {{"point", kDb, "--problem", "No such problem", "--y", "800", "--x", "0.5"}, 1},
      {{"point", "/nonexistent/Problems.d", "--problem", "X", "--y", "800", "--x", "0.5"}, 1},
  };
  for (const auto& c : cases) {
    const cli_test::Result r = cli_test::Run(BRELONA_CALC, c.args);
    EXPECT_EQ(r.exit_code, c.code) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("error: "), std::string::npos);
  }
}

}  // namespace
