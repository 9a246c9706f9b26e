// brelona-calc point on the bundled samples: what it prints and how it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
      {{"--problem", "Liquid-vapour at 350 K (pressure diagram)", "--y", "0.3", "--x", "0.5"},
       1,
       "\"name\": \"V\""},
      // A compound is named as its line names it (a line GC: by its composition), not "0.5".
      {{"--problem", "Congruent compound AB with two eutectics", "--y", "700", "--x", "0.5"},
       1,
       "\"name\": \"C(0.5)\""},
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

// At pure A the potential of B is -infinity, not the tangent's value a step inside.
TEST(PointCommand, APotentialAtAPureComponentIsInfinite) {
  const cli_test::Result r = cli_test::Run(
      BRELONA_CALC, {"point", kDb, "--problem", "Simple eutectic", "--y", "1000", "--x", "0"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("\"muB\": \"-Infinity\""), std::string::npos) << r.out;
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

// A JSON file or a phase sheet of one problem needs no --problem; options take "=".
TEST(PointCommand, ReadsEveryProblemFile) {
  const std::string dir = ::testing::TempDir() + "brelona_point_files/";
  std::filesystem::create_directories(dir);
  const std::string functs = "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid";
  std::ofstream(dir + "one.json")
      << R"({"ProblemName": "one", "Functs": "GL=(1-X)*10*(1000-T)+)"
         R"(X*10*(800-T)-T*Sid\r\nGS=20000*X*(1-X)-T*Sid", "Yparameter":)"
         R"( "Temperature, K", "Ymin": 300, "Ymax": 1100, "Zvalue": 1})";
  std::ofstream(dir + "one.txt") << functs << "\n";
  for (const std::string file : {"one.json", "one.txt"}) {
    const cli_test::Result r =
        cli_test::Run(BRELONA_CALC, {"point", dir + file, "--y=700", "--x=0.5"});
    EXPECT_EQ(r.exit_code, 0) << file << ": " << r.err;
    EXPECT_NE(r.out.find("\"X\": 0.5,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"yquantity\": \"temperature\""), std::string::npos) << r.out;
  }
  const cli_test::Result many =
      cli_test::Run(BRELONA_CALC, {"point", kDb, "--y", "700", "--x", "0.5"});
  EXPECT_EQ(many.exit_code, 2);
  EXPECT_EQ(many.err.rfind("error: " + kDb + " holds 13 problems: give --problem NAME\n", 0), 0u)
      << many.err;
  std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

// brelona-calc run's picture options: the formats asked for, at the size asked for.
TEST(RunPictures, FormatsSizeAndResolution) {
  const std::string out = ::testing::TempDir() + "brelona_run_pictures";
  std::filesystem::remove_all(out);
  const cli_test::Result r = cli_test::Run(
      BRELONA_CALC, {"run", kDb, "--problem", "Simple eutectic", "--out", out, "--format",
                     "png,pdf", "--size", "800x500", "--dpi", "120", "--celsius"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(out + "/diagram.pdf"));
  EXPECT_FALSE(std::filesystem::exists(out + "/diagram.svg"));
  // The PNG header's size fields (big-endian width and height at bytes 16..23).
  std::ifstream png(out + "/diagram.png", std::ios::binary);
  unsigned char header[24] = {};
  png.read(reinterpret_cast<char*>(header), sizeof header);
  auto be = [&](int at) {
    return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3];
  };
  EXPECT_EQ(be(16), 800);
  EXPECT_EQ(be(20), 500);
  // Usage errors.
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--format", "gif"},
                                              {"--format", "png,"},
                                              {"--size", "10x10"},
                                              {"--dpi", "0"}}) {
    std::vector<std::string> args = {"run", kDb, "--problem", "Simple eutectic", "--out", out};
    args.insert(args.end(), bad.begin(), bad.end());
    const cli_test::Result refused = cli_test::Run(BRELONA_CALC, args);
    EXPECT_EQ(refused.exit_code, 2) << bad[0] << " " << bad[1];
    EXPECT_NE(refused.err.find(bad[0]), std::string::npos) << refused.err;
  }
  std::filesystem::remove_all(out);
}

}  // namespace
