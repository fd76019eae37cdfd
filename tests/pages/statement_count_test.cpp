// How many statements a page executes: a fixed number whatever the number of
// rows it shows, so no page runs a statement per row, and none runs a second
// statement to learn whether its query has rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "page_fixture.h"
#include "pages/page_frame.h"

namespace qv::pagetest {
namespace {

// Property 1 with `n` rows of everything its pages show: entities with three
// phones each, notes, inspections, authorizations, violations (the first with
// `n` violators), property phones and access entries; `n` areas, and `n`
// more properties for the list.
std::string RowsOfProperty1(int n) {
  std::string s =
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency');"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROP_ADDRESS1) VALUES (1, '1 Elm St');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID) "
      "VALUES (1, 'Elm Court', 1);";
  int phone = 0;
  for (int i = 1; i <= n; ++i) {
    const std::string id = std::to_string(i);
    const std::string other = std::to_string(100 + i);
    s += "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (" + id + ", 'Area " + id + "');";
    s += "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID) VALUES (" +
         other + ", 'Oak " + id + "', 1);";
    s += "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) VALUES (" +
         id + ", 1, 'Pat', 'Tenant " + id + "');";
    for (int source : {1, 2, 2, 2, 3}) {  // a property phone, three entity phones, an entry
      const std::string number = std::to_string(++phone);
      s += "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, "
           "PHONE_NUMBER) VALUES (" +
           number + ", " + std::to_string(source) + ", " + (source == 2 ? id : "1") +
           ", 'Home', '555-" + number + "');";
    }
    s += "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, NOTE) VALUES (" + id +
         ", 1, 1, 'Note " + id + "');";
    s += "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE) VALUES (" + id +
         ", 1, 'Walk');";
    s += "INSERT INTO AUTHORIZATIONS (AUTHORIZATIONS_ID, AUTH_PROPERTY_ID, AUTH_TITLE) VALUES (" +
         id + ", 1, 'Auth');";
    s += "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID) VALUES (" + id + ", 1);";
    s += "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID) VALUES (" + id + ", 1);";
  }
  return s;
}

class StatementCountTest : public PageTest {
 protected:
  // The statements one run of the page executes on the session.
  uint64_t ExecutionsOf(const PageEntry& entry) {
    SimplePageRequest request = Request();
    request.Add("PROPID", "1").Add("VID", "1");
    PageStream out;
    PageContext page{request, out, session, clock, entry, errors};
    const uint64_t before = session.Counts().executed;
    RunPage(page);
    return session.Counts().executed - before;
  }
};

TEST_F(StatementCountTest, EveryPageRunsAsManyStatementsForOneRowAsForTwenty) {
  TestDatabase one, twenty;
  one.ExecScript(RowsOfProperty1(1));
  twenty.ExecScript(RowsOfProperty1(20));
  const auto attach = [this](const TestDatabase& db) {
    session.Detach();
    db.Configure(session.Connection());
    session.Attach();
  };
  for (const PageEntry& entry : PageTable()) {
    SCOPED_TRACE(entry.name);
    attach(one);
    const uint64_t with_one = ExecutionsOf(entry);
    attach(twenty);
    EXPECT_EQ(ExecutionsOf(entry), with_one);
    EXPECT_LE(with_one, 6u);
  }
}

// Agency, heading, the property's phones and its people: four statements,
// however many entities and phones there are.
TEST_F(StatementCountTest, PeoplePageRunsFourStatements) {
  const PageEntry& people = PageNamed("PeoplePage");
  EXPECT_EQ(ExecutionsOf(people), 4u);  // no entities
  database.ExecScript(RowsOfProperty1(30));
  EXPECT_EQ(ExecutionsOf(people), 4u);
  EXPECT_EQ(ExecutionsOf(people), 4u);
}

}  // namespace
}  // namespace qv::pagetest
