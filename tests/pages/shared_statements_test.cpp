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

size_t StatementCount(DatabaseSession& session) { return session.PreparedTexts().size(); }

// Whether the session has prepared that very text.
bool Prepared(DatabaseSession& session, std::string_view text) {
  for (const auto& prepared : session.PreparedTexts()) {
    if (prepared.text == text) return true;
  }
  return false;
}

struct SharedCase {
  const char* what;
  std::string_view page;
  std::vector<std::pair<std::string, std::string>> params;
  std::vector<std::string_view> texts;
};

std::string_view List(ListSearchMode mode, bool area) {
  return kListQueries[static_cast<int>(mode)][area ? 1 : 0].sql;
}

TEST_F(PageTest, PagesRunTheSharedStatementTexts) {
  database.ExecScript(
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (1, 'Elm Court');"
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, LAST_OR_COMPANY_NAME) VALUES (1, 1, 'Pat');"
      "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID) VALUES (1, 1)");

  const SharedCase cases[] = {
      {"main menu", "MainMenuPage", {}, {kAgencyQuery.sql}},
      {"list", "PropertyListPage", {},
       {kAgencyQuery.sql, kAreaQuery.sql, List(ListSearchMode::kNone, false)}},
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
       {kAgencyQuery.sql, kHeadingQuery.sql, kPeoplePhonesQuery.sql, kPeopleQuery.sql}},
      {"access", "AccessPage", {{"PROPID", "1"}}, {kAccessQuery.sql}},
      {"notes", "NotesPage", {{"PROPID", "1"}}, {kNotesQuery.sql}},
      {"violations", "ViolationsPage", {{"PROPID", "1"}}, {kPropertyNameQuery.sql}},
      {"violation detail", "ViolationDetailPage", {{"VID", "1"}},
       {kAgencyQuery.sql, kViolationQuery.sql, kPropertyNameQuery.sql, kViolatorsQuery.sql}},
  };
  for (const SharedCase& c : cases) {
    SCOPED_TRACE(c.what);
    DatabaseSession fresh;
    database.Configure(fresh.Connection());
    fresh.Attach();
    SimplePageRequest request = Request();
    for (const auto& [name, value] : c.params) request.Add(name, value);
    PageStream out;
    PageContext page{request, out, fresh, clock, PageNamed(c.page), errors};
    RunPage(page);

    for (std::string_view text : c.texts) {
      EXPECT_TRUE(Prepared(fresh, text)) << "the page ran a text of its own in place of\n" << text;
    }
  }
}

// A page prepares its own statements and nothing else: no statement derived
// from them (a row count runs a second query), whether its tables have rows
// or not.
TEST_F(PageTest, EachPageRunsOnlyItsOwnStatements) {
  const char* const rows =
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID) VALUES (1, 'Elm', 1);"
      "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE) VALUES (1, 1, 1, 'Office');"
      "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, NOTE) VALUES (1, 1, 1, 'Note');"
      "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE) VALUES (1, 1, 'Walk');"
      "INSERT INTO AUTHORIZATIONS (AUTHORIZATIONS_ID, AUTH_PROPERTY_ID, AUTH_TITLE) VALUES (1, 1, 'A');"
      "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID) VALUES (1, 1);"
      "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID) VALUES (1, 1);";
  for (bool filled : {false, true}) {
    if (filled) database.ExecScript(rows);
    for (const PageEntry& entry : PageTable()) {
      SCOPED_TRACE(std::string(entry.name) + (filled ? " with rows" : " without rows"));
      DatabaseSession fresh;
      database.Configure(fresh.Connection());
      fresh.Attach();
      SimplePageRequest request = Request();
      request.Add("PROPID", "1").Add("VID", "1");
      PageStream out;
      PageContext page{request, out, fresh, clock, entry, errors};
      RunPage(page);
      EXPECT_EQ(fresh.Counts().prepared, StatementCount(fresh));
    }
  }
}

}  // namespace
}  // namespace qv::pagetest
