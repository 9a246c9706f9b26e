#include "store/table_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "store_test_util.h"

namespace store {
namespace {

using store_test::Bytes;
using store_test::Image;

TTableLayout LayoutOf(const std::vector<TFieldDefBytes>& defs) {
  return LayoutFromSection(BuildFieldSection(defs), static_cast<std::int32_t>(defs.size()));
}

void Put(const TMemField& f, TRecordImage& r, const void* p, std::size_t n) {
  std::memcpy(r.fixed.data() + f.offset, p, n);
}

struct TypeCase {
  const char* what;
  TFieldDefBytes def;
  std::string entry;  // expected field entry, without 0x12
  std::function<void(const TMemField&, TRecordImage&)> set;
  std::string value;  // expected value bytes
  unsigned lengthByte;
};

std::vector<TypeCase> TypeCases() {
  auto i16 = [](std::int16_t v) {
    return [v](const TMemField& f, TRecordImage& r) { Put(f, r, &v, 2); };
  };
  auto i32 = [](std::int32_t v) {
    return [v](const TMemField& f, TRecordImage& r) { Put(f, r, &v, 4); };
  };
  auto f64 = [](double v) {
    return [v](const TMemField& f, TRecordImage& r) { Put(f, r, &v, 8); };
  };
  auto text = [](std::string s) {
    return [s](const TMemField& f, TRecordImage& r) {
      if (f.IsHeldApart())
        r.var[static_cast<std::size_t>(f.varIndex)] = s;
      else
        Put(f, r, s.data(), s.size());
    };
  };
  const std::string x12 = "\x12";
  return {
      {"smallint", {"F", ftSmallint, 0}, "XXX.F l", i16(-2), "\xFE\xFF", 2},
      {"word as smallint", {"F", ftWord, 0}, "XXX.F l", i16(0x0102), "\x02\x01", 2},
      {"integer", {"F", ftInteger, 0}, "XXX.F i", i32(0x12345678), "\x78\x56\x34\x12", 4},
      {"autoinc", {"F", ftAutoInc, 0}, "XXX.F a", i32(7), std::string("\x07\0\0\0", 4), 4},
      {"boolean true is FFFF", {"F", ftBoolean, 0}, "XXX.F b", i16(1), "\xFF\xFF", 2},
      {"float", {"F", ftFloat, 0}, "XXX.F f", f64(1.5),
       std::string("\0\0\0\0\0\0\xF8\x3F", 8), 8},
      {"currency", {"F", ftCurrency, 0}, "XXX.F c", f64(-2.0),
       std::string("\0\0\0\0\0\0\0\xC0", 8), 8},
      {"date 2000-01-01", {"F", ftDate, 0}, "XXX.F d", i32(730120),
       std::string("\x08\x24\x0B\x00", 4), 4},
      {"time 01:02:03.004", {"F", ftTime, 0}, "XXX.F v", i32(3723004),
       std::string("\xFC\xCE\x38\x00", 4), 4},
      {"datetime", {"F", ftDateTime, 0}, "XXX.F t", f64(86400000.0 + 1),
       Bytes().f64(86400001.0).b, 8},
      {"string size 5, short value", {"F", ftString, 5}, "XXX.F 5", text("Ab"), "Ab", 2},
      {"string size 20, full", {"F", ftString, 20}, "XXX.F K", text("ABCDEFGHIJKLMNOPQRST"),
       "ABCDEFGHIJKLMNOPQRST", 20},
      {"string size 35", {"F", ftString, 35}, "XXX.F Z", text("z"), "z", 1},
      {"string size 9", {"F", ftString, 9}, "XXX.F 9", text("\xC0\xFF"), "\xC0\xFF", 2},
      {"long string size 40", {"F", ftString, 40}, "XXX.F s40", text("hello"),
       std::string("\x05\0\0\0hello", 9), 4},
      {"long string stops at zero", {"F", ftString, 36}, "XXX.F s36",
       text(std::string("ab\0cd", 5)), std::string("\x02\0\0\0ab", 6), 4},
      {"memo keeps zero bytes", {"F", ftMemo, 0}, "XXX.F m", text(std::string("a\0b", 3)),
       std::string("\x03\0\0\0a\0b", 7), 4},
      {"formatted memo", {"F", ftFmtMemo, 0}, "XXX.F r", text("{\\rtf}"),
       std::string("\x06\0\0\0{\\rtf}", 10), 4},
      {"object", {"F", ftBlob, 0}, "XXX.F o", text("\x01\x02"), std::string("\x02\0\0\0\x01\x02", 6),
       4},
      {"picture", {"F", ftGraphic, 0}, "XXX.F g", text("BM"), std::string("\x02\0\0\0" "BM", 6), 4},
      {"blank in name", {"My Field", ftInteger, 0}, "XXX.My_Field i", i32(1),
       std::string("\x01\0\0\0", 4), 4},
  };
}

TEST(TableImage, EveryTypeIsWrittenByteForByte) {
  for (const TypeCase& c : TypeCases()) {
    SCOPED_TRACE(c.what);
    TTableLayout lay = LayoutOf({c.def});
    const std::string section = c.entry + "\x12\x14";
    ASSERT_EQ(lay.section, section);
    TRecordImage rec = lay.NewRecord();
    c.set(lay.fields[0], rec);
    TRecordImage empty = lay.NewRecord();
    std::string expected =
        Image(2, 1, section, Bytes().u8(c.lengthByte).str(c.value).u8(0).b);
    std::string written = WriteTableImage(lay, {rec, empty});
    EXPECT_EQ(written, expected);

    // Read back and write again: the same bytes.
    TTableImage back = ReadTableImage(written);
    ASSERT_EQ(back.records.size(), 2u);
    EXPECT_EQ(back.layout.section, section);
    EXPECT_EQ(WriteTableImage(back.layout, back.records), expected);
  }
}

TEST(TableImage, FieldSectionOfTheNameAndCountExample) {
  TTableLayout lay = LayoutOf({{"Name", ftString, 20}, {"Count", ftInteger, 0}});
  EXPECT_EQ(lay.section, std::string("XXX.Name K\x12XXX.Count i\x12\x14"));
  EXPECT_EQ(lay.section.size(), 24u);
  // The empty table is 17 + D bytes: length D+17, "S", count 0, N, D, section.
  std::string img = WriteTableImage(lay, {});
  EXPECT_EQ(img, Image(0, 2, lay.section, ""));
  EXPECT_EQ(img.size(), 17u + 24u);
  EXPECT_EQ(img.substr(0, 4), std::string("\x29\0\0\0", 4));
}

TEST(TableImage, SectionBuilderSizesAndUnknownKinds) {
  struct Case {
    TFieldDefBytes def;
    const char* entry;
    TFieldType readType;
    int readSize;
  } cases[] = {
      {{"S", ftString, 0}, "XXX.S 0", ftString, 0},
      {{"S", ftString, 10}, "XXX.S A", ftString, 10},
      {{"S", ftString, 36}, "XXX.S s36", ftString, 36},
      {{"S", ftString, 8191}, "XXX.S s8191", ftString, 8191},
      {{"U", ftUnknown, 0}, "XXX.U s", ftString, 100},
      {{"W", ftWord, 0}, "XXX.W l", ftSmallint, 0},
  };
  for (const Case& c : cases) {
    TTableLayout lay = LayoutOf({c.def});
    EXPECT_EQ(lay.section, std::string(c.entry) + "\x12\x14");
    EXPECT_EQ(lay.fields[0].type, c.readType) << c.entry;
    EXPECT_EQ(lay.fields[0].size, c.readSize) << c.entry;
  }
}

TEST(TableImage, ZeroFalseAndEmptyValuesTakeNoBytes) {
  std::vector<TFieldDefBytes> defs = {
      {"a", ftSmallint, 0}, {"b", ftInteger, 0}, {"c", ftBoolean, 0}, {"d", ftFloat, 0},
      {"e", ftCurrency, 0}, {"f", ftDate, 0},    {"g", ftTime, 0},    {"h", ftDateTime, 0},
      {"i", ftString, 10},  {"j", ftMemo, 0}};
  TTableLayout lay = LayoutOf(defs);
  TRecordImage rec = lay.NewRecord();
  rec.var[0] = std::string();  // a memo present with no bytes is not written either
  double negZero = -0.0;
  std::memcpy(rec.fixed.data() + lay.fields[3].offset, &negZero, 8);
  std::string img = WriteTableImage(lay, {rec});
  EXPECT_EQ(img.substr(17 + lay.section.size()), std::string(10, '\0'));
}

TEST(TableImage, ReaderPrefixesCommentsAndShortValues) {
  // A foreign prefix, an entry without a prefix, a comment, and a 2-byte integer value.
  std::string section = std::string("ABC.Name 5\x12" "Count i\x12\x14");
  std::string rest = Bytes().u8('*').i16(3).str("hey").u8(3).u8(2).str("abc").str("\x34\x12").b;
  std::string img = Image(1, 2, section, rest, 12345 /* wrong length: ignored */);
  TTableImage t = ReadTableImage(img);
  ASSERT_EQ(t.layout.fields.size(), 2u);
  EXPECT_EQ(t.layout.fields[0].prefix, "ABC");
  EXPECT_EQ(t.layout.fields[0].name, "Name");
  EXPECT_EQ(t.layout.fields[1].prefix, "XXX");
  EXPECT_EQ(t.layout.fields[1].name, "Count");
  EXPECT_EQ(t.layout.comment, "hey");
  ASSERT_EQ(t.records.size(), 1u);
  EXPECT_EQ(ShortStringValue(t.layout.fields[0], t.records[0]), "abc");
  std::int32_t v;
  std::memcpy(&v, t.records[0].fixed.data() + t.layout.fields[1].offset, 4);
  EXPECT_EQ(v, 0x1234);  // low-order bytes; the rest reads 0
  // Written back: section and comment unchanged, the integer at full width, true length.
  std::string again = WriteTableImage(t.layout, t.records);
  EXPECT_EQ(again, Image(1, 2, section,
                         Bytes().u8('*').i16(3).str("hey").u8(3).u8(4).str("abc").i32(0x1234).b));
}

TEST(TableImage, CommentOnlyWhenStarAndEnoughBytesRemain) {
  const std::string two = "XXX.a i\x12XXX.b i\x12\x14";
  // One byte '*' left, fewer than N = 2: not a comment (and no record either).
  TTableImage t = ReadTableImage(Image(0, 2, two, "*"));
  EXPECT_TRUE(t.layout.comment.empty());
  // With enough bytes it is a comment.
  t = ReadTableImage(Image(0, 2, two, Bytes().u8('*').i16(2).str("hi").b));
  EXPECT_EQ(t.layout.comment, "hi");
  // A short comment of an empty table is kept although fewer than N bytes follow the section
  // (a reader that skipped it would lose the comment at the next save).
  const std::string eleven = [] {
    std::string s;
    for (char c = 'a'; c < 'a' + 11; ++c) s += std::string("XXX.") + c + " i\x12";
    return s + "\x14";
  }();
  const std::string shortComment = Bytes().u8('*').i16(3).str("abc").b;
  t = ReadTableImage(Image(0, 11, eleven, shortComment));
  EXPECT_EQ(t.layout.comment, "abc");
  EXPECT_EQ(WriteTableImage(t.layout, t.records), Image(0, 11, eleven, shortComment));
  // Bytes that do not form exactly one comment are still ignored.
  t = ReadTableImage(Image(0, 11, eleven, Bytes().u8('*').i16(4).str("abc").b));
  EXPECT_TRUE(t.layout.comment.empty());
  // A record directly after the section: its first length byte is never '*'.
  t = ReadTableImage(Image(1, 2, two, Bytes().u8(4).u8(0).i32(42).b));
  EXPECT_EQ(t.records.size(), 1u);
  EXPECT_TRUE(t.layout.comment.empty());
}

TEST(TableImage, ExtraBytesAfterDeclaredRecordsAreIgnored) {
  std::string img = Image(1, 1, "XXX.a i\x12\x14", Bytes().u8(0).u8(4).i32(5).b);
  TTableImage t = ReadTableImage(img);
  EXPECT_EQ(t.records.size(), 1u);
}

TEST(TableImage, LongStringLimitIs8191) {
  std::string section = "XXX.S s9000\x12\x14";
  std::string ok = Image(1, 1, section, Bytes().u8(4).i32(8191).str(std::string(8191, 'x')).b);
  EXPECT_EQ(ReadTableImage(ok).records[0].var[0]->size(), 8191u);
  std::string bad = Image(1, 1, section, Bytes().u8(4).i32(8192).str(std::string(8192, 'x')).b);
  try {
    ReadTableImage(bad);
    FAIL();
  } catch (const ETableImageError& e) {
    EXPECT_STREQ(e.what(), "String field 'S' has wrong length 8192 in record 1");
  }
}

struct FailCase {
  const char* what;
  std::string image;
  std::string reason;
};

std::vector<FailCase> FailCases() {
  const std::string two = "XXX.Name K\x12XXX.Count i\x12\x14";
  const std::string memo = "XXX.M m\x12\x14";
  const std::string lng = "XXX.S s50\x12\x14";
  const std::string rec1 = Bytes().u8(2).u8(4).str("ab").i32(1).b;
  return {
      {"shorter than a header", std::string("\0\0\0\0S\0\0\0\0\0", 10),
       "Buffer structure corruption!"},
      {"four bytes only", std::string("\0\0\0\0", 4), "Buffer structure corruption!"},
      {"section longer than the file",
       Image(0, 2, two, "").substr(0, 17 + two.size() - 1).append("").replace(13, 4, std::string("\x40\0\0\0", 4)),
       "Buffer structure corruption!"},
      {"negative field count", Image(0, -1, two, ""), "Buffer structure corruption!"},
      {"size after s not a number", Image(0, 1, "XXX.S s1x\x12\x14", ""),
       "Buffer structure corruption!"},
      {"entry without 0x12", Image(0, 2, "XXX.Name K\x12XXX.Count i", ""),
       "Error in buffer structure (field description section)"},
      {"fewer entries than N", Image(0, 3, "XXX.Name K\x12XXX.Count i\x12", ""),
       "Error in buffer structure (field description section)"},
      {"entry without type letter", Image(0, 1, "XXX.Name\x12\x14", ""),
       "Error in buffer structure (field description section)"},
      {"kind E", std::string("\0\0\0\0E", 5) + "Table is damaged", "Table is damaged"},
      {"kind P", Image(0, 2, two, "", -1, 'P'), "Invalid password. Table cannot be open"},
      {"unknown type letter", Image(0, 1, "XXX.F x\x12\x14", ""), "Unknown type 'x' of field 'F'"},
      {"integer length byte 5", Image(1, 2, two, Bytes().u8(0).u8(5).str("12345").b),
       "Field 'Count' has wrong length 5 in record 1"},
      {"short string longer than its size", Image(2, 2, two, rec1 + Bytes().u8(21).u8(0).str(std::string(21, 'x')).b),
       "Field 'Name' has wrong length 21 in record 2"},
      {"memo length byte 3", Image(1, 1, memo, Bytes().u8(3).str("abc").b),
       "Field 'M' has wrong length 3 in record 1"},
      {"long string length byte 8", Image(1, 1, lng, Bytes().u8(8).i32(1).i32(1).b),
       "Field 'S' has wrong length 8 in record 1"},
      {"long string negative", Image(1, 1, lng, Bytes().u8(4).i32(-1).b),
       "String field 'S' has wrong length -1 in record 1"},
      {"blob 2^30", Image(1, 1, memo, Bytes().u8(4).i32(1 << 30).b),
       "BLOB field 'M' has wrong length 1073741824 in record 1"},
      {"blob negative", Image(1, 1, memo, Bytes().u8(4).i32(-5).b),
       "BLOB field 'M' has wrong length -5 in record 1"},
      {"blob far beyond the file", Image(1, 1, memo, Bytes().u8(4).i32((1 << 30) - 1).str("x").b),
       "Unexpected end of buffer"},
      {"record cut inside a value", Image(1, 2, two, Bytes().u8(2).u8(4).str("ab").str("\x01\x02").b),
       "Unexpected end of buffer"},
      {"comment cut", Image(0, 0, "", Bytes().u8('*').i16(10).str("abc").b), "Unexpected end of buffer"},
      {"count above records", Image(2, 2, two, rec1), 
       "Number of records read (1) does not match declared record count (2)"},
      {"huge count", Image(INT_MAX, 2, two, rec1),
       "Number of records read (1) does not match declared record count (2147483647)"},
      {"negative count", Image(-1, 2, two, rec1),
       "Number of records read (0) does not match declared record count (-1)"},
      {"no fields, records declared", Image(5, 0, "", ""),
       "Number of records read (0) does not match declared record count (5)"},
  };
}

TEST(TableImage, EveryFailureHasItsReason) {
  for (const FailCase& c : FailCases()) {
    SCOPED_TRACE(c.what);
    try {
      ReadTableImage(c.image);
      ADD_FAILURE() << "loaded";
    } catch (const ETableImageError& e) {
      EXPECT_EQ(std::string(e.what()), c.reason);
    }
  }
}

TEST(TableImage, DayNumbers) {
  struct Case {
    int y, m, d;
    std::int32_t day;
  } cases[] = {{1, 1, 1, 1},           {1, 12, 31, 365},      {2, 1, 1, 366},
               {1899, 12, 30, 693594}, {2000, 1, 1, 730120},  {2000, 2, 29, 730179},
               {2024, 3, 1, 738946},   {9999, 12, 31, 3652059}};
  for (const Case& c : cases) {
    std::int32_t day;
    ASSERT_TRUE(DateToDayNumber(c.y, c.m, c.d, day));
    EXPECT_EQ(day, c.day) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    DayNumberToDate(c.day, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
  }
  std::int32_t day;
  EXPECT_FALSE(DateToDayNumber(1900, 2, 29, day));
  EXPECT_FALSE(DateToDayNumber(2001, 13, 1, day));
  EXPECT_FALSE(DateToDayNumber(0, 1, 1, day));
}

}  // namespace
}  // namespace store
