// The People page: heading, entity rows with names, types and every phone, the
// PROPID forms, and the NULL cases of the name concatenation and the phones.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pages/page_statements.h"
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

// Each statement of the page is prepared once per attachment; a new
// attachment prepares them again, and the page stays the same throughout.
TEST_F(PeopleTest, StatementsArePreparedOncePerAttachment) {
  const std::string expected = PeoplePageText("Harbor View", 42, kPeopleOf42);
  const auto prepares_of_one_page = [&] {
    const uint64_t before = session.Counts().prepared;
    EXPECT_EQ(RunWith("PeoplePage", "PROPID", "42"), expected);
    return session.Counts().prepared - before;
  };
  EXPECT_EQ(prepares_of_one_page(), 4u);  // agency, heading, phones, people
  EXPECT_EQ(prepares_of_one_page(), 0u);
  session.Detach();
  session.Attach();
  EXPECT_EQ(prepares_of_one_page(), 4u);
  EXPECT_EQ(prepares_of_one_page(), 0u);
}

// An entity's phones come in the order of their records, which is the order
// they were added in a fresh database: not by id nor by type, and also when
// other phones' records lie between them (hundreds of them, so that the
// record numbers' low bytes alone would give another order).
TEST_F(PeopleTest, PhonesKeepTheOrderOfTheirRecords) {
  const auto phone = [](int id, int source, int key, const std::string& type) {
    return "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, "
           "PHONE_NUMBER) VALUES (" +
           std::to_string(id) + ", " + std::to_string(source) + ", " + std::to_string(key) +
           ", '" + type + "', '" + std::to_string(id) + "');";
  };
  std::string script =
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (9, 'Oak Row');"
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
      "VALUES (901, 9, 'Al', 'Ames');"
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
      "VALUES (900, 9, 'Bo', 'Birch');";
  std::string ames, birch;
  // Every 37th record an entity phone, the two entities in turn, ids falling
  // and types in no order; the rest property phones keyed like entity 900.
  for (int i = 0; i < 740; ++i) {
    if (i % 37 != 0) {
      script += phone(10000 + i, 1, 900, "Filler");
      continue;
    }
    const int id = 9000 - i;
    const std::string type = "T" + std::to_string((i * 7) % 10);
    script += phone(id, 2, i % 74 == 0 ? 901 : 900, type);
    (i % 74 == 0 ? ames : birch) += type + " " + std::to_string(id) + "<br>";
  }
  database.ExecScript(script);
  EXPECT_EQ(RunWith("PeoplePage", "PROPID", "9"),
            PeoplePageText("Oak Row", 9, {{"Ames, Al", "", ames}, {"Birch, Bo", "", birch}}));
}

// Entities with the same name stand in the order the people statement alone
// gives them; each row keeps its own type and phones.
TEST_F(PeopleTest, EntitiesOfTheSameNameInThePeopleStatementsOrder) {
  database.ExecScript(
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
      "VALUES (205, 7, 2, 'Jo', 'Smith');"
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
      "VALUES (202, 7, 1, 'Jo', 'Smith');"
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
      "VALUES (209, 7, NULL, 'Jo', 'Smith');"
      "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, LAST_OR_COMPANY_NAME) "
      "VALUES (201, 7, 2, 'Jo', 'Smith');"
      "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
      "VALUES (601, 2, 209, 'Cell', '209');"
      "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
      "VALUES (602, 2, 201, 'Cell', '201');"
      "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
      "VALUES (603, 2, 205, 'Cell', '205');");
  const std::map<int32_t, Person> by_id = {
      {201, {"Smith, Jo", "Owner", "Cell 201<br>"}},
      {202, {"Smith, Jo", "Manager", ""}},
      {205, {"Smith, Jo", "Owner", "Cell 205<br>"}},
      {209, {"Smith, Jo", "", "Cell 209<br>"}},
  };
  std::vector<Person> expected;
  for (auto people = session.Query(kPeopleQuery, 7); !people.AtEnd(); people.Next()) {
    expected.push_back(by_id.at(people.Integer(PeopleColumn::kEntityId)));
  }
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(RunWith("PeoplePage", "PROPID", "7"), PeoplePageText("Elm Court", 7, expected));
}

TEST_F(PeopleTest, LeavesNoSnapshotOpen) {
  RunWith("PeoplePage", "PROPID", "42");
  EXPECT_FALSE(HoldsSnapshot(session));
}

}  // namespace
}  // namespace qv::pagetest
