#include "http/url_codec.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

TEST(UrlCodecTest, URLDecodeTable) {
  struct Case {
    std::string in, out;
  } const cases[] = {
      {"/A%20B", "/A B"},
      {"a%2Fb", "a/b"},
      {"%41%62", "Ab"},
      {"%zz1", "1"},              // a bad escape is dropped with its two characters
      {"%4", std::string("\x04")},  // one hexadecimal digit at the end still counts
      {"%", ""},
      {"x%", "x"},
      {"%g", ""},
      {"%u0041", "A"},
      {"%U20AC", "\x80"},          // the euro sign in the 8-bit code page
      {"%u00e9", "\xe9"},
      {"%u4E2D", "?"},             // no such character in the code page
      {"%u00zz!", "!"},
      {"%u12", ""},
      {"a+b", "a+b"},              // "+" is only a blank in parameters
  };
  for (const Case& c : cases) EXPECT_EQ(URLDecode(c.in), c.out) << c.in;
}

TEST(UrlCodecTest, DecodeParamsTable) {
  struct Case {
    std::string in;
    std::vector<std::string> out;
  } const cases[] = {
      {"A=1&a=2", {"A=1", "a=2"}},
      {"name=a+b%2Bc%41", {"name=a b+cA"}},
      {"q=%zz1", {"q=1"}},
      {"q=%4", {"q=\x04"}},
      {"a=1&&b=2", {"a=1", "", "b=2"}},
      {"&a=1", {"", "a=1"}},
      {"a=1&", {"a=1"}},
      {"&", {""}},
      {"", {}},
      {"a%3Db=c", {"a=b=c"}},
      {"flag", {"flag"}},
  };
  for (const Case& c : cases) {
    NameValueList params;
    params.Add("stale=1");
    DecodeParams(c.in, params);
    EXPECT_EQ(params.Lines(), c.out) << c.in;
  }
}

TEST(UrlCodecTest, EncodedEqualsMovesTheNameValueSplit) {
  NameValueList params;
  DecodeParams("a%3Db=c", params);
  EXPECT_EQ(params.Values("a"), "b=c");
  EXPECT_EQ(params.Values("a=b"), "");
}

}  // namespace
}  // namespace qv
