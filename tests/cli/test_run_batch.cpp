// brelona-calc run with problem files and with --all -j N: a problem read from a table, a JSON
// file or a phase-sheet file gives the same results; problems run side by side give the very
// files, texts and exit code of problems run one at a time.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "problem/problem_reader.h"
#include "tests/cli/run_cli.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Printed lines without their run times ("..., 0.0123 s" at the end of a line).
std::string WithoutTimes(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const size_t s = line.rfind(", ");
    if (s != std::string::npos && line.size() > 2 && line.compare(line.size() - 2, 2, " s") == 0)
      line.erase(s);
    out += line + "\n";
  }
  return out;
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
    // A folder of its own: other test runs on the machine may run the same test at once.
    std::string pattern = (fs::temp_directory_path() / "brelona_batch_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  cli_test::Result Calc(const std::vector<std::string>& args) {
    return cli_test::Run(BRELONA_CALC, args);
  }
};

TEST_F(RunBatch, SideBySideEqualsOneAtATimeForEverySample) {
  const std::string db = BRELONA_DATA "/Problems.d";
  const cli_test::Result one =
      Calc({"run", db, "--all", "-j", "1", "--out", (dir / "j1").string()});
  const cli_test::Result two =
      Calc({"run", db, "--all", "-j", "2", "--out", (dir / "j2").string()});
  ASSERT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(two.exit_code, 0);
  EXPECT_EQ(WithoutTimes(two.out), WithoutTimes(one.out));
  EXPECT_EQ(two.err, one.err);

  const auto j1 = Tree(dir / "j1");
  ASSERT_FALSE(j1.empty());
  EXPECT_TRUE(j1 == Tree(dir / "j2"));
  std::map<std::string, size_t> files_of;  // problem folder -> files in it
  for (const auto& [file, bytes] : j1) ++files_of[file.substr(0, file.find('/'))];

  // Each problem alone gives the same files too.
  const cli_test::Result names = Calc({"list", db});
  std::istringstream in(names.out);
  std::string name;
  int count = 0;
  for (; std::getline(in, name); ++count) {
    const fs::path alone = dir / "alone" / name;
    const auto single = Calc({"run", db, "--problem", name, "--out", alone.string()});
    ASSERT_EQ(single.exit_code, 0) << single.err;
    const auto files = Tree(alone);
    EXPECT_EQ(files.size(), files_of[name]) << name;
    for (const auto& [file, bytes] : files) {
      EXPECT_EQ(bytes, j1.at(name + "/" + file)) << name << "/" << file;
    }
  }
  EXPECT_GE(count, 8);
  EXPECT_EQ(files_of.size(), static_cast<size_t>(count)) << "a folder per problem";
}

TEST_F(RunBatch, FailuresKeepTheirOrderTextsAndExitCode) {
  auto record = [](const std::string& name, const std::string& functs, int ymin, int ymax,
                   int points = 30) {
    return "{\"ProblemName\": \"" + name + "\", \"Functs\": \"" + functs +
           "\", \"Yparameter\": \"Temperature, K\", \"Ymin\": " + std::to_string(ymin) +
           ", \"Ymax\": " + std::to_string(ymax) +
           ", \"Zparameter\": \"P, bar\", \"Zvalue\": 1, \"XPoints\": " + std::to_string(points) +
           ", \"YPoints\": " + std::to_string(points) +
           ", \"ShowMosaicDiagram\": true, \"ShowChart\": false}";
  };
  const std::string lens = "GL=(1-X)*10*(1200-T)+X*10*(800-T)-T*Sid\\nGS=-T*Sid";
  std::ofstream(dir / "p.json")
      << "{\"fields\": [{\"name\": \"ProblemName\", \"type\": \"string\", \"size\": 40},"
         " {\"name\": \"Functs\", \"type\": \"memo\"},"
         " {\"name\": \"Yparameter\", \"type\": \"string\", \"size\": 20},"
         " {\"name\": \"Ymin\", \"type\": \"float\"}, {\"name\": \"Ymax\", \"type\": \"float\"},"
         " {\"name\": \"Zparameter\", \"type\": \"string\", \"size\": 10},"
         " {\"name\": \"Zvalue\", \"type\": \"float\"}, {\"name\": \"XPoints\", \"type\": "
         "\"integer\"},"
         " {\"name\": \"YPoints\", \"type\": \"integer\"},"
         " {\"name\": \"ShowMosaicDiagram\", \"type\": \"boolean\"},"
         " {\"name\": \"ShowChart\", \"type\": \"boolean\"}], \"records\": ["
      << record("A lens", lens, 700, 1300) << ", " << record("B bad range", "GL=1\\nGS=2", 600, 400)
      << ", " << record("C bad level", "GL=1/(T-600)\\nGS=0", 400, 800, 4) << ", "
      << record("D lens", lens, 700, 1300) << "]}";
  const std::string db = (dir / "p.d").string();
  ASSERT_EQ(Calc({"db-import", (dir / "p.json").string(), db}).exit_code, 0);

  const cli_test::Result one =
      Calc({"run", db, "--all", "-j", "1", "--out", (dir / "j1").string()});
  const cli_test::Result three =
      Calc({"run", db, "--all", "-j", "3", "--out", (dir / "j3").string()});
  EXPECT_EQ(one.exit_code, 1);  // an evaluator error outweighs a failed check
  EXPECT_EQ(three.exit_code, 1);
  EXPECT_EQ(three.err, one.err);
  EXPECT_EQ(WithoutTimes(three.out), WithoutTimes(one.out));
  const size_t range = one.err.find("Ymax must be more that Ymin");
  const size_t zero = one.err.find("Floating point division by zero");
  EXPECT_TRUE(range != std::string::npos && zero != std::string::npos && range < zero) << one.err;
  EXPECT_TRUE(Tree(dir / "j1") == Tree(dir / "j3"));
}

TEST_F(RunBatch, TableJsonAndSheetFileGiveTheSameSummary) {
  const std::string db = BRELONA_DATA "/Problems.d";
  const std::string name = "Simple eutectic";
  calc::ProblemInput p;
  for (const calc::ProblemInput& q : problem::ReadProblemTable(db)) {
    if (q.ProblemName == name) p = q;
  }
  ASSERT_EQ(p.ProblemName, name);
  const nlohmann::json record = {{"ProblemName", p.ProblemName},
                                 {"Functs", p.Functs},
                                 {"Yparameter", "Temperature, K"},
                                 {"Ymin", p.Ymin},
                                 {"Ymax", p.Ymax},
                                 {"Zparameter", p.Zparameter},
                                 {"Zvalue", p.Zvalue},
                                 {"XPoints", p.XPoints},
                                 {"YPoints", p.YPoints},
                                 {"ShowMosaicDiagram", true},
                                 {"ShowChart", true}};
  std::ofstream(dir / "one.json") << record.dump(2);
  std::ofstream(dir / "list.json") << nlohmann::json::array({record, record}).dump();
  std::ofstream(dir / (name + ".txt"), std::ios::binary) << p.Functs;
  auto num = [](double v) {
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
  };

  const std::vector<std::vector<std::string>> runs = {
      {"run", db, "--problem", name},
      {"run", (dir / "one.json").string()},
      {"run", (dir / "list.json").string(), "--problem", name},
      {"run", (dir / (name + ".txt")).string(), "--y", "temperature", "--ymin", num(p.Ymin),
       "--ymax", num(p.Ymax), "--z", num(p.Zvalue), "--xpoints", std::to_string(p.XPoints),
       "--ypoints", std::to_string(p.YPoints)},
  };
  std::vector<std::map<std::string, std::string>> trees;
  for (size_t k = 0; k < runs.size(); ++k) {
    std::vector<std::string> args = runs[k];
    args.insert(args.end(), {"--out", (dir / std::to_string(k)).string()});
    const cli_test::Result r = Calc(args);
    ASSERT_EQ(r.exit_code, 0) << args[1] << "\n" << r.err;
    EXPECT_EQ(r.out.rfind(name + ": ", 0), 0u) << r.out;
    trees.push_back(Tree(dir / std::to_string(k)));
    EXPECT_EQ(trees[k].at("summary.json"), trees[0].at("summary.json")) << args[1];
    EXPECT_EQ(trees[k].at("cells.csv"), trees[0].at("cells.csv")) << args[1];
  }
  // A list needs a name; a sheet needs its range.
  EXPECT_EQ(Calc({"run", (dir / "list.json").string()}).exit_code, 2);
  const cli_test::Result no_range = Calc({"run", (dir / (name + ".txt")).string(), "--ymin", "1"});
  EXPECT_EQ(no_range.exit_code, 2);
  EXPECT_NE(no_range.err.find("a phase-sheet file needs --ymin and --ymax"), std::string::npos);

  // A sheet's error names its line, the line's key and the column.
  { std::ofstream(dir / "bad.txt") << "GL = 0\n% note\n  GS = 10*(X - 0.5)^2 + FOO(X)\n"; }
  const cli_test::Result bad = Calc({"run", (dir / "bad.txt").string(), "--ymin", "400", "--ymax",
                                     "800", "--out", (dir / "bad").string()});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.err.rfind("error: line 3 (GS), column 25: Error parsing expression:\n", 0), 0u)
      << bad.err;
}

}  // namespace
