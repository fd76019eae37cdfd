// The statement texts the pages share with the page benchmarks: each page runs
// the very text objects of pages/page_statements.h, so a session asked for one of
// them after the page hands back the page's own cursor rather than a new one.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "page_fixture.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"

namespace qv::pagetest {
namespace {

size_t StatementCount(DatabaseSession& session) {
  size_t count = 0;
  session.ForEachStatement([&](TIB_Cursor&) { ++count; });
  return count;
}

struct SharedCase {
  const char* what;
  std::string_view page;
  std::vector<std::pair<std::string, std::string>> params;
  std::vector<const TStatementText*> texts;
};

const TStatementText* List(ListSearchMode mode, bool area) {
  return &kListQueries[static_cast<int>(mode)][area ? 1 : 0];
}

TEST_F(PageTest, PagesRunTheSharedStatementTexts) {
  database.ExecScript(
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (1, 'Elm Court');"
      "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID) VALUES (1, 1)");

  const SharedCase cases[] = {
      {"main menu", "MainMenuPage", {}, {&kAgencyQuery}},
      {"list", "PropertyListPage", {},
       {&kAgencyQuery, &kAreaQuery, List(ListSearchMode::kNone, false)}},
      {"list in an area", "PropertyListPage", {{"AreaName", "North"}},
       {List(ListSearchMode::kNone, true)}},
      {"address search", "PropertyListPage",
       {{"SearchValue", "Elm"}, {"Address", "a"}},
       {List(ListSearchMode::kAddress, false)}},
      {"address search in an area", "PropertyListPage",
       {{"SearchValue", "Elm"}, {"Address", "a"}, {"AreaName", "North"}},
       {List(ListSearchMode::kAddress, true)}},
      {"name search", "PropertyListPage",
       {{"SearchValue", "Elm"}, {"PropName", "a"}},
       {List(ListSearchMode::kName, false)}},
      {"name search in an area", "PropertyListPage",
       {{"SearchValue", "Elm"}, {"PropName", "a"}, {"AreaName", "North"}},
       {List(ListSearchMode::kName, true)}},
      {"people", "PeoplePage", {{"PROPID", "1"}},
       {&kAgencyQuery, &kHeadingQuery, &kPeopleQuery, &kEntityPhonesQuery}},
      {"violations", "ViolationsPage", {{"PROPID", "1"}}, {&kPropertyNameQuery}},
      {"violation detail", "ViolationDetailPage", {{"VID", "1"}},
       {&kAgencyQuery, &kViolationQuery, &kPropertyNameQuery, &kViolatorsQuery}},
  };
  for (const SharedCase& c : cases) {
    SCOPED_TRACE(c.what);
    DatabaseSession fresh;
    database.Configure(fresh.Connection());
    fresh.Connection().Connect();
    TSimplePageRequest request = Request();
    for (const auto& [name, value] : c.params) request.Add(name, value);
    TStringStream out;
    PageContext page{request, out, fresh, clock, PageNamed(c.page)};
    RunPage(page);

    const size_t made = StatementCount(fresh);
    for (const TStatementText* text : c.texts) fresh.Statement(*text);
    EXPECT_EQ(StatementCount(fresh), made) << "the page ran a text of its own";
  }
}

}  // namespace
}  // namespace qv::pagetest
