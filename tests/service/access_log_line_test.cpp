// The access log's line: who (address and logged-on user), what, and never
// a password.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "service/access_log.h"
#include "service/password_mask.h"

namespace qv {
namespace {

TEST(PasswordMaskTest, ThePasswordParameterIsMaskedAsThePagesReadIt) {
  struct Case {
    const char* text;
    const char* masked;
  } const cases[] = {
      {"GET /DOLOGIN?uName=demo&uPass=demo HTTP/1.1", "GET /DOLOGIN?uName=demo&uPass=*** HTTP/1.1"},
      {"GET /DOLOGIN?uPass=demo&uName=demo HTTP/1.0", "GET /DOLOGIN?uPass=***&uName=demo HTTP/1.0"},
      {"GET /x?UPASS=a&upass=b&uPass= HTTP/1.1", "GET /x?UPASS=***&upass=***&uPass=*** HTTP/1.1"},
      {"GET /x?u%50ass=secret HTTP/1.1", "GET /x?u%50ass=*** HTTP/1.1"},
      {"GET /x?uPass%3Dsecret HTTP/1.1", "GET /x?uPass=*** HTTP/1.1"},
      {"GET /x?u+Pass=a&uPass=two words here HTTP/1.1", "GET /x?u+Pass=a&uPass=*** HTTP/1.1"},
      {"GET /x?uPass=no-version", "GET /x?uPass=***"},
      {"GET /x?uPass=a b", "GET /x?uPass=***"},
      {"http://host/DOLOGIN?uName=demo&uPass=demo", "http://host/DOLOGIN?uName=demo&uPass=***"},
      {"GET /DOLOGIN HTTP/1.1", "GET /DOLOGIN HTTP/1.1"},
      {"GET /list?page=2&AreaName= HTTP/1.1", "GET /list?page=2&AreaName= HTTP/1.1"},
      {"GET /x?uPassword=a&Pass=b HTTP/1.1", "GET /x?uPassword=a&Pass=b HTTP/1.1"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskPasswords(c.text), c.masked) << c.text;
}

TEST(AccessLineTest, TheUserFieldNamesTheLoggedOnVisitorAndNoPasswordIsWritten) {
  const std::regex line(
      R"re(^(\S+) - (\S+) \[\d\d/[A-Z][a-z][a-z]/\d{4}:\d\d:\d\d:\d\d [+-]\d{4}\] "((?:[^"\\]|\\.)*)" (\d{3}) (\d+|-) "((?:[^"\\]|\\.)*)" "((?:[^"\\]|\\.)*)" \d+\.\d{3}\n$)re");
  struct Case {
    const char* user;
    const char* request_line;
    const char* referer;
    const char* user_field;
    const char* request_field;
    const char* referer_field;
  } const cases[] = {
      {"", "GET / HTTP/1.1", "", "-", "GET / HTTP/1.1", "-"},
      {"demo", "GET /LIST HTTP/1.1", "http://h/", "demo", "GET /LIST HTTP/1.1", "http://h/"},
      {"O'Brien Smith", "GET / HTTP/1.1", "", R"(O'Brien\x20Smith)", "GET / HTTP/1.1", "-"},
      {"a\"b\\c\xE9", "GET / HTTP/1.1", "", R"(a\x22b\x5cc\xe9)", "GET / HTTP/1.1", "-"},
      {"demo", "GET /DOLOGIN?uName=demo&uPass=s3cret HTTP/1.1", "http://h/DOLOGIN?uName=demo&uPass=s3cret",
       "demo", "GET /DOLOGIN?uName=demo&uPass=*** HTTP/1.1", "http://h/DOLOGIN?uName=demo&uPass=***"},
  };
  for (const Case& c : cases) {
    const AccessRecord record{"203.0.113.9", c.user, c.request_line, 200, 12, c.referer, "agent",
                              std::chrono::milliseconds(3)};
    const std::string text = FormatAccessLine(record, 0);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    EXPECT_EQ(m[1], "203.0.113.9");
    EXPECT_EQ(m[2], c.user_field);
    EXPECT_EQ(m[3], c.request_field);
    EXPECT_EQ(m[6], c.referer_field);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
  }
}

}  // namespace
}  // namespace qv
