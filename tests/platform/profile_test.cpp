#include "platform/profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qv {
namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qv_profile_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Write(const std::string& text) {
    const std::string path = folder_ + "/settings.ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  std::string folder_;
};

TEST_F(ProfileTest, MissingFileGivesDefaults) {
  IniFile ini(folder_ + "/absent.ini");
  EXPECT_EQ(ini.ReadString("APP", "HtDocs", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("APP", "Port", 80), 80);
  EXPECT_TRUE(ini.ReadBool("APP", "Start", true));
}

TEST_F(ProfileTest, SectionsAndKeysIgnoreCaseAndBlanks) {
  IniFile ini(Write(
      "; comment\r\n"
      "[ app ]\r\n"
      "  port   =   8080  \r\n"
      "HTDOCS=\t/srv/qv dir \t\r\n"
      "[Db]\n"
      "Port=1\n"
      "NoEquals\n"
      "Empty=\n"));
  EXPECT_EQ(ini.ReadInteger("APP", "Port", 80), 8080);
  EXPECT_EQ(ini.ReadString("App", "HtDocs", ""), "/srv/qv dir");
  EXPECT_EQ(ini.ReadInteger("DB", "PORT", 0), 1);
  EXPECT_EQ(ini.ReadString("DB", "Empty", "x"), "");
  EXPECT_EQ(ini.ReadString("DB", "NoEquals", "x"), "x");
  EXPECT_EQ(ini.ReadString("Other", "Port", "x"), "x");
}

TEST_F(ProfileTest, KeepsHeadingsStrayLinesAndLineNumbersForTheSettingsCheck) {
  IniFile ini(Write("; comment\n# comment too\n[APP]\nPort=1\nPort 8080\n[Empty]\n[ app ]\n"
                     "#Port=2\nStart=1\n"));
  EXPECT_EQ(ini.OpenError(), 0);
  ASSERT_EQ(ini.Sections().size(), 3u);
  EXPECT_EQ(ini.Sections()[1].text, "Empty");
  EXPECT_EQ(ini.Sections()[1].number, 6);
  EXPECT_EQ(ini.Sections()[2].text, "app");
  ASSERT_EQ(ini.StrayLines().size(), 1u);
  EXPECT_EQ(ini.StrayLines()[0].number, 5);
  EXPECT_EQ(ini.StrayLines()[0].text, "Port 8080");
  ASSERT_EQ(ini.Entries().size(), 2u);
  EXPECT_EQ(ini.Entries()[1].key, "Start");
  EXPECT_EQ(ini.Entries()[1].line, 9);
  EXPECT_EQ(ini.ReadInteger("APP", "Port", 0), 1);
}

TEST_F(ProfileTest, SaysWhyAFileCouldNotBeRead) {
  EXPECT_EQ(IniFile(folder_ + "/absent.ini").OpenError(), ENOENT);
  EXPECT_EQ(IniFile(folder_).OpenError(), EISDIR);
  const IniFile folder(folder_);
  EXPECT_TRUE(folder.Entries().empty());
}

TEST_F(ProfileTest, LastOfRepeatedKeysWins) {
  IniFile ini(Write("[APP]\nPort=1\nStart=1\nPort=2\n[app]\nport=3\n"));
  EXPECT_EQ(ini.ReadInteger("APP", "Port", 0), 3);
  EXPECT_EQ(ini.ReadInteger("APP", "Start", 0), 1);
}

TEST_F(ProfileTest, AByteOrderMarkBeforeTheFirstHeadingIsNoPartOfIt) {
  IniFile ini(Write("\xEF\xBB\xBF[APP]\r\nPort=8080\r\n"));
  EXPECT_EQ(ini.ReadInteger("APP", "Port", 0), 8080);
  EXPECT_TRUE(ini.StrayLines().empty());
  // Elsewhere it is text like any other.
  IniFile later(Write("[APP]\n\xEF\xBB\xBFPort=8080\n"));
  EXPECT_EQ(later.ReadInteger("APP", "Port", 0), 0);
}

TEST_F(ProfileTest, AHeadingWithoutItsBracketIsKeptForTheCheck) {
  IniFile ini(Write("[APP]\nPort=1\n[DB\nUser=me\n"));
  ASSERT_EQ(ini.UnclosedHeadings().size(), 1u);
  EXPECT_EQ(ini.UnclosedHeadings()[0].number, 3);
  EXPECT_EQ(ini.UnclosedHeadings()[0].text, "[DB");
  EXPECT_EQ(ini.ReadString("DB", "User", ""), "me");
}

TEST_F(ProfileTest, ValueIsCutAfter2047Characters) {
  const std::string long_value(3000, 'a');
  IniFile ini(Write("[APP]\nHtDocs=" + long_value + "\nNext=b\n"));
  EXPECT_EQ(ini.ReadString("APP", "HtDocs", ""), std::string(2047, 'a'));
  EXPECT_EQ(ini.ReadString("APP", "Next", ""), "b");
}

TEST_F(ProfileTest, ValueOfExactly2047CharactersIsKept) {
  const std::string value = std::string(2046, 'a') + "z";
  IniFile ini(Write("[APP]\nHtDocs=" + value + "\n"));
  EXPECT_EQ(ini.ReadString("APP", "HtDocs", ""), value);
}

TEST_F(ProfileTest, CutValueKeepsABlankThatFallsAtItsEnd) {
  // The whole value is trimmed; the first 2047 characters of it are seen as they are.
  const std::string value = std::string(2046, 'a') + " b";
  IniFile ini(Write("[APP]\nHtDocs=  " + value + "  \n"));
  EXPECT_EQ(ini.ReadString("APP", "HtDocs", ""), std::string(2046, 'a') + " ");
}

struct IntegerCase {
  const char* text;
  std::optional<int> value;
};

class ProfileIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ProfileIntegerTest, Parses) {
  EXPECT_EQ(ParseProfileInteger(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ProfileIntegerTest,
    ::testing::Values(IntegerCase{"8080", 8080}, IntegerCase{"0x1F90", 8080},
                      IntegerCase{"0X1f90", 8080}, IntegerCase{"$1F90", 8080},
                      IntegerCase{"-5", -5}, IntegerCase{"+7", 7}, IntegerCase{" 12 ", 12},
                      IntegerCase{"2147483647", 2147483647},
                      IntegerCase{"-2147483648", -2147483647 - 1},
                      IntegerCase{"2147483648", std::nullopt},
                      IntegerCase{"0xFFFFFFFF", -1}, IntegerCase{"0x100000000", std::nullopt},
                      IntegerCase{"abc", std::nullopt}, IntegerCase{"true", std::nullopt},
                      IntegerCase{"12abc", std::nullopt}, IntegerCase{"0x", std::nullopt},
                      IntegerCase{"$", std::nullopt}, IntegerCase{"", std::nullopt},
                      IntegerCase{"1 2", std::nullopt}, IntegerCase{"0x1G", std::nullopt},
                      // The edges of every signed and hexadecimal form.
                      IntegerCase{"-0x80000000", -2147483647 - 1},
                      IntegerCase{"-$80000000", -2147483647 - 1},
                      IntegerCase{"$80000000", -2147483647 - 1},
                      IntegerCase{"0x7FFFFFFF", 2147483647}, IntegerCase{"-0x7FFFFFFF", -2147483647},
                      IntegerCase{"-0xFFFFFFFF", 1}, IntegerCase{"-0x1", -1},
                      IntegerCase{"+$FFFFFFFF", -1}, IntegerCase{"$100000000", std::nullopt},
                      IntegerCase{"-0x100000000", std::nullopt},
                      IntegerCase{"0xFFFFFFFFFFFFFFFFFFFF", std::nullopt},
                      IntegerCase{"99999999999", std::nullopt},
                      IntegerCase{"-99999999999", std::nullopt},
                      IntegerCase{"18446744073709551616", std::nullopt},
                      IntegerCase{"-2147483649", std::nullopt},
                      IntegerCase{"-", std::nullopt}, IntegerCase{"+", std::nullopt},
                      IntegerCase{"-$", std::nullopt}, IntegerCase{"-0x", std::nullopt},
                      IntegerCase{"--1", std::nullopt}, IntegerCase{"-+1", std::nullopt},
                      IntegerCase{"- 1", std::nullopt}, IntegerCase{"-0", 0}));

TEST(ProfilePathTest, ChangeFileExtReplacesOnlyTheLastNamesExtension) {
  EXPECT_EQ(ChangeFileExt("/opt/qv/qvweb", ".ini"), "/opt/qv/qvweb.ini");
  EXPECT_EQ(ChangeFileExt("/opt/qv/qvweb.exe", ".ini"), "/opt/qv/qvweb.ini");
  EXPECT_EQ(ChangeFileExt("/opt/q.v/qvweb", ".ini"), "/opt/q.v/qvweb.ini");
}

TEST(ProfilePathTest, ExecutableIniPathSitsBesideTheRunningProgram) {
  const std::filesystem::path exe = ExecutablePath();
  ASSERT_TRUE(exe.is_absolute());
  EXPECT_TRUE(std::filesystem::exists(exe));
  EXPECT_EQ(ExecutableIniPath(), ChangeFileExt(exe.string(), ".ini"));
}

}  // namespace
}  // namespace qv
