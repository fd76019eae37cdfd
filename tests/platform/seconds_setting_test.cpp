#include "platform/seconds_setting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/profile.h"

namespace qv {
namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int32_t>::max();

struct NumberCase {
  const char* text;
  int64_t min, max;
  const char* problem;  // null: accepted
};

TEST(WholeNumberProblemTest, SaysWhyOrNothing) {
  const NumberCase cases[] = {
      {"0", 0, 10, nullptr},
      {"10", 0, 10, nullptr},
      {"0x0A", 0, 10, nullptr},
      {"$a", 0, 10, nullptr},
      {"+7", 0, 10, nullptr},
      {"11", 0, 10, "11 is out of range (0 to 10)"},
      {"-1", 0, 10, "-1 is out of range (0 to 10)"},
      {"-1", 0, kNoLimit, "-1 is out of range (0 or more)"},
      {"2147483647", 0, kNoLimit, nullptr},
      {"2147483648", 0, kNoLimit, "2147483648 is out of range (0 or more)"},
      {"99999999999999999999999", 0, kNoLimit, "99999999999999999999999 is out of range (0 or more)"},
      {"0xFFFFFFFF", 0, 65535, "0xFFFFFFFF is out of range (0 to 65535)"},
      {"0x1FFFFFFFF", 0, 65535, "\"0x1FFFFFFFF\" is not a whole number"},
      {"soon", 0, 10, "\"soon\" is not a whole number"},
      {"1e6", 0, kNoLimit, "\"1e6\" is not a whole number"},
      {"1.5", 0, 10, "\"1.5\" is not a whole number"},
      {"-", 0, 10, "\"-\" is not a whole number"},
      {"5 s", 0, 10, "\"5 s\" is not a whole number"},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<std::string> problem = WholeNumberProblem(c.text, c.min, c.max);
    if (c.problem)
      EXPECT_EQ(problem.value_or("accepted"), c.problem);
    else
      EXPECT_FALSE(problem) << *problem;
  }
}

TEST(ReadWholeNumberSettingTest, DefaultValueOrAnErrorNamingFileSectionAndKey) {
  char pattern[] = "/tmp/qv_seconds_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/s.ini";
  std::ofstream(path) << "[APP]\nEmpty=\nGood=0x10\nBad=-2\n";
  const IniFile ini(path);
  EXPECT_EQ(ReadWholeNumberSetting(ini, "APP", "Missing", 7, 0, 10), 7);
  EXPECT_EQ(ReadWholeNumberSetting(ini, "APP", "Empty", 7, 0, 10), 7);
  EXPECT_EQ(ReadWholeNumberSetting(ini, "app", "good", 7, 0, 100), 16);
  try {
    ReadSecondsSetting(ini, "APP", "Bad", 7);
    ADD_FAILURE() << "accepted";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), path + ": [APP] Bad: -2 is out of range (0 to 86400)");
  }
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace qv
