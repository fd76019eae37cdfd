#include "web/path_routes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qv {
namespace {

// The labels the request metrics show, in their order: the steps, the start
// page, the keyword pages by rank, the fallback last. A page added later
// brings its label into that order.
TEST(PathRoutes, LabelsFollowTheRoutersOrder) {
  const PathRoutes routes(PageTable());
  const std::vector<std::string_view>& labels = routes.Labels();
  const std::vector<std::string_view> known = {
      "logoff", "dologin", "image",  "logon", "main",       "ipinfo",  "list",  "propinfo",
      "people", "access",  "notes",  "auth",  "violations", "vdetail", "cpted", "other"};
  if (PageTable().size() == 14) {
    EXPECT_EQ(labels, known);
  }
  EXPECT_EQ(labels.size(), PageTable().size() + 2);  // every page's, log-off's and the logo's
  auto next = labels.begin();
  for (std::string_view label : known) {
    next = std::find(next, labels.end(), label);
    ASSERT_NE(next, labels.end()) << label << " missing or out of order";
    ++next;
  }
  EXPECT_EQ(labels.back(), "other");
  EXPECT_EQ(routes.Start().name, "MainMenuPage");
  EXPECT_EQ(routes.LogOnForm().name, "LogOnPage");
  EXPECT_EQ(routes.LogOnCheck().name, "DoLogin");
}

TEST(PathRoutes, EachPathIsReadOnce) {
  struct Case {
    const char* path;
    const char* steps;  // l: log-off, c: log-on check, i: image, f: log-on form
    const char* page;
    const char* label;
  } const cases[] = {
      {"", "", "MainMenuPage", "main"},
      {"/", "", "MainMenuPage", "main"},
      {"//", "", "UnderConstructionPage", "other"},
      {"/nothing", "", "UnderConstructionPage", "other"},
      {"/IpInfo", "", "HttpInfoPage", "ipinfo"},
      {"/notes/list", "", "PropertyListPage", "list"},
      {"/AUTHORIZATIONS", "", "AuthorizationsPage", "auth"},
      {"/x/auth/y", "", "AuthorizationsPage", "auth"},
      {"/cpted/violations", "", "ViolationsPage", "violations"},
      {"/cpted/vdetail", "", "ViolationDetailPage", "vdetail"},
      {"/Cpted", "", "CptedPage", "cpted"},
      {"/LOGOFF", "l", "UnderConstructionPage", "logoff"},
      {"/logoff/list", "l", "PropertyListPage", "logoff"},
      {"/DOLOGIN", "c", "UnderConstructionPage", "dologin"},
      {"/dologin/logon", "cf", "UnderConstructionPage", "dologin"},
      {"/image/qv_logo_jpg.jpg", "i", "UnderConstructionPage", "image"},
      {"/logoff/image", "li", "UnderConstructionPage", "logoff"},
      {"/logon/people", "f", "PeoplePage", "logon"},
  };
  const PathRoutes routes(PageTable());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const PathRoute route = routes.Route(c.path);
    std::string steps;
    if (route.log_off) steps += 'l';
    if (route.log_on_check) steps += 'c';
    if (route.image) steps += 'i';
    if (route.log_on_form) steps += 'f';
    EXPECT_EQ(steps, c.steps);
    ASSERT_NE(route.page, nullptr);
    EXPECT_EQ(route.page->name, c.page);
    EXPECT_EQ(routes.Labels().at(route.label), c.label);
  }
}

}  // namespace
}  // namespace qv
