// The statement texts the pages share with the page benchmarks: each page runs
// the very text objects of pages/page_statements.h, so a module asked for one of
// them after the page hands back the page's own cursor rather than a new one.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "page_fixture.h"
#include "pages/page_statements.h"

namespace qv::pagetest {
namespace {

size_t StatementCount(TPageModule& module) {
  size_t count = 0;
  module.ForEachStatement([&](TIB_Cursor&) { ++count; });
  return count;
}

struct SharedCase {
  const char* what;
  PageOperation page;
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
      {"main menu", &TPageModule::MainMenuPage, {}, {&kAgencyQuery}},
      {"list", &TPageModule::PropertyListPage, {},
       {&kAgencyQuery, List(ListSearchMode::kNone, false)}},
      {"list in an area", &TPageModule::PropertyListPage, {{"AreaName", "North"}},
       {List(ListSearchMode::kNone, true)}},
      {"address search", &TPageModule::PropertyListPage,
       {{"SearchValue", "Elm"}, {"Address", "a"}},
       {List(ListSearchMode::kAddress, false)}},
      {"address search in an area", &TPageModule::PropertyListPage,
       {{"SearchValue", "Elm"}, {"Address", "a"}, {"AreaName", "North"}},
       {List(ListSearchMode::kAddress, true)}},
      {"name search", &TPageModule::PropertyListPage,
       {{"SearchValue", "Elm"}, {"PropName", "a"}},
       {List(ListSearchMode::kName, false)}},
      {"name search in an area", &TPageModule::PropertyListPage,
       {{"SearchValue", "Elm"}, {"PropName", "a"}, {"AreaName", "North"}},
       {List(ListSearchMode::kName, true)}},
      {"people", &TPageModule::PeoplePage, {{"PROPID", "1"}},
       {&kAgencyQuery, &kHeadingQuery, &kPeopleQuery, &kEntityPhonesQuery}},
      {"violations", &TPageModule::ViolationsPage, {{"PROPID", "1"}}, {&kPropertyNameQuery}},
      {"violation detail", &TPageModule::ViolationDetailPage, {{"VID", "1"}},
       {&kAgencyQuery, &kViolationQuery, &kPropertyNameQuery, &kViolatorsQuery}},
  };
  for (const SharedCase& c : cases) {
    SCOPED_TRACE(c.what);
    TPageModule fresh(clock);
    database.Configure(fresh.dbMain);
    fresh.dbMain.Connect();
    TSimplePageRequest request = Request();
    for (const auto& [name, value] : c.params) request.Add(name, value);
    TStringStream out;
    fresh.RunPage(c.page, out, request);

    const size_t made = StatementCount(fresh);
    for (const TStatementText* text : c.texts) fresh.Statement(*text);
    EXPECT_EQ(StatementCount(fresh), made) << "the page ran a text of its own";
  }
}

}  // namespace
}  // namespace qv::pagetest
