#include "platform/name_value_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

NameValueList ListOf(std::vector<std::string> lines) {
  NameValueList list;
  for (auto& line : lines) list.Add(line);
  return list;
}

TEST(NameValueListTest, LookupTakesFirstMatchIgnoringCase) {
  struct Case {
    std::vector<std::string> lines;
    std::string name;
    std::string expected;
  };
  const Case cases[] = {
      {{"A=1", "a=2"}, "a", "1"},
      {{"A=1", "a=2"}, "A", "1"},
      {{"x", "x=5"}, "x", "5"},          // entries without "=" never match
      {{"k=a=b"}, "k", "a=b"},          // value is everything after the first "="
      {{"k="}, "k", ""},
      {{"=v"}, "", "v"},
      {{"Name=1"}, "nam", ""},
      {{}, "missing", ""},
      {{"LoggedIn=False"}, "LOGGEDIN", "False"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListOf(c.lines).Values(c.name), c.expected) << c.name;
  }
}

TEST(NameValueListTest, SetReplacesAppendsAndDeletes) {
  struct Case {
    std::vector<std::string> before;
    std::string name, value;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {{"a=1", "A=2"}, "A", "9", {"A=9", "A=2"}},
      {{"a=1"}, "b", "2", {"a=1", "b=2"}},
      {{"a=1", "b=2", "a=3"}, "a", "", {"b=2", "a=3"}},
      {{"b=2"}, "a", "", {"b=2"}},
      {{"x", "x=1"}, "x", "2", {"x", "x=2"}},
  };
  for (const Case& c : cases) {
    NameValueList list = ListOf(c.before);
    list.SetValue(c.name, c.value);
    EXPECT_EQ(list.Lines(), c.after) << c.name << "=" << c.value;
  }
}

TEST(NameValueListTest, NamesAndValuesByIndex) {
  const NameValueList list = ListOf({"a=1", "plain"});
  EXPECT_EQ(list.Names(0), "a");
  EXPECT_EQ(list.ValueFromIndex(0), "1");
  EXPECT_EQ(list.Names(1), "plain");
  EXPECT_EQ(list.ValueFromIndex(1), "");
  EXPECT_EQ(list.Text(), "a=1\r\nplain\r\n");
}

}  // namespace
}  // namespace qv
