// The problem reader: records of a table, of JSON text and of a sheet file, each against values
// written independently of the reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "problem/problem_reader.h"
#include "problem/problem_table.h"
#include "tests/store/store_test_util.h"

namespace problem {
namespace {

const std::string kData = std::string(BRELONA_SOURCE_DIR) + "/data/";

void ExpectSame(const calc::ProblemInput& a, const calc::ProblemInput& b) {
  EXPECT_EQ(a.ProblemName, b.ProblemName);
  EXPECT_EQ(a.Functs, b.Functs);
  EXPECT_EQ(a.Yparameter, b.Yparameter);
  EXPECT_EQ(a.Ymin, b.Ymin);
  EXPECT_EQ(a.Ymax, b.Ymax);
  EXPECT_EQ(a.Zparameter, b.Zparameter);
  EXPECT_EQ(a.Zvalue, b.Zvalue);
  EXPECT_EQ(a.XPoints, b.XPoints);
  EXPECT_EQ(a.YPoints, b.YPoints);
  EXPECT_EQ(a.ShowMosaicDiagram, b.ShowMosaicDiagram);
  EXPECT_EQ(a.ShowChart, b.ShowChart);
}

TEST(ProblemTable, SampleDatabaseHasTheOneDefinition) {
  store::TMemTable t;
  t.SetTableName(kData + "Problems.d");
  t.Open();
  const std::vector<store::TFieldDef> defs = ProblemFieldDefs();
  ASSERT_EQ(t.FieldCount(), static_cast<int>(defs.size()));
  for (int i = 0; i < t.FieldCount(); ++i) {
    EXPECT_EQ(t.Fields(i).FieldName(), defs[i].Name);
    EXPECT_EQ(t.Fields(i).DataType(), defs[i].DataType);
    EXPECT_EQ(t.Fields(i).Size(), defs[i].Size) << defs[i].Name;
  }
}

TEST(ProblemReader, TableRecordReadsEveryFieldWhateverTheLetterCase) {
  store::TMemTable t;
  t.FieldDefs() = ProblemFieldDefs();
  for (auto& d : t.FieldDefs())
    std::transform(d.Name.begin(), d.Name.end(), d.Name.begin(), ::toupper);
  t.Open();
  struct Case {
    const char* y;
    calc::YParameter expected;
  };
  for (const Case& c :
       {Case{"Temperature, K", calc::YParameter::Temperature},
        Case{"Pressure, bar", calc::YParameter::Pressure},
        Case{"temperature, K", calc::YParameter::None}, Case{"", calc::YParameter::None}}) {
    t.Insert();
    t.FieldByName("PROBLEMNAME").SetAsString("Сплав");
    t.FieldByName("FUNCTS").SetAsString("GL = -T*Sid\r\nGS = 1000*X*(1-X)");
    t.FieldByName("YPARAMETER").SetAsString(c.y);
    t.FieldByName("YMIN").SetAsFloat(-2.5);
    t.FieldByName("YMAX").SetAsFloat(1e300);
    t.FieldByName("ZPARAMETER").SetAsString("T, K");
    t.FieldByName("ZVALUE").SetAsFloat(0.125);
    t.FieldByName("XPOINTS").SetAsInteger(2147483647);
    t.FieldByName("YPOINTS").SetAsInteger(-7);
    t.FieldByName("SHOWMOSAICDIAGRAM").SetAsBoolean(true);
    t.FieldByName("SHOWCHART").SetAsBoolean(false);
    t.Post();
    const calc::ProblemInput p = ReadProblem(t);
    ExpectSame(p, calc::ProblemInput{"Сплав", "GL = -T*Sid\r\nGS = 1000*X*(1-X)", c.expected, -2.5,
                                     1e300, "T, K", 0.125, 2147483647, -7, true, false});
  }
  t.Close();
  EXPECT_THROW(ReadProblem(t), store::EDatabaseError);
}

TEST(ProblemReader, MissingTableFieldRefusedOrLeftAtItsStart) {
  store::TMemTable t;
  t.FieldDefs() = ProblemFieldDefs();
  t.FieldDefs().erase(t.FieldDefs().begin() + 7);  // XPoints
  t.Open();
  t.Insert();
  t.FieldByName(kYPoints).SetAsInteger(5);
  t.Post();
  try {
    ReadProblem(t);
    ADD_FAILURE() << "no error";
  } catch (const store::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'XPoints' not found");
  }
  const calc::ProblemInput p = ReadProblem(t, MissingField::UseDefault);
  EXPECT_EQ(p.XPoints, calc::ProblemInput{}.XPoints);
  EXPECT_EQ(p.YPoints, 5);
}

// The sample problems two ways: the JSON they were imported from and the table they made.
TEST(ProblemReader, SampleJsonAndSampleTableGiveTheSameProblems) {
  std::vector<calc::ProblemInput> from_json = ReadProblemsJson(kData + "problems.json");
  const std::vector<calc::ProblemInput> from_table = ReadProblemTable(kData + "Problems.d");
  ASSERT_EQ(from_json.size(), 13u);  // nine hand-written systems and four imported from TDB
  ASSERT_EQ(from_json.size(), from_table.size());
  std::sort(from_json.begin(), from_json.end(),
            [](const auto& a, const auto& b) { return a.ProblemName < b.ProblemName; });
  for (std::size_t i = 0; i < from_json.size(); ++i) {
    SCOPED_TRACE(from_json[i].ProblemName);
    ExpectSame(from_json[i], from_table[i]);
  }
}

TEST(ProblemReader, JsonRecordFormsAndDefaults) {
  const std::string rec = R"({"functs": "GL=1", "YPARAMETER": "Pressure, bar", "Ymin": "-Infinity",
                              "Ymax": "Infinity", "Zvalue": 300, "extra": [1, 2]})";
  for (const std::string& text :
       {rec, "[" + rec + "]", R"({"fields": [], "records": [)" + rec + "]}"}) {
    SCOPED_TRACE(text);
    const std::vector<calc::ProblemInput> ps = ParseProblemsJson(text, "f.json");
    ASSERT_EQ(ps.size(), 1u);
    ExpectSame(ps[0], calc::ProblemInput{"", "GL=1", calc::YParameter::Pressure, -INFINITY,
                                         INFINITY, "T, K", 300, 100, 100, false, true});
  }
  EXPECT_TRUE(ParseProblemsJson(R"({"fields": [], "records": []})", "f.json").empty());
  EXPECT_TRUE(ParseProblemsJson(R"({"fields": []})", "f.json").empty());
  auto nan = ParseProblemsJson(R"({"Functs": null, "Yparameter": null, "Ymin": "NaN", "Ymax": null,
                                         "Zvalue": 1, "XPoints": null, "ShowChart": null})",
                               "f.json");
  EXPECT_TRUE(std::isnan(nan[0].Ymin));
  nan[0].Ymin = 0;
  ExpectSame(nan[0],
             calc::ProblemInput{"", "", calc::YParameter::None, 0, 0, "", 1, 0, 100, false, false});
}

TEST(ProblemReader, JsonFaultsNameTheFileRecordAndField) {
  const std::string good =
      R"("Functs": "GL=1", "Yparameter": "Temperature, K", "Ymin": 1, "Ymax": 2)";
  struct Case {
    std::string json;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"{" + good + "}", "f.json: field 'Zvalue': missing"},
      {R"([{"Functs": "", "Yparameter": "", "Ymin": 1, "Ymax": 2, "Zvalue": 1}, {)" + good +
           R"(, "zvalue": "1"}])",
       "f.json: record 2: field 'Zvalue': a number is expected"},
      {"{" + good + R"(, "Zvalue": 1, "XPoints": 18446744073709551615})",
       "f.json: field 'XPoints': the integer is out of range"},
      {"{" + good + R"(, "Zvalue": 1, "YPoints": -2147483649})",
       "f.json: field 'YPoints': the integer is out of range"},
      {"{" + good + R"(, "Zvalue": 1, "YPoints": 10.0})",
       "f.json: field 'YPoints': an integer is expected"},
      {"{" + good + R"(, "Zvalue": 1, "ymin": 3})",
       "f.json: field 'Ymin': given twice, as 'Ymin' and 'ymin'"},
      {"{" + good + R"(, "Zvalue": 1, "ProblemName": "a\u0000b"})",
       "f.json: field 'ProblemName': the text holds a NUL character"},
      {"{" + good + R"(, "Zvalue": 1, "ShowChart": 1})",
       "f.json: field 'ShowChart': true or false is expected"},
      {R"({"records": {}})", "f.json: \"records\" must be an array"},
      {R"([1])", "f.json: record 1: an object is expected"},
      {"42", "f.json: a record object, an array of them or an exported table is expected"},
  };
  for (const Case& c : cases) {
    try {
      ParseProblemsJson(c.json, "f.json");
      ADD_FAILURE() << "no error for " << c.json;
    } catch (const ProblemError& e) {
      EXPECT_EQ(e.what(), c.message) << c.json;
    }
  }
  EXPECT_THROW(ParseProblemsJson("{\"Functs\": ", "f.json"), ProblemError);
  EXPECT_THROW(ReadProblemsJson("/nonexistent/p.json"), ProblemError);
}

TEST(ProblemReader, SheetFileWithTheCallersRange) {
  store_test::TempDir dir;
  const std::string sheet = "% Сплав\nGL = -T*Sid\r\nGS = 0\n";
  store_test::WriteFile(dir.File("eutectic.sheet.txt"), "\xEF\xBB\xBF" + sheet);
  const calc::ProblemInput p = ReadSheetFile(dir.File("eutectic.sheet.txt"),
                                             {calc::YParameter::Pressure, 0.5, 2, 350, 30, 40});
  ExpectSame(p, calc::ProblemInput{"eutectic.sheet", sheet, calc::YParameter::Pressure, 0.5, 2,
                                   "T, K", 350, 30, 40, false, true});

  struct Case {
    std::string bytes;
    std::string message;
  };
  for (const Case& c : {Case{"GL=1\n\xC0\xEB", "not UTF-8 text (byte 6)"},
                        Case{"GL=1\xE2\x82", "not UTF-8 text (byte 5)"},
                        Case{"GL=\xED\xA0\x80", "not UTF-8 text (byte 4)"},
                        Case{std::string("GL=1\0", 5), "holds a NUL character (byte 5)"}}) {
    store_test::WriteFile(dir.File("bad.txt"), c.bytes);
    try {
      ReadSheetFile(dir.File("bad.txt"), {});
      ADD_FAILURE() << c.message;
    } catch (const ProblemError& e) {
      EXPECT_EQ(e.what(), dir.File("bad.txt") + ": " + c.message);
    }
  }
  EXPECT_THROW(ReadSheetFile(dir.File("missing.txt"), {}), ProblemError);
}

}  // namespace
}  // namespace problem
