// brelona-calc run --all -j N: problems run side by side give the very files, texts and exit
// code of problems run one at a time.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/run_cli.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Every file below dir by relative path; the run time in summary.json is the one line that
// may differ between two runs.
std::map<std::string, std::string> Tree(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::string bytes = ReadFile(e.path());
    if (e.path().filename() == "summary.json") {
      const size_t at = bytes.find("\"seconds\": ");
      if (at != std::string::npos) bytes.erase(at, bytes.find('\n', at) - at);
    }
    files[fs::relative(e.path(), dir).string()] = bytes;
  }
  return files;
}

class RunBatch : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("brelona_batch_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  cli_test::Result Calc(const std::vector<std::string>& args) { return cli_test::Run(BRELONA_CALC, args); }
};

TEST_F(RunBatch, SideBySideEqualsOneAtATimeForEverySample) {
  const std::string db = BRELONA_DATA "/Problems.d";
  const cli_test::Result one = Calc({"run", db, "--all", "-j", "1", "--out", (dir / "j1").string()});
  const cli_test::Result two = Calc({"run", db, "--all", "-j", "2", "--out", (dir / "j2").string()});
  ASSERT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(two.exit_code, 0);
  EXPECT_EQ(two.out, one.out);
  EXPECT_EQ(two.err, one.err);

  const auto j1 = Tree(dir / "j1");
  ASSERT_GE(j1.size(), 8u * 7u);  // eight samples, every output file
  EXPECT_TRUE(j1 == Tree(dir / "j2"));

  // Each problem alone gives the same files too.
  const cli_test::Result names = Calc({"list", db});
  std::istringstream in(names.out);
  std::string name;
  int count = 0;
  for (; std::getline(in, name); ++count) {
    const fs::path alone = dir / "alone" / name;
    ASSERT_EQ(Calc({"run", db, "--problem", name, "--out", alone.string()}).exit_code, 0);
    const auto files = Tree(alone);
    for (const auto& [file, bytes] : files) {
      EXPECT_EQ(bytes, j1.at(name + "/" + file)) << name << "/" << file;
    }
  }
  EXPECT_EQ(count, 8);
}

TEST_F(RunBatch, FailuresKeepTheirOrderTextsAndExitCode) {
  auto record = [](const std::string& name, const std::string& functs, int ymin, int ymax,
                   int points = 30) {
    return "{\"ProblemName\": \"" + name + "\", \"Functs\": \"" + functs +
           "\", \"Yparameter\": \"Temperature, K\", \"Ymin\": " + std::to_string(ymin) +
           ", \"Ymax\": " + std::to_string(ymax) +
           ", \"Zparameter\": \"P, bar\", \"Zvalue\": 1, \"XPoints\": " + std::to_string(points) +
           ", \"YPoints\": " + std::to_string(points) + ", \"ShowMosaicDiagram\": true, \"ShowChart\": false}";
  };
  const std::string lens = "GL=(1-X)*10*(1200-T)+X*10*(800-T)-T*Sid\\nGS=-T*Sid";
  std::ofstream(dir / "p.json")
      << "{\"fields\": [{\"name\": \"ProblemName\", \"type\": \"string\", \"size\": 40},"
         " {\"name\": \"Functs\", \"type\": \"memo\"},"
         " {\"name\": \"Yparameter\", \"type\": \"string\", \"size\": 20},"
         " {\"name\": \"Ymin\", \"type\": \"float\"}, {\"name\": \"Ymax\", \"type\": \"float\"},"
         " {\"name\": \"Zparameter\", \"type\": \"string\", \"size\": 10},"
         " {\"name\": \"Zvalue\", \"type\": \"float\"}, {\"name\": \"XPoints\", \"type\": \"integer\"},"
         " {\"name\": \"YPoints\", \"type\": \"integer\"},"
         " {\"name\": \"ShowMosaicDiagram\", \"type\": \"boolean\"},"
         " {\"name\": \"ShowChart\", \"type\": \"boolean\"}], \"records\": ["
      << record("A lens", lens, 700, 1300) << ", " << record("B bad range", "GL=1\\nGS=2", 600, 400)
      << ", " << record("C bad level", "GL=1/(T-600)\\nGS=0", 400, 800, 4) << ", "
      << record("D lens", lens, 700, 1300) << "]}";
  const std::string db = (dir / "p.d").string();
  ASSERT_EQ(Calc({"db-import", (dir / "p.json").string(), db}).exit_code, 0);

  const cli_test::Result one = Calc({"run", db, "--all", "-j", "1", "--out", (dir / "j1").string()});
  const cli_test::Result three = Calc({"run", db, "--all", "-j", "3", "--out", (dir / "j3").string()});
  EXPECT_EQ(one.exit_code, 1);  // an evaluator error outweighs a failed check
  EXPECT_EQ(three.exit_code, 1);
  EXPECT_EQ(three.err, one.err);
  EXPECT_EQ(three.out, one.out);
  const size_t range = one.err.find("Ymax must be more that Ymin");
  const size_t zero = one.err.find("Floating point division by zero");
  EXPECT_TRUE(range != std::string::npos && zero != std::string::npos && range < zero) << one.err;
  EXPECT_TRUE(Tree(dir / "j1") == Tree(dir / "j3"));
}

}  // namespace
