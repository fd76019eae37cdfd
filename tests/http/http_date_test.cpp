#include "http/http_date.h"

#include <gtest/gtest.h>

#include "http/base64.h"

namespace qv {
namespace {

TEST(HttpDateTest, FormatsGmtTexts) {
  const DateTime t = EncodeGmt(1994, 11, 6, 8, 49, 37);
  EXPECT_EQ(FormatHttpDate(t), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatCookieDate(t), "Sun, 06-Nov-1994 08:49:37 GMT");
  EXPECT_EQ(FormatHttpDate(EncodeGmt(2024, 2, 29, 23, 0, 5)), "Thu, 29 Feb 2024 23:00:05 GMT");
}

TEST(HttpDateTest, ParsesTheThreeForms) {
  const DateTime t = EncodeGmt(1994, 11, 6, 8, 49, 37);
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994"})
    EXPECT_DOUBLE_EQ(ParseHttpDate(text), t) << text;
  for (const char* text : {"", "yesterday", "Sun, 06 Nov 1994", "06 Foo 1994 08:49:37"})
    EXPECT_EQ(ParseHttpDate(text), 0) << text;
}

TEST(Base64Test, DecodeTable) {
  struct Case {
    const char* in;
    const char* out;
  } const cases[] = {
      {"dXNlcjpwYXNz", "user:pass"}, {"YQ==", "a"}, {"YWI=", "ab"},
      {"YWJj", "abc"},               {"", ""},      {"Y W\r\nJj", "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace qv
