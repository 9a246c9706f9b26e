#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "app/settings.h"

namespace fs = std::filesystem;

namespace {

TEST(SettingsIntegers, AcceptedAndRefusedTexts) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"532", 532},        {"  660 ", 660},       {"-15", -15},
      {"+7", 7},           {"$C0DCC0", 12639424}, {"$c0dcc0", 12639424},
      {"0xC0DCC0", 12639424}, {"0XC0DCC0", 12639424}, {"$FFFFFFFF", -1},
      {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt}, {"$100000000", std::nullopt},
      {"abc", std::nullopt}, {"", std::nullopt},  {"12abc", std::nullopt},
      {"1.5", std::nullopt}, {"$", std::nullopt},  {"0x", std::nullopt},
      {"$G1", std::nullopt}, {"1 2", std::nullopt}, {"-", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(app::ParseIniInteger(c.text), c.value);
  }
}

TEST(SettingsRead, ValuesDefaultsAndCorrections) {
  struct Case {
    const char* name;
    const char* text;
    bool hasSection;
    app::TSettings expected;
  };
  const Case cases[] = {
      {"no file content", "", false, {}},
      {"other section only", "[OTHER]\nTop=5\n", false, {}},
      {"empty section gives defaults", "[SETTINGS]\n", true, {0, 532, 0, 660, "Problems.d", 12639424}},
      {"all keys",
       "[SETTINGS]\nTop=33\nHeight=678\nLeft=3\nWidth=678\nWorkingFileName=/x/a.d\nMDcolor=255\n",
       true, {33, 678, 3, 678, "/x/a.d", 255}},
      {"case-insensitive names, blanks, comments, CRLF",
       "; a comment\r\n[ settings ]\r\n  top = 10 \r\n;Height=1\r\nHEIGHT=$20\r\n"
       "left=0x10\r\nwidth=0X11\r\n workingfilename =  b c.d  \r\nmdcolor=0xFF\r\n",
       true, {10, 32, 16, 17, "b c.d", 255}},
      {"non-integer is missing", "[SETTINGS]\nHeight=abc\nTop=1.5\nWidth=\n", true,
       {0, 532, 0, 660, "Problems.d", 12639424}},
      {"empty file name and black colour corrected", "[SETTINGS]\nWorkingFileName=\nMDcolor=0\n",
       true, {0, 532, 0, 660, "Problems.d", 12639424}},
      {"MDcolor $0 is black too", "[SETTINGS]\nMDcolor=$0\n", true,
       {0, 532, 0, 660, "Problems.d", 12639424}},
      {"first of duplicate keys wins", "[SETTINGS]\nTop=1\nTop=2\n", true,
       {1, 532, 0, 660, "Problems.d", 12639424}},
      {"value with equals sign", "[SETTINGS]\nWorkingFileName=a=b.d\n", true,
       {0, 532, 0, 660, "a=b.d", 12639424}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto s = app::SettingsFromText(c.text);
    ASSERT_EQ(s.has_value(), c.hasSection);
    if (!s) continue;
    EXPECT_EQ(s->Top, c.expected.Top);
    EXPECT_EQ(s->Height, c.expected.Height);
    EXPECT_EQ(s->Left, c.expected.Left);
    EXPECT_EQ(s->Width, c.expected.Width);
    EXPECT_EQ(s->WorkingFileName, c.expected.WorkingFileName);
    EXPECT_EQ(s->MDcolor, c.expected.MDcolor);
  }
}

TEST(SettingsWrite, ExactTextKeyOrderAndOtherSections) {
  const app::TSettings s{33, 678, 3, 678, "/data/Problems.d", 12639424};
  const std::string settings =
      "[SETTINGS]\nTop=33\nHeight=678\nLeft=3\nWidth=678\nWorkingFileName=/data/Problems.d\n"
      "MDcolor=12639424\n\n";
  struct Case {
    const char* name;
    const char* existing;
    std::string expected;
  };
  const Case cases[] = {
      {"new file", "", settings},
      {"old settings replaced, whatever their case",
       "[settings]\nTop=1\nExtra=2\n[Settings]\nLeft=9\n", settings},
      {"other sections kept in front",
       "[SETTINGS]\nTop=1\n\n[Chart]\nA = 1\n; note\nB=2\n[More]\nC=3\n",
       "[Chart]\nA=1\n; note\nB=2\n\n[More]\nC=3\n\n" + settings},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(app::SettingsToText(c.existing, s), c.expected);
  }
  // What was written reads back as it was.
  const auto back = app::SettingsFromText(app::SettingsToText("", s));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Top, 33);
  EXPECT_EQ(back->WorkingFileName, "/data/Problems.d");
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brelona-settings-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(SettingsFileTest, WriteKeepsOtherSectionsAndLeavesNoTemporaryFiles) {
  const fs::path cfg = dir_ / "Brelona.cfg";
  std::ofstream(cfg) << "[Window]\nState=1\n[SETTINGS]\nTop=1\n";
  app::WriteSettingsFile(cfg.string(), app::TSettings{});
  EXPECT_EQ(app::ReadWholeFile(cfg.string()).value(),
            "[Window]\nState=1\n\n[SETTINGS]\nTop=0\nHeight=532\nLeft=0\nWidth=660\n"
            "WorkingFileName=Problems.d\nMDcolor=12639424\n\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_FALSE(app::ReadSettingsFile((dir_ / "missing.cfg").string()).has_value());
}

TEST_F(SettingsFileTest, FailedWriteIsReportedAndLeavesNothingBehind) {
  // A folder in the way of the file makes the final rename fail, even for root.
  const fs::path cfg = dir_ / "Brelona.cfg";
  fs::create_directories(cfg / "inside");
  EXPECT_THROW(app::WriteSettingsFile(cfg.string(), app::TSettings{}), std::runtime_error);
  EXPECT_TRUE(fs::is_directory(cfg / "inside"));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFileTest, MissingFolderIsReported) {
  EXPECT_THROW(app::WriteWholeFile((dir_ / "no" / "such" / "x.cfg").string(), "x"),
               std::runtime_error);
}

}  // namespace
