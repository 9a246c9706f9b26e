// The JSON form of a table and the sorted listing, both read without opening the table, checked
// against the opened table and against a second round trip.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "store/memtable.h"
#include "store/sorted_list.h"
#include "store/table_json.h"
#include "store_test_util.h"

namespace store {
namespace {

using store_test::TempDir;
using store_test::WriteFile;

std::string Export(const std::string& file) {
  std::string out;
  ExportTableJson(file, [&](std::string_view s) { out += s; });
  return out;
}

std::string Import(const TempDir& dir, const std::string& json, const std::string& name = "t.d") {
  WriteFile(dir.File("in.json"), json);
  ImportTableJson(dir.File("in.json"), dir.File(name));
  return dir.File(name);
}

TEST(TableJson, HostileValuesSurviveTwoRoundTrips) {
  TempDir dir;
  const std::string file = Import(dir, R"({"comment": "", "fields": [
      {"name": "n", "type": "autoinc"}, {"name": "A", "type": "integer"},
      {"name": "a", "type": "float"}, {"name": "m", "type": "memo"}],
    "records": [{"n": 7, "A": 1, "a": "NaN", "m": "x"},
                {"n": 3, "a": 2, "A": -2147483648, "m": null},
                {"a": "-Infinity"}, {"n": null, "a": "Infinity", "M": "y"}]})");
  const std::string json = Export(file);
  const auto doc = nlohmann::json::parse(json);
  // Counter order as an opened table holds it; records without a value count on from 7.
  const auto& r = doc["records"];
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], nlohmann::json::parse(R"({"n": 3, "A": -2147483648, "a": 2.0, "m": ""})"));
  EXPECT_EQ(r[1], nlohmann::json::parse(R"({"n": 7, "A": 1, "a": "NaN", "m": "x"})"));
  EXPECT_EQ(r[2], nlohmann::json::parse(R"({"n": 8, "A": 0, "a": "-Infinity", "m": ""})"));
  EXPECT_EQ(r[3], nlohmann::json::parse(R"({"n": 9, "A": 0, "a": "Infinity", "m": "y"})"));
  // The opened table agrees, and a second trip gives the same text.
  TMemTable t;
  t.SetTableName(file);
  t.Open();
  EXPECT_EQ(t.FieldByName("n").AsInteger(), 3);
  EXPECT_EQ(Export(Import(dir, json, "u.d")), json);
}

TEST(TableJson, ImportRefusesWhatWouldChangeOrCutAValue) {
  const std::string fields = R"("fields": [{"name": "i", "type": "integer"},
      {"name": "w", "type": "smallint"}, {"name": "s", "type": "string", "size": 5},
      {"name": "m", "type": "memo"}])";
  struct Case {
    std::string records;
    std::string message;
  };
  const std::vector<Case> cases = {
      {R"({"i": 18446744073709551615})", "record 1, field 'i': the integer is out of range"},
      {R"({"i": 2147483648})", "record 1, field 'i': the integer is out of range"},
      {R"({"i": -2147483649})", "record 1, field 'i': the integer is out of range"},
      {R"({"w": 32768})",
       "32768 is not a valid value for field 'w'. The allowed range is -32768 to 32767"},
      {R"({"s": "a\u0000b"})", "record 1, field 's': the text holds a NUL character"},
      {R"({}, {"m": "x\u0000"})", "record 2, field 'm': the text holds a NUL character"},
      {R"({"i": 1, "I": 2})", "record 1: field 'i' is given twice"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    try {
      Import(dir, "{" + fields + R"(, "records": [)" + c.records + "]}");
      ADD_FAILURE() << "imported " << c.records;
    } catch (const std::exception& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("t.d"))) << c.records;
  }
  TempDir dir;
  EXPECT_THROW(
      Import(dir,
             R"({"fields": [{"name": "x", "type": "integer"}, {"name": "x", "type": "float"}]})"),
      ETableJsonError);
}

TEST(TableJson, CounterAtItsLimitRefusesTheNextRecord) {
  TempDir dir;
  TMemTable t;
  t.SetTableName(Import(
      dir, R"({"fields": [{"name": "n", "type": "autoinc"}, {"name": "s", "type": "integer"}],
                                 "records": [{"n": 2147483646}]})"));
  t.Open();
  t.Insert();
  t.Post();
  EXPECT_EQ(t.FieldByName("n").AsInteger(), 2147483647);
  t.Insert();
  t.FieldByName("s").SetAsInteger(5);
  try {
    t.Post();
    ADD_FAILURE() << "posted past the limit";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(
        e.what(),
        "The auto-increment field 'n' has reached 2147483647; no further record can be added");
  }
  EXPECT_EQ(t.State(), dsInsert);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 2);
}

// The listing against the view of the opened table, for short and long text keys.
TEST(SortedList, SameOrderAsTheOpenedTable) {
  const std::vector<std::string> pool = {"",       "b",      "B", "Ba", "a", "ёж",
                                         "Яблоко", "яблоко", "Ё", "10", "1", "b "};
  std::mt19937 rng(7);
  for (int size : {20, 300}) {
    TempDir dir;
    TMemTable t;
    t.FieldDefs() = {{"Other", ftInteger, 0}, {"ProblemName", ftString, size}, {"m", ftMemo, 0}};
    t.Open();
    for (int i = 0; i < 200; ++i) {
      t.Insert();
      t.FieldByName("problemname")
          .SetAsString(pool[rng() % pool.size()] + pool[rng() % pool.size()]);
      t.Post();
    }
    t.SaveToFile(dir.File("t.d"));
    TMemTable v;
    v.SetTableName(dir.File("t.d"));
    v.SetIndexFieldNames("ProblemName");
    v.Open();
    std::string expected;
    for (v.First(); !v.Eof(); v.Next()) expected += v.FieldByName("ProblemName").AsString() + "\n";
    std::string listed;
    ASSERT_TRUE(
        WriteSortedTexts(dir.File("t.d"), "PROBLEMNAME", [&](std::string_view s) { listed += s; }));
    EXPECT_EQ(listed, expected) << size;
    for (const char* other : {"Other", "m", "missing"})
      EXPECT_FALSE(
          WriteSortedTexts(dir.File("t.d"), other, [&](std::string_view s) { listed += s; }));
  }
}

}  // namespace
}  // namespace store
