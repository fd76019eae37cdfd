// Text helpers of the pages: whole numbers read from request parameters,
// trimming, and the escaping of echoed request text.
#include "pages/page_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace qv {
namespace {

TEST(PageTextTest, RequestInteger) {
  struct Case {
    const char* text;
    int32_t expected;  // with the default -99
  } const cases[] = {
      {"0", 0},
      {"17", 17},
      {"+17", 17},
      {"-17", -17},
      {"   42", 42},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", -99},
      {"-2147483649", -99},
      {"99999999999", -99},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x1f", 31},
      {"0X1F", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"0x80000000", INT32_MIN},
      {"$7FFFFFFF", 2147483647},
      {"$00000007", 7},
      {"$000000007", -99},  // nine hexadecimal digits
      {"0x100000000", -99},
      {"", -99},
      {"   ", -99},
      {"-", -99},
      {"+", -99},
      {"$", -99},
      {"0x", -99},
      {"abc", -99},
      {"12 ", -99},
      {"1 2", -99},
      {"- 5", -99},
      {"\t5", -99},
      {"5x", -99},
      {"1.0", -99},
      {"$1G", -99},
      {"--5", -99},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseRequestInteger(c.text, -99), c.expected) << '"' << c.text << '"';
  }
}

TEST(PageTextTest, TrimAndCase) {
  EXPECT_EQ(TrimText(" \t\r\n a b \x01\x1f "), "a b");
  EXPECT_EQ(TrimText(std::string("\0x\0", 3)), "x");
  EXPECT_EQ(TrimText("\xA0x\xA0"), "\xA0x\xA0");  // only codes 0 to 32 are trimmed
  EXPECT_EQ(UpperCaseAscii("abz AZ \xE9\xFF 09"), "ABZ AZ \xE9\xFF 09");
  EXPECT_TRUE(SameTextAscii("LoggedIn", "LOGGEDIN"));
  EXPECT_FALSE(SameTextAscii("\xE9", "\xC9"));
  EXPECT_FALSE(SameTextAscii("abc", "abcd"));
}

TEST(PageTextTest, EscapingOfEchoedText) {
  struct Case {
    const char* text;
    const char* html;
    const char* query;
  } const cases[] = {
      {"North Side 12", "North Side 12", "North Side 12"},
      {"O'Brien", "O&#39;Brien", "O%27Brien"},
      {"a&b<c>\"d\"", "a&amp;b&lt;c&gt;&quot;d&quot;", "a%26b%3Cc%3E%22d%22"},
      {"a+b#c%d=e;f/g?h", "a+b#c%d=e;f/g?h", "a%2Bb%23c%25d=e;f/g?h"},
      {"tab\there\x7f", "tab\there\x7f", "tab%09here%7F"},
      {"\xE9t\xE9", "\xE9t\xE9", "\xE9t\xE9"},
      {"''", "&#39;&#39;", "%27%27"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HtmlEscape(c.text), c.html) << c.text;
    EXPECT_EQ(UrlEncodeQueryValue(c.text), c.query) << c.text;
  }
}

}  // namespace
}  // namespace qv
