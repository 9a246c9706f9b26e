// db-export, db-import and list, run as the real program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "store/memtable.h"
#include "tests/store/store_test_util.h"

namespace {

using Json = nlohmann::ordered_json;
using store_test::ReadFile;
using store_test::TempDir;
using store_test::WriteFile;

struct Result {
  int code;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Result Calc(const TempDir& dir, const std::vector<std::string>& args) {
  std::string cmd = BRELONA_CALC;
  for (const std::string& a : args) cmd += " " + Quote(a);
  cmd += " >" + dir.File("stdout.txt") + " 2>" + dir.File("stderr.txt");
  int st = std::system(cmd.c_str());
  Result r{WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadFile(dir.File("stdout.txt")),
           ReadFile(dir.File("stderr.txt"))};
  std::remove(dir.File("stdout.txt").c_str());
  std::remove(dir.File("stderr.txt").c_str());
  return r;
}

// Every type, one record with values and one with nothing set, in the exported form.
const char* kAllTypes = R"({
  "comment": "Задачи и фазы",
  "fields": [
    {"name": "s", "type": "smallint"}, {"name": "i", "type": "integer"},
    {"name": "a", "type": "autoinc"}, {"name": "b", "type": "boolean"},
    {"name": "f", "type": "float"}, {"name": "c", "type": "currency"},
    {"name": "d", "type": "date"}, {"name": "t", "type": "time"},
    {"name": "dt", "type": "datetime"}, {"name": "Name", "type": "string", "size": 12},
    {"name": "Long", "type": "string", "size": 300}, {"name": "m", "type": "memo"},
    {"name": "r", "type": "fmtmemo"}, {"name": "o", "type": "blob"},
    {"name": "g", "type": "graphic"}
  ],
  "records": [
    {"s": -5, "i": 123456, "a": 1, "b": true, "f": 1.5, "c": -2.25, "d": "2000-01-01",
     "t": "01:02:03.004", "dt": "2024-02-29T23:59:59.999", "Name": "Сплав Fe-C",
     "Long": "ёлка", "m": "Liq: x*(1-x)\r\nSol: 0", "r": "{\\rtf1}", "o": "AAEC/w==", "g": "Qk0="},
    {"s": 0, "i": 0, "a": 2, "b": false, "f": 0.0, "c": 0.0, "d": null, "t": "00:00:00.000",
     "dt": null, "Name": "", "Long": "", "m": "", "r": "", "o": "", "g": ""}
  ]
})";

TEST(CliDb, ImportThenExportGivesTheSameJson) {
  TempDir dir;
  WriteFile(dir.File("in.json"), kAllTypes);
  Result imp = Calc(dir, {"db-import", dir.File("in.json"), dir.File("t.d")});
  ASSERT_EQ(imp.code, 0) << imp.err;
  EXPECT_EQ(imp.out, "");
  Result exp = Calc(dir, {"db-export", dir.File("t.d")});
  ASSERT_EQ(exp.code, 0) << exp.err;
  EXPECT_EQ(Json::parse(exp.out), Json::parse(kAllTypes));
  // And once more through the exported text.
  WriteFile(dir.File("again.json"), exp.out);
  ASSERT_EQ(Calc(dir, {"db-import", dir.File("again.json"), dir.File("u.d")}).code, 0);
  EXPECT_EQ(Calc(dir, {"db-export", dir.File("u.d")}).out, exp.out);
  EXPECT_EQ(ReadFile(dir.File("u.d")), ReadFile(dir.File("t.d")));
}

TEST(CliDb, ImportBuildsTheFieldSectionAndRecordsOfTheEngine) {
  TempDir dir;
  WriteFile(dir.File("in.json"),
            R"({"comment": "", "fields": [{"name": "Problem Name", "type": "string", "size": 20},
                {"name": "Count", "type": "integer"}],
                "records": [{"Problem Name": "Ab", "Count": 7}, {"Count": 0}]})");
  ASSERT_EQ(Calc(dir, {"db-import", dir.File("in.json"), dir.File("t.d")}).code, 0);
  store_test::Bytes recs;
  recs.u8(2).u8(4).str("Ab").i32(7).u8(0).u8(0);
  const std::string section = "XXX.Problem_Name K\x12XXX.Count i\x12\x14";
  EXPECT_EQ(ReadFile(dir.File("t.d")), store_test::Image(2, 2, section, recs.b));
}

TEST(CliDb, OverwriteNeedsForce) {
  TempDir dir;
  WriteFile(dir.File("in.json"), kAllTypes);
  WriteFile(dir.File("t.d"), "keep me");
  Result r = Calc(dir, {"db-import", dir.File("in.json"), dir.File("t.d")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "error: " + dir.File("t.d") + " already exists (use --force to replace it)\n");
  EXPECT_EQ(ReadFile(dir.File("t.d")), "keep me");
  r = Calc(dir, {"db-import", "--force", dir.File("in.json"), dir.File("t.d")});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Calc(dir, {"db-export", dir.File("t.d")}).code, 0);
}

TEST(CliDb, ErrorsAndUsage) {
  TempDir dir;
  WriteFile(dir.File("bad.json"), "{\"fields\": [");
  WriteFile(dir.File("greek.json"),
            R"({"fields": [{"name": "N", "type": "string", "size": 9}], "records": [{"N": "αβ"}]})");
  WriteFile(dir.File("long.json"),
            R"({"fields": [{"name": "N", "type": "string", "size": 3}], "records": [{"N": "abcd"}]})");
  WriteFile(dir.File("type.json"), R"({"fields": [{"name": "N", "type": "text"}]})");
  WriteFile(dir.File("field.json"),
            R"({"fields": [{"name": "N", "type": "integer"}], "records": [{"M": 1}]})");
  WriteFile(dir.File("kind.json"),
            R"({"fields": [{"name": "N", "type": "integer"}], "records": [{"N": "1"}]})");
  WriteFile(dir.File("damaged.d"), std::string("\0\0\0\0S\0\0", 7));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string err;  // exact stderr, or a prefix ending in "..." for usage texts
  } cases[] = {
      {{"db-export", dir.File("none.d")},
       1,
       "error: Error opening file " + dir.File("none.d") + "\n"},
      {{"db-export", dir.File("damaged.d")},
       1,
       "error: Error opening table: Buffer structure corruption!\n"},
      {{"list", dir.File("damaged.d")},
       1,
       "error: Error opening table: Buffer structure corruption!\n"},
      // A JSON file is read as problems, and says what a problem lacks.
      {{"list", dir.File("field.json")},
       1,
       "error: " + dir.File("field.json") + ": record 1: field 'Functs': missing\n"},
      {{"db-import", dir.File("greek.json"), dir.File("g.d")},
       1,
       "error: Text for field 'N' holds the character 'α' (U+03B1), which the Windows-1251 code "
       "page cannot store\n"},
      {{"db-import", dir.File("long.json"), dir.File("g.d")},
       1,
       "error: record 1, field 'N': the text is longer than the field size 3\n"},
      {{"db-import", dir.File("type.json"), dir.File("g.d")},
       1,
       "error: field 'N': unknown type 'text'\n"},
      {{"db-import", dir.File("field.json"), dir.File("g.d")},
       1,
       "error: record 1: Field 'M' not found\n"},
      {{"db-import", dir.File("kind.json"), dir.File("g.d")},
       1,
       "error: record 1, field 'N': an integer is expected\n"},
      {{"db-import", dir.File("bad.json"), dir.File("g.d")},
       1,
       "error: " + dir.File("bad.json") + ": ..."},
      {{"db-import", dir.File("none.json"), dir.File("g.d")},
       1,
       "error: cannot read " + dir.File("none.json") + "\n"},
      {{"db-export"}, 2, "error: missing file\nusage: brelona-calc db-export FILE.d\n"},
      {{"db-export", "a.d", "b.d"},
       2,
       "error: unexpected argument b.d\nusage: brelona-calc db-export FILE.d\n"},
      {{"db-import", "a.json"}, 2, "error: missing file\nusage: ..."},
      {{"db-import", "a.json", "b.d", "--frce"},
       2,
       "error: unknown option --frce; did you mean '--force'?\n"
       "usage: brelona-calc db-import FILE.json FILE.d [--force]\n"},
      {{"list"}, 2, "error: missing file\nusage: brelona-calc list FILE.d\n"},
      {{"lst", "a.d"}, 2, "brelona-calc: unknown command 'lst'\ndid you mean 'list'?\n..."},
      {{"export", "a.d"}, 2, "brelona-calc: unknown command 'export'\nusage: ..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    Result r = Calc(dir, c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, "");
    if (c.err.size() > 3 && c.err.compare(c.err.size() - 3, 3, "...") == 0)
      EXPECT_EQ(r.err.substr(0, c.err.size() - 3), c.err.substr(0, c.err.size() - 3));
    else
      EXPECT_EQ(r.err, c.err);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("g.d")));  // nothing half-made is left
  for (const char* command : {"eval", "db-export", "db-import", "list", "run"}) {
    const Result r = Calc(dir, {command, "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("usage: brelona-calc " + std::string(command) + " ", 0), 0u) << r.out;
  }
  const Result version = Calc(dir, {"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "brelona-calc " BRELONA_VERSION "\n");
}

TEST(CliDb, ListPrintsNamesInViewOrder) {
  TempDir dir;
  WriteFile(dir.File("in.json"),
            R"({"fields": [{"name": "ProblemName", "type": "string", "size": 30},
                           {"name": "Ymin", "type": "float"}],
                "records": [{"ProblemName": "b"}, {"ProblemName": "Яблоко"}, {"ProblemName": "B"},
                            {"ProblemName": "Ba"}, {"ProblemName": ""}, {"ProblemName": "ёж"}]})");
  ASSERT_EQ(Calc(dir, {"db-import", dir.File("in.json"), dir.File("p.d")}).code, 0);
  Result r = Calc(dir, {"list", dir.File("p.d")});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "\nB\nBa\nb\nёж\nЯблоко\n");
  // Export keeps store order.
  Json j = Json::parse(Calc(dir, {"db-export", dir.File("p.d")}).out);
  EXPECT_EQ(j["records"][0]["ProblemName"], "b");
  EXPECT_EQ(j["records"][5]["ProblemName"], "ёж");
  EXPECT_EQ(j["records"][0]["Ymin"], 0.0);
}

}  // namespace
