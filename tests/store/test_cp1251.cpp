#include "store/cp1251.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace store {
namespace {

// glibc's converter as an independent reference for the byte table.
std::string IconvToUtf8(unsigned char c, bool& ok) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  char in[1] = {static_cast<char>(c)};
  char out[8];
  char* ip = in;
  char* op = out;
  size_t il = 1, ol = sizeof out;
  ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1);
  iconv_close(cd);
  return std::string(out, static_cast<size_t>(op - out));
}

TEST(Cp1251, EveryByteAgreesWithIconvAndRoundTrips) {
  for (int c = 0; c < 256; ++c) {
    std::string byte(1, static_cast<char>(c));
    std::string utf8 = Cp1251ToUtf8(byte);
    bool ok;
    std::string ref = IconvToUtf8(static_cast<unsigned char>(c), ok);
    if (c == 0x98) {
      EXPECT_EQ(utf8, "\xC2\x98");  // unassigned in the code page: kept as U+0098
    } else {
      ASSERT_TRUE(ok) << c;
      EXPECT_EQ(utf8, ref) << "byte " << c;
    }
    std::string back;
    ASSERT_TRUE(Utf8ToCp1251(utf8, back).ok) << c;
    EXPECT_EQ(back, byte) << c;
  }
}

TEST(Cp1251, RefusesWhatTheCodePageCannotHold) {
  struct Case {
    const char* utf8;
    bool invalid;
    char32_t bad;
  } cases[] = {
      {"Ω", false, 0x03A9},            // Greek
      {"abc😀", false, 0x1F600},       // four-byte sequence
      {"é", false, 0x00E9},            // Latin-1 letter absent from 1251
      {"\xC3", true, 0},               // truncated
      {"\xC0\x80", true, 0},           // overlong NUL
      {"\xED\xA0\x80", true, 0},       // surrogate
      {"\xF4\x90\x80\x80", true, 0},   // past U+10FFFF
      {"\x80", true, 0},               // stray continuation byte
  };
  for (const Case& c : cases) {
    std::string out;
    TEncodeResult r = Utf8ToCp1251(c.utf8, out);
    EXPECT_FALSE(r.ok) << c.utf8;
    EXPECT_EQ(r.invalidUtf8, c.invalid) << c.utf8;
    if (!c.invalid) {
      EXPECT_EQ(r.badChar, c.bad) << c.utf8;
    }
  }
  std::string out;
  EXPECT_EQ(EncodeErrorMessage(Utf8ToCp1251("xΩ", out), "ProblemName"),
            "Text for field 'ProblemName' holds the character 'Ω' (U+03A9), which the "
            "Windows-1251 code page cannot store");
  EXPECT_EQ(EncodeErrorMessage(Utf8ToCp1251("\xC3", out), "Functs"),
            "Text for field 'Functs' is not valid UTF-8");
}

TEST(Cp1251, LowerCaseFoldsLatinAndCyrillicPairs) {
  const char* pairs[][2] = {{"A", "a"}, {"Z", "z"}, {"А", "а"}, {"Я", "я"}, {"Ё", "ё"},
                            {"Ў", "ў"}, {"Ї", "ї"}, {"Є", "є"}, {"І", "і"}, {"Ґ", "ґ"},
                            {"Ј", "ј"}, {"Ѕ", "ѕ"}, {"Ђ", "ђ"}, {"Ѓ", "ѓ"}, {"Љ", "љ"},
                            {"Њ", "њ"}, {"Ќ", "ќ"}, {"Ћ", "ћ"}, {"Џ", "џ"}};
  for (auto& p : pairs) {
    std::string up, lo;
    ASSERT_TRUE(Utf8ToCp1251(p[0], up).ok);
    ASSERT_TRUE(Utf8ToCp1251(p[1], lo).ok);
    EXPECT_EQ(Cp1251Lower(static_cast<unsigned char>(up[0])), static_cast<unsigned char>(lo[0]))
        << p[0];
    EXPECT_EQ(Cp1251Lower(static_cast<unsigned char>(lo[0])), static_cast<unsigned char>(lo[0]))
        << p[1];
  }
  for (unsigned char c : {0x30, 0x5F, 0x5B, 0xB9 /* № */})
    EXPECT_EQ(Cp1251Lower(c), c);
}

}  // namespace
}  // namespace store
