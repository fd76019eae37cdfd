// The data pages as JSON: each page's data parsed back with a standard
// parser, with its types (numbers, ISO dates, null for absent values), text
// in UTF-8, and the outcome of an id that is not a number or not there.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "page_fixture.h"
#include "violation_rows.h"

namespace qv::pagetest {
namespace {

using nlohmann::json;

// Property 42, "Caf\xe9 Row" (ISO-8859-1 bytes), with one of everything its
// pages show; property 7 has nothing but its name.
std::string JsonData() {
  return std::string(
             "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Norvale Housing');"
             "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'North');"
             "INSERT INTO PROP_TYPE (TYPE_ID, TYPE_NAME) VALUES (2, 'Apartments');"
             "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, "
             "NUM_UNITS, PRIMARY_MANAGER_ID, AREA_ID, TYPE_ID) "
             "VALUES (42, 'Caf\xe9 Row', 420, 12, 5, 3, 2);"
             "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
             "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_CITY, "
             "PROP_STATE, PROP_ZIPCODE) VALUES (420, 42, '1 \"Main\" St', 'Norvale', 'WA', '98001');"
             "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
             "VALUES (1, 1, 420, 'Office', '206-555-0100');"
             "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
             "ENTERED_DATE) VALUES (2, 3, 420, 'Gate', '#1234', '2014-02-03 10:20:30');"
             "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
             "VALUES (3, 2, 5, 'Cell', '206-555-0199');"
             "INSERT INTO E_TYPE (E_TYPE_ID, DESCRIPTION) VALUES (1, 'Manager');"
             "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, "
             "LAST_OR_COMPANY_NAME, ENTITY_CITY, PRIMARY_PHONE_ID) "
             "VALUES (5, 42, 1, 'Pat', 'Lee', 'Norvale', 3);"
             "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
             "ENTERED_BY, NOTES_ITEM_DONE, NOTE_TITLE) VALUES (9, 1, 42, '2015-06-07 08:09:10', "
             "'Line one\nline two', 'pat', 1, 'Visit');"
             "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) "
             "VALUES (4, 'Inspector', 'x');"
             "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE, INSPEC_BY_ID, "
             "START_DATE) VALUES (11, 42, 'Spring', 4, '2016-03-01');"
             "INSERT INTO AUTHORIZATIONS (AUTHORIZATIONS_ID, AUTH_PROPERTY_ID, AUTH_TITLE, "
             "AUTH_RECEIVED_ON) VALUES (12, 42, 'Trespass', '2017-04-05');") +
         std::string(kViolationLookupRows) + FullViolationRow(13, 42, "Moved out") +
         "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID, VIOLATOR_FIRST_NAME, VIOLATOR_STATUS, "
         "VIOLATOR_LIVINGTHERENOW, VIOLATOR_DOB) VALUES (1, 13, 'Sam', 1, 0, '1980-02-03');";
}

class PageJsonTest : public PageTest {
 protected:
  PageJsonTest() { database.ExecScript(JsonData()); }

  // The page's JSON answer for name=value, with how it ended.
  std::string RunJson(std::string_view page, const char* name, const char* value,
                      PageOutcome* outcome = nullptr) {
    SimplePageRequest request = Request();
    if (name != nullptr) request.Add(name, value);
    PageStream out;
    PageContext context{request, out, session, clock, PageNamed(page), errors};
    context.format = PageFormat::kJson;
    context.entry.handler(context);
    if (outcome) *outcome = context.outcome;
    return out.TakeDataString();
  }
  json Parsed(std::string_view page, const char* name = nullptr, const char* value = nullptr) {
    PageOutcome outcome = PageOutcome::kShown;
    const std::string text = RunJson(page, name, value, &outcome);
    EXPECT_EQ(outcome, PageOutcome::kShown);
    return json::parse(text);
  }
};

TEST_F(PageJsonTest, PropertyInformationCarriesTypedFieldsInUtf8) {
  const json p = Parsed("PropertyInfoPage", "propid", "42")["property"];
  EXPECT_EQ(p["id"], 42);
  EXPECT_EQ(p["name"], "Caf\xc3\xa9 Row");
  EXPECT_EQ(p["address1"], "1 \"Main\" St");
  EXPECT_TRUE(p["address2"].is_null());
  EXPECT_EQ(p["state"], "WA");
  EXPECT_EQ(p["units"], 12);
  EXPECT_EQ(p["type"], json({{"id", 2}, {"name", "Apartments"}}));
  EXPECT_EQ(p["area"], json({{"id", 3}, {"name", "North"}}));
  EXPECT_TRUE(p["beat"].is_null());
  EXPECT_EQ(p["phones"], json::array({{{"type", "Office"}, {"number", "206-555-0100"}}}));
  EXPECT_EQ(p["manager"]["lastName"], "Lee");
  EXPECT_EQ(p["manager"]["phone"]["number"], "206-555-0199");
  EXPECT_TRUE(p["owner"].is_null());
  EXPECT_TRUE(p["managementCompany"].is_null());
}

TEST_F(PageJsonTest, TabPagesCarryTheirRows) {
  const json people = Parsed("PeoplePage", "propid", "42");
  EXPECT_EQ(people["property"], json({{"id", 42}, {"name", "Caf\xc3\xa9 Row"}}));
  ASSERT_EQ(people["people"].size(), 1u);
  EXPECT_EQ(people["people"][0]["entityId"], 5);
  EXPECT_EQ(people["people"][0]["name"], "Lee, Pat");
  EXPECT_EQ(people["people"][0]["type"], "Manager");
  EXPECT_EQ(people["people"][0]["phones"], json::array({"Cell 206-555-0199"}));

  const json access = Parsed("AccessPage", "propid", "42")["accessEntries"];
  EXPECT_EQ(access, json::array({{{"type", "Gate"}, {"info", "#1234"},
                                  {"entered", "2014-02-03T10:20:30"}}}));

  const json notes = Parsed("NotesPage", "propid", "42")["notes"];
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0]["id"], 9);
  EXPECT_EQ(notes[0]["entered"], "2015-06-07T08:09:10");
  EXPECT_EQ(notes[0]["text"], "Line one\nline two");
  EXPECT_TRUE(notes[0]["followUpDate"].is_null());
  EXPECT_EQ(notes[0]["done"], true);

  const json inspections = Parsed("CptedPage", "propid", "42")["inspections"];
  ASSERT_EQ(inspections.size(), 1u);
  EXPECT_EQ(inspections[0]["inspector"], json({{"id", 4}, {"name", "Inspector"}}));
  EXPECT_EQ(inspections[0]["startDate"], "2016-03-01");
  EXPECT_TRUE(inspections[0]["finishDate"].is_null());

  const json authorizations = Parsed("AuthorizationsPage", "propid", "42")["authorizations"];
  ASSERT_EQ(authorizations.size(), 1u);
  EXPECT_EQ(authorizations[0]["receivedDate"], "2017-04-05");
  EXPECT_TRUE(authorizations[0]["expiresDate"].is_null());

  const json violations = Parsed("ViolationsPage", "propid", "42")["violations"];
  ASSERT_EQ(violations.size(), 1u);
  EXPECT_EQ(violations[0]["id"], 13);
  EXPECT_EQ(violations[0]["date"], "2013-05-06");
  EXPECT_EQ(violations[0]["evictable"], true);
  EXPECT_EQ(violations[0]["type"], "Noise");

  const json empty = Parsed("NotesPage", "propid", "7");
  EXPECT_EQ(empty["notes"], json::array());
}

TEST_F(PageJsonTest, ViolationDetailCarriesItsViolators) {
  const json detail = Parsed("ViolationDetailPage", "vid", "13");
  EXPECT_EQ(detail["violation"]["property"], json({{"id", 42}, {"name", "Caf\xc3\xa9 Row"}}));
  EXPECT_EQ(detail["violation"]["policeAction"], "Report filed");
  EXPECT_EQ(detail["violation"]["leaseEndDate"], "2013-12-31");
  ASSERT_EQ(detail["violators"].size(), 1u);
  EXPECT_EQ(detail["violators"][0]["firstName"], "Sam");
  EXPECT_EQ(detail["violators"][0]["livingThereNow"], false);
  EXPECT_EQ(detail["violators"][0]["birthDate"], "1980-02-03");
  EXPECT_TRUE(detail["violators"][0]["lastName"].is_null());
}

TEST_F(PageJsonTest, ListAndMainMenuCarryTheirData) {
  const json list = Parsed("PropertyListPage");
  EXPECT_EQ(list["page"], 1);
  EXPECT_EQ(list["hasNextPage"], false);
  EXPECT_EQ(list["hasPreviousPage"], false);
  EXPECT_EQ(list["search"], json({{"mode", "none"}, {"value", nullptr}}));
  EXPECT_EQ(list["areas"], json::array({{{"id", 3}, {"name", "North"}}}));
  // Property 7 has no address, so no row of the list.
  ASSERT_EQ(list["properties"].size(), 1u);
  EXPECT_EQ(list["properties"][0], json({{"id", 42}, {"name", "Caf\xc3\xa9 Row"},
                                         {"address1", "1 \"Main\" St"}, {"address2", nullptr},
                                         {"city", "Norvale"}, {"state", "WA"},
                                         {"zipcode", "98001"}, {"units", 12}}));

  EXPECT_EQ(Parsed("MainMenuPage")["agency"], "Norvale Housing");
}

// A connection whose character set is UTF8 gets the stored ISO-8859-1 text
// as UTF-8 from the server; the answer passes it on unchanged.
TEST_F(PageJsonTest, TextOfAUtf8ConnectionIsPassedOn) {
  DatabaseSession utf8;
  database.Configure(utf8.Connection());
  utf8.Connection().SetParam("CHARACTER SET", "UTF8");
  utf8.Attach();
  SimplePageRequest request = Request();
  request.Add("propid", "42");
  PageStream out;
  PageContext context{request, out, utf8, clock, PageNamed("PeoplePage"), errors};
  context.format = PageFormat::kJson;
  context.entry.handler(context);
  EXPECT_EQ(json::parse(out.DataString())["property"]["name"], "Caf\xc3\xa9 Row");
}

// An id that is no number asks for nothing; one the database does not hold
// is not found. Either way nothing is written.
TEST_F(PageJsonTest, UnknownAndMalformedIdsWriteNothing) {
  struct Case {
    const char* page;
    const char* name;
    const char* value;
    PageOutcome outcome;
  };
  const Case cases[] = {
      {"PropertyInfoPage", "propid", "9999", PageOutcome::kNotFound},
      {"PeoplePage", "propid", "9999", PageOutcome::kNotFound},
      {"ViolationsPage", "propid", "9999", PageOutcome::kNotFound},
      {"ViolationDetailPage", "vid", "9999", PageOutcome::kNotFound},
      {"NotesPage", "propid", "abc", PageOutcome::kBadRequest},
      {"AccessPage", nullptr, nullptr, PageOutcome::kBadRequest},
      {"ViolationDetailPage", "vid", "", PageOutcome::kBadRequest},
      {"PropertyListPage", "page", "two", PageOutcome::kBadRequest},
      {"PropertyListPage", "page", "7", PageOutcome::kShown},
      {"CptedPage", "propid", "$2A", PageOutcome::kShown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + (c.value ? c.value : "(none)"));
    PageOutcome outcome = PageOutcome::kShown;
    const std::string text = RunJson(c.page, c.name, c.value, &outcome);
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(text.empty(), c.outcome != PageOutcome::kShown);
  }
}

}  // namespace
}  // namespace qv::pagetest
