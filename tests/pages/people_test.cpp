// The People page: heading, entity rows with names, types and every phone, the
// PROPID forms, and the NULL cases of the name concatenation and the phones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/statement_handle.h"
#include "tab_page_test.h"
#include "tab_page_text.h"

namespace qv::pagetest {
namespace {

struct Person {
  std::string name, type, phones;  // phones: the whole cell text
};

std::string PeoplePageText(std::string_view name, int32_t id, const std::vector<Person>& people) {
  const std::string cell = "<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>";
  std::string s = TabPageStart("Property People", name, id, 1) + std::string(kPlainTable) +
                  "<THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Person/Company<BR></B></P></TD>"
                  "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Type<BR></B></P></TD>"
                  "<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Phone<BR></B></P></TD>"
                  "</TR></THEAD>" +
                  std::string(kRowStart);
  for (const Person& p : people) {
    s += cell + p.name + "<BR></B></P></TD>" + cell + p.type + "<BR></B></P></TD>" + cell +
         p.phones + "</B></P></TD></TR></TBODY>";
  }
  return s;
}

// Property 42 with four entities; property 7 with none.
const std::vector<Person> kPeopleOf42 = {
    {"Adams, Ann", "Manager", "Home 555-0101<br>Work 555-0102<br>Cell 555-0103<br>"},
    {"", "Owner", ""},         // no first name: the concatenation is NULL; no phones
    {"Carter, Cy", "", "<br>"},  // unknown type; one phone without a type
    {"Dunn & <b>Sons</b>, Dee", "Manager", "Fax 555-0401<br>"},
};

class PeopleTest : public TabPageTest {
 protected:
  PeopleTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (42, 'Harbor View');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
        "INSERT INTO E_TYPE (E_TYPE_ID, DESCRIPTION) VALUES (1, 'Manager');"
        "INSERT INTO E_TYPE (E_TYPE_ID, DESCRIPTION) VALUES (2, 'Owner');"
        "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME, "
        "PRIMARY_PHONE_ID) VALUES (104, 42, 1, 'Dee', 'Dunn & <b>Sons</b>', 504);"
        "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME, "
        "PRIMARY_PHONE_ID) VALUES (101, 42, 1, 'Ann', 'Adams', 501);"
        "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
        "VALUES (102, 42, 2, NULL, 'Baker');"
        "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
        "VALUES (103, 42, 99, 'Cy', 'Carter');"
        "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
        "VALUES (105, 8, 1, 'Eve', 'Elsewhere');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (501, 2, 101, 'Home', '555-0101');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (502, 2, 101, 'Work', '555-0102');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (503, 2, 101, 'Cell', '555-0103');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (504, 2, 104, 'Fax', '555-0401');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (505, 2, 103, NULL, '555-0301');"
        // Not entity phones: an access entry and a property phone keyed like entity 102.
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (506, 3, 102, 'Gate', '1234');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (507, 1, 102, 'Office', '555-0000');");
  }
};

TEST_F(PeopleTest, ListsEveryEntityWithTypeAndAllPhones) {
  EXPECT_EQ(RunWith("PeoplePage", "PROPID", "42"),
            PeoplePageText("Harbor View", 42, kPeopleOf42));
}

TEST_F(PeopleTest, PropertyWithoutPeopleEndsWithTheTableHead) {
  EXPECT_EQ(RunWith("PeoplePage", "PROPID", "7"), PeoplePageText("Elm Court", 7, {}));
}

TEST_F(PeopleTest, PropidFormsOnOneSession) {
  ExpectIdForms("PeoplePage", "PROPID",
                PeoplePageText("Harbor View", 42, kPeopleOf42),
                PeoplePageText("", 0, {}));
}

// Property 8 has an entity but no PROPERTY row: the heading finds nothing (empty
// name, tabs for 0) while the people query still uses the requested id.
TEST_F(PeopleTest, EntitiesOfAPropertyWithoutRowUnderTabsForZero) {
  EXPECT_EQ(RunWith("PeoplePage", "PROPID", "8"),
            PeoplePageText("", 0, {{"Elsewhere, Eve", "Manager", ""}}));
}

// Each statement of the page is prepared once per attachment, the phone
// statement too however many entities there are; a new attachment prepares
// them again, and the page stays the same throughout.
TEST_F(PeopleTest, StatementsArePreparedOncePerAttachment) {
  const std::string expected = PeoplePageText("Harbor View", 42, kPeopleOf42);
  const auto prepares_of_one_page = [&] {
    const uint64_t before = StatementHandle::PrepareCount();
    EXPECT_EQ(RunWith("PeoplePage", "PROPID", "42"), expected);
    return StatementHandle::PrepareCount() - before;
  };
  EXPECT_EQ(prepares_of_one_page(), 4u);  // agency, heading, people, phones
  EXPECT_EQ(prepares_of_one_page(), 0u);
  session.Connection().Disconnect();
  session.Connection().Connect();
  EXPECT_EQ(prepares_of_one_page(), 4u);
  EXPECT_EQ(prepares_of_one_page(), 0u);
}

TEST_F(PeopleTest, LeavesNoTransactionOpen) {
  RunWith("PeoplePage", "PROPID", "42");
  EXPECT_FALSE(session.Transaction().InTransaction());
}

}  // namespace
}  // namespace qv::pagetest
