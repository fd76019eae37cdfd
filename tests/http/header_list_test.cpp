#include "http/header_list.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(HeaderListTest, LookupIgnoresCaseJoinsFoldedLinesAndTrims) {
  HeaderList headers;
  for (const char* line : {"Host:  example.org ", "X-Long: first", "  second ", "\tthird",
                           "Other: o", "host: later"})
    headers.Add(line);
  struct Case {
    const char* name;
    const char* expected;
  } const cases[] = {
      {"HOST", "example.org"},
      {"x-long", "first second third"},
      {"Other", "o"},
      {"Missing", ""},
      {"Hos", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(headers.Values(c.name), c.expected) << c.name;
  EXPECT_EQ(headers.IndexOfName("host", 1), 5);
}

TEST(HeaderListTest, SetValueKeepsFirstPositionAndLastValue) {
  HeaderList headers;
  headers.SetValue("Connection", "close");
  headers.SetValue("Server", "a");
  headers.SetValue("connection", "keep-alive");
  ASSERT_EQ(headers.Count(), 2u);
  EXPECT_EQ(headers[0], "connection: keep-alive");
  EXPECT_EQ(headers[1], "Server: a");
}

}  // namespace
}  // namespace qv
