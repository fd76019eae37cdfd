#include "db/strings.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

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
