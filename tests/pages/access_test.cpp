// The Access page: access entries of a property's addresses with the padded
// entry date, NULL date and text cases, and what is never listed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tab_page_test.h"
#include "tab_page_text.h"

namespace qv::pagetest {
namespace {

struct Entry {
  std::string type, info, date;
};

std::string AccessPageText(std::string_view name, int32_t id, const std::vector<Entry>& entries) {
  const std::string cell = "<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>";
  std::string s = TabPageStart("Property Access", name, id, 2) + std::string(kPlainTable) +
                  "<THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Access Type<BR></B></P></TD>"
                  "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Access Info<BR></B></P></TD>"
                  "<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Date Entered<BR></B></P></TD>"
                  "</TR></THEAD>" +
                  std::string(kRowStart);
  for (const Entry& e : entries) {
    s += cell + e.type + "<BR></B></P></TD>" + cell + e.info + "<BR></B></P></TD>" + cell +
         e.date + "<BR></B></P></TD></TR></TBODY>";
  }
  return s;
}

const std::vector<Entry> kEntriesOf42 = {
    {"Gate code", "#4411 <then> &", "03/05/2007"},  // entered at 14:05; time not shown
    {"Key box", "", "12/30/1899"},                 // NULL information and NULL date
    {"", "Back door 77", "11/20/2019"},            // NULL type
};

class AccessTest : public TabPageTest {
 protected:
  AccessTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (42, 'Harbor View');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (8, 'Oak Yard');"
        "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (201, 42);"
        "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (202, 42);"
        "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (203, 8);"
        "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (204, 7);"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
        "ENTERED_DATE) VALUES (601, 3, 201, 'Gate code', '#4411 <then> &', "
        "'2007-03-05 14:05:00');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
        "ENTERED_DATE) VALUES (602, 3, 202, 'Key box', NULL, NULL);"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
        "ENTERED_DATE) VALUES (603, 3, 202, NULL, 'Back door 77', '2019-11-20');"
        // An address of another property, and an entity phone keyed like address
        // 201 and one keyed like property 7's address: never listed.
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
        "ENTERED_DATE) VALUES (604, 3, 203, 'Door', '99', '2001-01-01');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
        "ENTERED_DATE) VALUES (605, 2, 201, 'Home', '555-0101', '2001-01-01');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
        "ENTERED_DATE) VALUES (606, 2, 204, 'Home', '555-0102', '2001-01-01');");
  }
};

TEST_F(AccessTest, ListsTheEntriesOfThePropertysAddresses) {
  EXPECT_EQ(RunWith("AccessPage", "PROPID", "42"),
            AccessPageText("Harbor View", 42, kEntriesOf42));
}

TEST_F(AccessTest, PropertyWithoutEntriesEndsWithTheTableHead) {
  EXPECT_EQ(RunWith("AccessPage", "PROPID", "7"), AccessPageText("Elm Court", 7, {}));
}

TEST_F(AccessTest, PropidFormsOnOneSession) {
  ExpectIdForms("AccessPage", "PROPID",
                AccessPageText("Harbor View", 42, kEntriesOf42),
                AccessPageText("", 0, {}));
}

}  // namespace
}  // namespace qv::pagetest
