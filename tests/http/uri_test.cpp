#include "http/uri.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(UriTest, SplitTable) {
  struct Case {
    const char* target;
    const char* host;
    const char* path;
    const char* document;
  } const cases[] = {
      {"/Page", "", "/", "Page"},
      {"/a/b/", "", "/a/b/", ""},
      {"", "", "", ""},
      {"page", "", "", "page"},
      {"\\dir\\file", "", "/dir/", "file"},
      {"/path=x/y", "", "/", "path"},          // without "?" the text from "=" on is cut
      {"/p?x=1/2", "", "/", "p"},
      {"http://example.org:81/x/y", "example.org", "/x/", "y"},
      {"http://user:pw@host/a", "host", "/", "a"},
      {"http://[::1]:8080/v6", "::1", "/", "v6"},
      {"http://hostonly", "hostonly", "", ""},
  };
  for (const auto& c : cases) {
    const Uri uri = Uri::Parse(c.target);
    EXPECT_EQ(uri.host, c.host) << c.target;
    EXPECT_EQ(uri.path, c.path) << c.target;
    EXPECT_EQ(uri.document, c.document) << c.target;
  }
}

}  // namespace
}  // namespace qv
