// brelona-calc import-tdb, run as the real program.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/run_cli.h"
#include "tests/store/store_test_util.h"

namespace {

using store_test::ReadFile;
using store_test::TempDir;

cli_test::Result Calc(const std::vector<std::string>& args) {
  return cli_test::Run(BRELONA_CALC, args);
}

TEST(CliImportTdb, AddsTheProblemSaysWhatItSkippedAndRunsIt) {
  TempDir dir;
  const std::string db = dir.File("tdb.d");
  const std::string tdb = BRELONA_SOURCE_DIR "/data/tdb/cumg.tdb";
  auto r = Calc({"import-tdb", tdb, "--components", "cu", "mg", "--db", db, "--name", "Cu-Mg"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err.find("skipped phase"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "added problem 'Cu-Mg' to " + db +
                       ": phases LIQUID, FCC_A1, HCP_A3, CU2MG, CUMG2; Y 550..1500 K\n");

  // The same name again is refused and the database keeps one problem.
  r = Calc({"import-tdb", tdb, "--components", "CU", "MG", "--db", db, "--name", "Cu-Mg"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.substr(r.err.find("error: ")),
            "error: " + db + " already holds a problem named 'Cu-Mg'\n");
  EXPECT_EQ(Calc({"list", db}).out, "Cu-Mg\n");

  // A name longer than the table's 80-character field is cut, and said so, before it is
  // compared: the second import of it is refused (it was stored twice, cut without a word).
  const std::string longName(100, 'N'), cut(80, 'N');
  r = Calc({"import-tdb", tdb, "--components", "cu", "mg", "--db", db, "--name", longName});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("note: the problem name is cut to the 80 characters " + db + " holds: '" +
                       cut + "'\n"),
            std::string::npos)
      << r.err;
  r = Calc({"import-tdb", tdb, "--components", "cu", "mg", "--db", db, "--name", longName});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("already holds a problem named '" + cut + "'"), std::string::npos);
  EXPECT_EQ(Calc({"list", db}).out, "Cu-Mg\n" + cut + "\n");

  // The run names the components in its summary.
  r = Calc({"run", db, "--all", "--out", dir.File("out"), "--xpoints", "40", "--ypoints", "40"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string summary = ReadFile(dir.File("out/Cu-Mg/summary.json"));
  EXPECT_NE(summary.find("\"components\": {\n    \"A\": \"CU\",\n    \"B\": \"MG\",\n    \"X\": "
                         "\"mole fraction of MG\""),
            std::string::npos)
      << summary.substr(0, 200);
}

TEST(CliImportTdb, JsonTargetIsReadByDbImport) {
  TempDir dir;
  const std::string json = dir.File("p.json");
  const std::string tdb = BRELONA_SOURCE_DIR "/data/tdb/pbsn.tdb";
  for (const char* name : {"one", "two"}) {
    auto r = Calc({"import-tdb", tdb, "--components", "PB", "SN", "--json", json, "--name", name,
                   "--phases", "liquid,fcc_a1", "--tmin", "400", "--tmax", "700"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("note: not selected: BCT_A5\n"), std::string::npos) << r.err;
  }
  ASSERT_EQ(Calc({"db-import", json, dir.File("p.d")}).exit_code, 0);
  EXPECT_EQ(Calc({"list", dir.File("p.d")}).out, "one\ntwo\n");
  const std::string text = ReadFile(json);
  EXPECT_NE(text.find("\"Ymin\": 400.0"), std::string::npos);
  EXPECT_EQ(text.find("GBCT_A5="), std::string::npos);
}

// A file name that is not UTF-8 (Latin-1 here) made both targets refuse the import with a
// JSON library's or the table's encoding error.
TEST(CliImportTdb, FileNameThatIsNotUtf8) {
  TempDir dir;
  const std::string tdb = dir.File("p\xE9sn.tdb");
  store_test::WriteFile(tdb, ReadFile(BRELONA_SOURCE_DIR "/data/tdb/pbsn.tdb"));
  for (const std::string target : {"--json", "--db"}) {
    const std::string out = dir.File(target == "--db" ? "p.d" : "p.json");
    auto r = Calc({"import-tdb", tdb, "--components", "PB", "SN", target, out});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("added problem 'PB-SN (p\\xE9sn.tdb)'"), std::string::npos) << r.out;
  }
}

TEST(CliImportTdb, BadArgumentsAndFiles) {
  const std::string tdb = BRELONA_SOURCE_DIR "/data/tdb/pbsn.tdb";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string err_tail;
  } cases[] = {
      {{"import-tdb", tdb}, 2, ""},
      {{"import-tdb", tdb, "--components", "PB"}, 2, ""},
      {{"import-tdb", tdb, "--components", "PB", "SN", "--tmin", "abc"}, 2, ""},
      {{"import-tdb", tdb, "--components", "PB", "CU"},
       1,
       "error: element CU is not in the database (it has PB, SN)\n"},
      {{"import-tdb", tdb, "--components", "PB", "SN", "--phases", "HCP_A3"},
       1,
       "error: phase HCP_A3 is not a phase of PB-SN (there are LIQUID, FCC_A1, BCT_A5)\n"},
      {{"import-tdb", "/nonexistent.tdb", "--components", "PB", "SN"},
       1,
       "error: cannot read /nonexistent.tdb\n"},
  };
  for (const auto& c : cases) {
    auto r = Calc(c.args);
    EXPECT_EQ(r.exit_code, c.code) << c.args.back();
    if (!c.err_tail.empty()) {
      EXPECT_EQ(r.err, c.err_tail);
    }
  }
}

}  // namespace
