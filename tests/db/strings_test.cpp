#include "db/strings.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(StringsTest, TextJoinsLinesWithCarriageReturnLineFeed) {
  SqlLines lines;
  lines.Add("SELECT A");
  lines.Add("FROM T ");
  lines.Add("");
  EXPECT_EQ(lines.Text(), "SELECT A\r\nFROM T \r\n");
  lines.Clear();
  EXPECT_EQ(lines.Text(), "");
}

TEST(StringsTest, EveryChangeCallsTheOwnerFirst) {
  SqlLines lines;
  std::vector<size_t> counts_seen;
  lines.SetOnChange([&] { counts_seen.push_back(lines.Count()); });
  lines.Add("a");
  lines.Add("b");
  lines.Clear();
  EXPECT_EQ(counts_seen, (std::vector<size_t>{0, 1, 2}));
}

TEST(StringsTest, NameValueListMatchesNamesIgnoringCase) {
  ParamStrings params;
  params.SetValue("USER NAME", "sysdba");
  params.SetValue("PATH", "/a.fdb");
  params.SetValue("user name", "other");
  EXPECT_EQ(params.Count(), 2u);
  EXPECT_EQ(params[0], "user name=other");
  EXPECT_EQ(params.Value("User Name"), "other");
  EXPECT_EQ(params.Value("MISSING"), "");
  params.SetValue("PATH", "");
  EXPECT_EQ(params.Count(), 1u);
  EXPECT_EQ(params.IndexOfName("PATH"), -1);
}

}  // namespace
}  // namespace qv
