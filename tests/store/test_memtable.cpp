#include "store/memtable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "problem_table.h"
#include "store_test_util.h"

namespace store {
namespace {

using store_test::Bytes;
using store_test::Image;
using store_test::MakeProblemFile;
using store_test::Names;
using store_test::ReadFile;
using store_test::TempDir;
using store_test::WriteFile;
using Strings = std::vector<std::string>;

template <typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "<no error>";
}

class MemTableTest : public ::testing::Test {
 protected:
  void Open(const Strings& names, const std::string& index = "ProblemName") {
    MakeProblemFile(path, names);
    t.SetTableName(path);
    t.SetIndexFieldNames(index);
    t.Open();
  }
  TempDir dir;
  std::string path = dir.File("Problems.d");
  TMemTable t;
};

TEST_F(MemTableTest, OpenFailuresLeaveTheTableClosedWithoutStore) {
  MakeProblemFile(path, {"a"});
  t.SetTableName(path);
  t.Open();
  ASSERT_TRUE(t.HasStore());

  struct Case {
    const char* what;
    std::function<void()> prepare;
    std::string message;
  } cases[] = {
      {"missing file", [&] { t.SetTableName(dir.File("none.d")); },
       "Error opening file " + dir.File("none.d")},
      {"damaged file",
       [&] {
         WriteFile(dir.File("bad.d"), "\0\0\0\0S\0");
         t.SetTableName(dir.File("bad.d"));
       },
       "Error opening table: Buffer structure corruption!"},
      {"error image with a Cyrillic text",
       [&] {
         WriteFile(dir.File("e.d"), std::string("\0\0\0\0E\xCE\xF8\xE8\xE1\xEA\xE0", 11));
         t.SetTableName(dir.File("e.d"));
       },
       "Error opening table: Ошибка"},
      {"unknown key field",
       [&] {
         t.SetTableName(path);
         t.SetIndexFieldNames("ProblemName;Nope");
       },
       "Field 'Nope' not found"},
      {"memo key field",
       [&] {
         t.SetTableName(path);
         t.SetIndexFieldNames("functs");
       },
       "There are calc or BLOB fields in list of key fields"},
      {"no field definitions",
       [&] {
         t.SetTableName("");
         t.FieldDefs().clear();
       },
       "Error creating table (no field descriptions)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.Close();
    t.SetIndexFieldNames("");
    t.SetTableName(path);
    t.Open();  // a good table first, so that a failure must drop its store
    t.Close();
    c.prepare();
    EXPECT_EQ(MessageOf([&] { t.Open(); }), c.message);
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(t.State(), dsInactive);
    EXPECT_FALSE(t.HasStore());
    t.SaveToFile(dir.File("nothing.d"));  // no store: nothing is written
    EXPECT_FALSE(std::filesystem::exists(dir.File("nothing.d")));
  }
  // After a failed Open a good file opens normally.
  t.SetIndexFieldNames("ProblemName");
  t.SetTableName(path);
  t.Open();
  EXPECT_EQ(Names(t), Strings({"a"}));
}

TEST_F(MemTableTest, ChangingTheIndexOfAnOpenTable) {
  Open({"b", "c", "a"}, "");
  EXPECT_EQ(Names(t), Strings({"b", "c", "a"}));  // no index: store order
  t.SetIndexFieldNames("problemname");
  EXPECT_EQ(Names(t), Strings({"a", "b", "c"}));
  EXPECT_EQ(MessageOf([&] { t.SetIndexFieldNames("Functs"); }),
            "There are calc or BLOB fields in list of key fields");
  EXPECT_EQ(t.IndexFieldNames(), "problemname");
  t.SetSortOptions(vsoDescendSort);
  EXPECT_EQ(Names(t), Strings({"c", "b", "a"}));
}

TEST_F(MemTableTest, EmptyTable) {
  Open({});
  EXPECT_TRUE(t.Active());
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(t.RecNo(), 0);
  // Fields of no record read as empty / 0.
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "");
  EXPECT_EQ(t.FieldByName("Ymin").AsString(), "0");
  EXPECT_EQ(MessageOf([&] { t.Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST_F(MemTableTest, ViewOrder) {
  struct Case {
    const char* what;
    Strings names;
    TSortOptions opts;
    Strings expected;
  } cases[] = {
      {"byte order", {"b", "B", "Ba", ""}, 0, {"", "B", "Ba", "b"}},
      {"Cyrillic after Latin, Ё before the rest",
       {"Яблоко", "ёж", "Ёлка", "арбуз", "Zed", "apple", "9"},
       0,
       {"9", "Zed", "apple", "Ёлка", "ёж", "Яблоко", "арбуз"}},
      {"case-insensitive",
       {"Яблоко", "ёж", "Ёлка", "арбуз", "Zed", "apple", "9"},
       vsoCaseInsensitive,
       {"9", "apple", "Zed", "ёж", "Ёлка", "арбуз", "Яблоко"}},
      {"descending", {"b", "B", "Ba", ""}, vsoDescendSort, {"b", "Ba", "B", ""}},
      {"shorter first when the common part is equal", {"abc", "ab", "a", "abd"}, 0,
       {"a", "ab", "abc", "abd"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.Close();
    t.SetSortOptions(c.opts);
    Open(c.names);
    EXPECT_EQ(Names(t), c.expected);
  }
}

TEST_F(MemTableTest, ViewOrderByNumberBooleanAndLongStringKeys) {
  TMemTable m;
  m.FieldDefs() = {{"N", ftInteger, 0}, {"F", ftFloat, 0}, {"B", ftBoolean, 0},
                   {"L", ftString, 50}, {"S", ftSmallint, 0}};
  m.Open();
  struct Row {
    int n;
    double f;
    bool b;
    const char* l;
    int s;
  } rows[] = {{5, -1.5, false, "x", -3}, {-7, 2.0, true, "", 300}, {0, 0.25, true, "ab", 0},
              {2147483647, -1e300, false, "a", -32768}};
  for (const Row& r : rows) {
    m.Insert();
    m.FieldByName("N").SetAsInteger(r.n);
    m.FieldByName("F").SetAsFloat(r.f);
    m.FieldByName("B").SetAsBoolean(r.b);
    m.FieldByName("L").SetAsString(r.l);
    m.FieldByName("S").SetAsInteger(r.s);
    m.Post();
  }
  struct Case {
    const char* key;
    Strings expectedN;
  } cases[] = {
      {"N", {"-7", "0", "5", "2147483647"}},
      {"F", {"2147483647", "5", "0", "-7"}},
      {"B;N", {"-7", "0", "5", "2147483647"}},  // true before false
      {"L", {"-7", "2147483647", "0", "5"}},    // absent first
      {"S", {"2147483647", "5", "0", "-7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    m.SetIndexFieldNames(c.key);
    Strings got;
    for (m.First(); !m.Eof(); m.Next()) got.push_back(m.FieldByName("n").AsString());
    EXPECT_EQ(got, c.expectedN);
  }
}

TEST_F(MemTableTest, NewAndRenamedRecordsKeepTheirPlaceUntilOpen) {
  Open({"c", "a", "e"});
  EXPECT_EQ(Names(t), Strings({"a", "c", "e"}));
  t.Insert();
  t.FieldByName("ProblemName").SetAsString("b");
  t.Post();
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "b");  // current
  EXPECT_EQ(t.RecNo(), 4);
  t.First();
  t.Edit();
  t.FieldByName("ProblemName").SetAsString("z");
  t.Post();
  EXPECT_EQ(Names(t), Strings({"z", "c", "e", "b"}));
  t.SaveToFile(path);
  t.Close();
  t.Open();
  EXPECT_EQ(Names(t), Strings({"b", "c", "e", "z"}));
}

TEST_F(MemTableTest, DeleteMovesToTheFollowingRecord) {
  Open({"a", "b", "c"});
  t.First();
  t.Next();
  t.Delete();  // b: c follows
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "c");
  t.Delete();  // c was last: the new last record is current
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "a");
  EXPECT_EQ(t.RecNo(), 1);
  t.Delete();  // the only record
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(MessageOf([&] { t.Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST_F(MemTableTest, InsertThenDeleteCancelsTheInsert) {
  Open({"a", "b"});
  t.Last();
  t.Insert();
  t.FieldByName("ProblemName").SetAsString("new");
  t.Delete();
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.StoreCount(), 2);
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "b");  // the record before the Insert
}

TEST_F(MemTableTest, DeletingEverythingSavesAnEmptyImageWithTheSameSection) {
  MakeProblemFile(path, {"x", "y", "z"}, "Задачи");
  const std::string before = ReadFile(path);
  t.SetTableName(path);
  t.Open();
  for (t.First(); !t.Eof();) t.Delete();
  EXPECT_EQ(t.RecordCount(), 0);
  t.SaveToFile(dir.File("empty.d"));
  const std::string after = ReadFile(dir.File("empty.d"));
  // Header, section and comment unchanged except the record count and image length.
  const TTableLayout* lay = t.Layout();
  const std::size_t head = 17 + lay->section.size() + 3 + lay->comment.size();
  ASSERT_EQ(after.size(), head);
  EXPECT_EQ(after.substr(4, 1), "S");
  EXPECT_EQ(after.substr(5, 4), std::string(4, '\0'));
  EXPECT_EQ(after.substr(9, head - 9), before.substr(9, head - 9));
  EXPECT_EQ(t.TableComment(), "Задачи");
}

TEST_F(MemTableTest, SaveAfterCloseWritesTheSameImage) {
  Open({"b", "a"});
  t.First();
  t.Edit();
  t.FieldByName("Ymin").SetAsFloat(-3.25);
  t.Post();
  t.Next();
  t.Delete();
  t.Insert();
  t.FieldByName("ProblemName").SetAsString("c");
  t.Post();
  t.Edit();
  t.FieldByName("ProblemName").SetAsString("pending");  // dropped by Close
  t.SaveToFile(dir.File("open.d"));
  t.Close();
  EXPECT_TRUE(t.HasStore());
  t.SaveToFile(dir.File("closed.d"));
  EXPECT_EQ(ReadFile(dir.File("open.d")), ReadFile(dir.File("closed.d")));
  t.SetTableName(dir.File("closed.d"));
  t.Open();
  EXPECT_EQ(Names(t), Strings({"a", "c"}));
}

TEST_F(MemTableTest, UnchangedTableIsWrittenBackByteForByte) {
  MakeProblemFile(path, {"one", "two", "Три"}, "comment");
  t.SetTableName(path);
  t.SetIndexFieldNames("ProblemName");
  t.Open();
  t.SaveToFile(dir.File("copy.d"));
  EXPECT_EQ(ReadFile(dir.File("copy.d")), ReadFile(path));
}

TEST_F(MemTableTest, ValuesNeverSetAndTheirTexts) {
  Open({"p"});
  t.Insert();
  struct Case {
    const char* field;
    std::string text;
    bool null;
  } cases[] = {{"Ymin", "0", false},    {"XPoints", "0", false},     {"ShowChart", "False", false},
               {"ProblemName", "", true}, {"Functs", "", true},     {"Yparameter", "", true}};
  for (const Case& c : cases) {
    TField& f = t.FieldByName(c.field);
    EXPECT_EQ(f.AsString(), c.text) << c.field;
    EXPECT_EQ(f.IsNull(), c.null) << c.field;
  }
  EXPECT_EQ(t.FieldByName("Ymin").AsFloat(), 0.0);
  EXPECT_EQ(t.FieldByName("Ymin").DisplayText(), "0");
  EXPECT_EQ(t.FieldByName("XPoints").AsInteger(), 0);
  EXPECT_FALSE(t.FieldByName("ShowChart").AsBoolean());
}

TEST_F(MemTableTest, FieldLookupIgnoresLetterCase) {
  TMemTable m;
  m.FieldDefs() = {{"Yparameter", ftString, 20}, {"Имя", ftString, 10}};
  m.Open();
  EXPECT_EQ(m.FieldByName("YParameter").FieldName(), "Yparameter");
  EXPECT_EQ(m.FieldByName("YPARAMETER").Index(), 0);
  EXPECT_EQ(m.FieldByName("иМЯ").FieldName(), "Имя");
  EXPECT_EQ(m.FindField("Ω"), nullptr);
  EXPECT_EQ(MessageOf([&] { m.FieldByName("Nope"); }), "Field 'Nope' not found");
  ASSERT_EQ(m.FieldCount(), 2);
  EXPECT_EQ(m.Fields(1).DataType(), ftString);
  EXPECT_EQ(m.Fields(1).Size(), 10);
}

TEST_F(MemTableTest, OperationsOnAClosedTable) {
  Open({"a"});
  t.Close();
  const std::string closed = "Cannot perform this operation on a closed dataset";
  std::function<void()> ops[] = {[&] { t.First(); }, [&] { t.Next(); },   [&] { t.Prior(); },
                                 [&] { t.Last(); },  [&] { t.Insert(); }, [&] { t.Edit(); },
                                 [&] { t.Post(); },  [&] { t.Cancel(); }, [&] { t.Delete(); },
                                 [&] { t.SetRecNo(1); }};
  for (auto& op : ops) EXPECT_EQ(MessageOf(op), closed);
  EXPECT_EQ(MessageOf([&] { t.FieldByName("ProblemName"); }), "Field 'ProblemName' not found");
}

TEST_F(MemTableTest, NumberTextsWithBothSeparators) {
  Open({"p"});
  struct Case {
    char sep;
    const char* field;
    std::string in;
    std::string asString;  // or the error message
    std::string display;
  } cases[] = {
      {'.', "Ymin", "1.5", "1.5", "1.5"},
      {',', "Ymin", "1,5", "1,5", "1,5"},
      {',', "Ymin", "1.5", "'1.5' is not a valid floating point value for field 'Ymin'", ""},
      {'.', "Ymin", "1,5", "'1,5' is not a valid floating point value for field 'Ymin'", ""},
      {'.', "Ymin", "  -2.5e3 ", "-2500", "-2500"},
      {'.', "Ymin", "0.1234567", "0.1234567", "0.123457"},
      {',', "Ymin", "0,1234567", "0,1234567", "0,123457"},
      {'.', "Zvalue", "abc", "'abc' is not a valid floating point value for field 'Zvalue'", ""},
      {'.', "Zvalue", "", "0", "0"},
      {'.', "XPoints", " 42 ", "42", "42"},
      {'.', "XPoints", "4.5", "'4.5' is not a valid integer value for field 'XPoints'", ""},
      {'.', "XPoints", "99999999999", "'99999999999' is not a valid integer value for field 'XPoints'", ""},
      {'.', "ShowChart", "t", "True", "True"},
      {'.', "ShowChart", "FALSE", "False", "False"},
      {'.', "ShowChart", "yes", "'yes' is not a valid boolean value for field 'ShowChart'", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " <- " + c.in + " sep " + c.sep);
    t.SetDecimalSeparator(c.sep);
    t.First();
    t.Edit();
    TField& f = t.FieldByName(c.field);
    const bool isBool = c.field == std::string("ShowChart");
    f.SetAsString(isBool ? "True" : "7");
    std::string err = MessageOf([&] { f.SetAsString(c.in); });
    if (err == "<no error>") {
      EXPECT_EQ(f.AsString(), c.asString);
      EXPECT_EQ(f.DisplayText(), c.display);
    } else {
      EXPECT_EQ(err, c.asString);
      EXPECT_EQ(f.AsString(), isBool ? "True" : "7");  // unchanged
    }
    t.Cancel();
  }
}

TEST_F(MemTableTest, ConversionsBetweenKinds) {
  Open({"p"});
  t.Edit();
  TField& ymin = t.FieldByName("Ymin");
  TField& xp = t.FieldByName("XPoints");
  TField& name = t.FieldByName("ProblemName");
  ymin.SetAsInteger(3);
  EXPECT_EQ(ymin.AsFloat(), 3.0);
  ymin.SetAsFloat(2.5);
  EXPECT_EQ(ymin.AsInteger(), 2);  // to nearest, ties to even
  xp.SetAsFloat(3.5);
  EXPECT_EQ(xp.AsInteger(), 4);
  name.SetAsInteger(12);
  EXPECT_EQ(name.AsInteger(), 12);
  EXPECT_EQ(MessageOf([&] { ymin.SetAsFloat(std::nan("")); }),
            "'NAN' is not a valid floating point value for field 'Ymin'");
  EXPECT_EQ(MessageOf([&] { xp.SetAsFloat(1e12); }),
            "'1000000000000' is not a valid integer value for field 'XPoints'");
  EXPECT_EQ(MessageOf([&] { (void)t.FieldByName("ShowChart").AsFloat(); }),
            "Cannot access field 'ShowChart' as type Float");
}

TEST_F(MemTableTest, WritingNeedsEditModeAndAWritableField) {
  Open({"p"});
  EXPECT_EQ(MessageOf([&] { t.FieldByName("Ymin").SetAsFloat(1); }),
            "Table is not in edit or insert mode");
  EXPECT_EQ(MessageOf([&] { TMemBlobStream s(t.FieldByName("Functs"), TMemBlobStream::bmWrite); }),
            "Table is not in edit or insert mode");
  t.FieldByName("Zparameter").SetReadOnly(true);
  t.Edit();
  EXPECT_EQ(MessageOf([&] { t.FieldByName("zparameter").SetAsString("x"); }),
            "Field 'Zparameter' is read only!");
  EXPECT_FALSE(t.Modified());
}

TEST_F(MemTableTest, TextsTheCodePageCannotHoldAreRefused) {
  Open({"p"});
  t.Edit();
  TField& name = t.FieldByName("ProblemName");
  name.SetAsString("Сплав Fe-C");
  t.Post();
  t.Edit();
  EXPECT_EQ(MessageOf([&] { name.SetAsString("α-Fe"); }),
            "Text for field 'ProblemName' holds the character 'α' (U+03B1), which the "
            "Windows-1251 code page cannot store");
  EXPECT_EQ(MessageOf([&] { t.FieldByName("Functs").SetAsString("L: x*(1-x)\n☃"); }),
            "Text for field 'Functs' holds the character '☃' (U+2603), which the Windows-1251 "
            "code page cannot store");
  EXPECT_FALSE(t.Modified());
  EXPECT_EQ(name.AsString(), "Сплав Fe-C");
  EXPECT_EQ(name.AsBytes(), "\xD1\xEF\xEB\xE0\xE2 Fe-C");  // Windows-1251 in the store
}

TEST_F(MemTableTest, StringsHoldAtMostTheirSize) {
  TMemTable m;
  m.FieldDefs() = {{"S", ftString, 3}, {"L", ftString, 40}};
  m.Open();
  m.Insert();
  m.FieldByName("S").SetAsString("абвгд");
  m.FieldByName("L").SetAsString(std::string(50, 'x'));
  EXPECT_EQ(m.FieldByName("S").AsString(), "абв");
  EXPECT_EQ(m.FieldByName("L").AsString(), std::string(40, 'x'));
}

TEST_F(MemTableTest, RecordStates) {
  Open({"a", "b", "c"});
  t.First();
  EXPECT_EQ(t.RecordState(), rsUnchanged);
  t.Edit();
  t.FieldByName("Ymin").SetAsFloat(1);
  t.Post();
  EXPECT_EQ(t.RecordState(), rsChanged);
  t.Insert();
  EXPECT_EQ(t.RecordState(), rsInserted);
  t.FieldByName("ProblemName").SetAsString("d");
  t.Post();
  EXPECT_EQ(t.RecordState(), rsInserted);
  t.Delete();  // inserted -> removed
  t.First();
  t.Delete();  // changed -> deleted
  t.Delete();  // unchanged -> deleted
  ASSERT_EQ(t.StoreCount(), 4);
  std::vector<TRecordState> states;
  for (int i = 0; i < 4; ++i) states.push_back(t.StoreState(i));
  EXPECT_EQ(states, (std::vector<TRecordState>{rsDeleted, rsDeleted, rsUnchanged, rsRemoved}));
  EXPECT_EQ(Names(t), Strings({"c"}));
  t.SaveToFile(path);
  t.Close();
  t.Open();
  EXPECT_EQ(Names(t), Strings({"c"}));
  EXPECT_EQ(t.StoreCount(), 1);
}

TEST_F(MemTableTest, CancelDropsPendingValues) {
  Open({"a", "b"});
  t.First();
  t.Edit();
  t.FieldByName("ProblemName").SetAsString("zz");
  EXPECT_TRUE(t.Modified());
  EXPECT_EQ(t.TextAt(1, 0), "zz");  // the list shows the pending text of the current record
  t.Cancel();
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "a");
  EXPECT_EQ(t.RecordState(), rsUnchanged);
  EXPECT_EQ(t.State(), dsBrowse);
  // Cancel of an insert returns to the record that was current.
  t.Last();
  t.Insert();
  t.Cancel();
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "b");
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST_F(MemTableTest, MovingAwayPostsOrCancels) {
  Open({"a", "b"});
  t.First();
  t.Edit();
  t.Next();  // nothing changed: cancelled
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(t.RecordState(), rsUnchanged);
  t.Edit();
  t.FieldByName("Ymin").SetAsFloat(9);
  t.First();  // changed: posted
  t.Last();
  EXPECT_EQ(t.FieldByName("Ymin").AsFloat(), 9.0);
  EXPECT_EQ(t.RecordState(), rsChanged);
  // An insert without a change is dropped by a move, with a change it is posted.
  t.Insert();
  t.First();
  EXPECT_EQ(t.RecordCount(), 2);
  t.Insert();
  t.FieldByName("ProblemName").SetAsString("c");
  t.First();
  EXPECT_EQ(t.RecordCount(), 3);
}

TEST_F(MemTableTest, EditOnAnEmptyTableStartsAnInsert) {
  Open({});
  t.Edit();
  EXPECT_EQ(t.State(), dsInsert);
}

TEST_F(MemTableTest, NavigationMarks) {
  Open({"a", "b"});
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  t.Next();
  EXPECT_FALSE(t.Bof());
  EXPECT_FALSE(t.Eof());
  t.Next();  // past the end: stays on the last record
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "b");
  t.Prior();
  EXPECT_FALSE(t.Eof());
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "a");
  t.SetRecNo(2);
  EXPECT_EQ(t.RecNo(), 2);
  t.Last();
  EXPECT_TRUE(t.Eof());
}

TEST_F(MemTableTest, BlobStreams) {
  Open({"p"});
  t.Edit();
  TField& functs = t.FieldByName("Functs");
  {
    TMemBlobStream w(functs, TMemBlobStream::bmWrite);
    w.Write("Liq: 0\r\n", 8);
    w.Write("Sol: 1", 6);
  }
  EXPECT_EQ(functs.AsString(), "Liq: 0\r\nSol: 1");
  TMemBlobStream r(functs, TMemBlobStream::bmRead);
  char buf[4];
  EXPECT_EQ(r.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "Liq:");
  EXPECT_EQ(r.Size(), 14u);
  {
    TMemBlobStream w(functs, TMemBlobStream::bmWrite);  // no bytes: the value is empty
  }
  EXPECT_TRUE(functs.IsNull());
  EXPECT_EQ(r.Bytes(), "Liq: 0\r\nSol: 1");  // a read stream holds its own copy
  t.Post();
  t.SaveToFile(path);
  t.Close();
  t.Open();
  EXPECT_TRUE(t.FieldByName("Functs").IsNull());
}

TEST_F(MemTableTest, TableNameAndLoadMode) {
  Open({"a"});
  t.SetTableName(path);  // same name: nothing
  EXPECT_TRUE(t.Active());
  t.SetTableName(dir.File("other.d"));
  EXPECT_FALSE(t.Active());
  EXPECT_TRUE(t.HasStore());
  EXPECT_EQ(t.LoadMode(), lmFile);
  t.SetTableName("");
  EXPECT_EQ(t.LoadMode(), lmClear);
  // Create-like flow: the new empty database gets the section and comment of the old one.
  t.SetTableName(path);
  t.Open();
  t.SetTableComment("c");
  t.SetTableName(dir.File("new.d"));
  t.SaveToFile(dir.File("new.d"));
  t.Open();
  EXPECT_EQ(t.RecordCount(), 1);  // the store went to the new file too
}

TEST_F(MemTableTest, SaveOptions) {
  Open({"c", "a", "b"});
  const std::string original = ReadFile(path);
  t.SetSaveOptions(savAutoBackup | savSortOnIndex);
  t.SaveToFile(path);
  EXPECT_EQ(ReadFile(dir.File("Problems.~d")), original);
  // Store order on disk is now index order: read it back without an index.
  TMemTable plain;
  plain.SetTableName(path);
  plain.Open();
  EXPECT_EQ(Names(plain), Strings({"a", "b", "c"}));
  // A closed table sorts on its index too (the database commands save closed tables).
  t.Close();
  t.SetIndexFieldNames("ProblemName");
  t.SetSortOptions(vsoCaseInsensitive);
  t.SaveToFile(dir.File("closed.d"));
  TMemTable closedBack;
  closedBack.SetTableName(dir.File("closed.d"));
  closedBack.Open();
  EXPECT_EQ(Names(closedBack), Strings({"a", "b", "c"}));
  t.SetSortOptions(0);
  t.Open();
  // The slow mode writes the same bytes.
  t.SetSaveOptions(savSlowMode);
  t.SaveToFile(dir.File("slow.d"));
  t.SetSaveOptions(0);
  t.SaveToFile(dir.File("fast.d"));
  EXPECT_EQ(ReadFile(dir.File("slow.d")), ReadFile(dir.File("fast.d")));
  // A name without an extension gets one for the backup.
  t.SetSaveOptions(savAutoBackup);
  t.SaveToFile(dir.File("noext"));
  t.SaveToFile(dir.File("noext"));
  EXPECT_EQ(ReadFile(dir.File("noext.~d")), ReadFile(dir.File("noext")));
}

TEST_F(MemTableTest, AutoIncrementCountsOnFromTheHighestLoadedValue) {
  // Records stored out of counter order, with counters 5 and 2.
  std::string section = "XXX.Id a\x12XXX.Name 5\x12\x14";
  std::string recs = Bytes().u8(4).u8(1).i32(5).str("x").u8(4).u8(1).i32(2).str("y").b;
  WriteFile(path, Image(2, 2, section, recs));
  TMemTable m;
  m.SetTableName(path);
  m.Open();
  Strings order;
  for (m.First(); !m.Eof(); m.Next()) order.push_back(m.FieldByName("Name").AsString());
  EXPECT_EQ(order, Strings({"y", "x"}));  // sorted by the counter at load
  m.Insert();
  m.FieldByName("Id").SetAsInteger(100);  // ignored
  EXPECT_EQ(m.FieldByName("Id").AsInteger(), 0);
  m.FieldByName("Name").SetAsString("z");
  m.Post();
  EXPECT_EQ(m.FieldByName("Id").AsInteger(), 6);
  m.Insert();
  m.FieldByName("Name").SetAsString("w");
  m.Post();
  EXPECT_EQ(m.FieldByName("Id").AsInteger(), 7);
}

TEST_F(MemTableTest, FurtherFieldsAreCarriedAlong) {
  // A table with a field the program does not use, a foreign prefix and a date.
  std::string section = "ABC.ProblemName 9\x12XXX.Extra d\x12XXX.When t\x12XXX.At v\x12\x14";
  std::string recs = Bytes().u8(1).u8(4).u8(8).u8(4).str("q").i32(730120)
                         .f64(730120.0 * 86400000 + 3723004).i32(45296789).b;
  WriteFile(path, Image(1, 4, section, recs));
  t.SetTableName(path);
  t.Open();
  EXPECT_EQ(t.FieldByName("Extra").AsString(), "2000-01-01");
  EXPECT_EQ(t.FieldByName("When").AsString(), "2000-01-01T01:02:03.004");
  EXPECT_EQ(t.FieldByName("At").AsString(), "12:34:56.789");
  t.Edit();
  t.FieldByName("ProblemName").SetAsString("r");
  t.Post();
  t.SaveToFile(dir.File("out.d"));
  std::string expected = Image(1, 4, section, Bytes().u8(1).u8(4).u8(8).u8(4).str("r").i32(730120)
                                                  .f64(730120.0 * 86400000 + 3723004)
                                                  .i32(45296789).b);
  EXPECT_EQ(ReadFile(dir.File("out.d")), expected);
  // Date texts are accepted back.
  t.Edit();
  t.FieldByName("Extra").SetAsString("2024-02-29");
  EXPECT_EQ(t.FieldByName("Extra").AsInteger(), 738945);
  EXPECT_EQ(MessageOf([&] { t.FieldByName("Extra").SetAsString("2023-02-29"); }),
            "'2023-02-29' is not a valid date");
  t.FieldByName("Extra").SetAsString("");
  EXPECT_TRUE(t.FieldByName("Extra").IsNull());
}

}  // namespace
}  // namespace store
