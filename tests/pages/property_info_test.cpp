// The property information page: details, primary-address phones and the
// three contact cells, including the missing-row and empty-column cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "page_fixture.h"

namespace qv::pagetest {
namespace {

struct Expected {
  std::string name;
  int32_t tabs_id = 0;
  std::string address_cell;  // between "<P>" and "</P>"
  std::string values = " <br> <br> <br> <br>0<br>";
  std::vector<std::string> phone_types, phone_numbers;
  std::string contacts[3] = {"None Listed<br>", "None Listed<br>", "None Listed<br>"};
};

std::string InfoPage(const Expected& e) {
  const std::string cell = "<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>";
  std::string s = std::string(kBareHead) +
                  BannerText("Harbor Housing", "Property Information", "True") +
                  std::string(kPlainTable) +
                  "<TBODY><THEAD><TR VALIGN=TOP><TH WIDTH=100% bgcolor=\"#E8E8E8\">"
                  "<div style=\"text-align: center;\"><big><big><big><b>" +
                  e.name + "</big></big></big></b></TH>" + TabsText(e.tabs_id, 0) +
                  "</TR></THEAD></TBODY></TABLE>" + std::string(kPlainTable) +
                  "<THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Property Name<BR> and Address<BR></P>"
                  "</B></TD>"
                  "<TD WIDTH=17% bgcolor=\"#99CCFF\"><B><P>Property<BR>Information<BR></P></B></TD>"
                  "<TD WIDTH=16% bgcolor=\"#99CCFF\"><B><P>Information<BR>Detail<BR></P></B></TD>"
                  "<TD WIDTH=17% bgcolor=\"#99CCFF\"><B><P>Property<BR>Phone Type<BR></P></B></TD>"
                  "<TD WIDTH=17% bgcolor=\"#99CCFF\"><B><P>Property<BR>Phone Numbers<BR></P></B>"
                  "</TD></THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>" +
                  e.address_cell +
                  "</P></TD><TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>Property Type: <br>Area Name: "
                  "<br>Beat Name: <br>Activity Status: <br>Number of Units: <br></P></TD>"
                  "<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P>" +
                  e.values + "</P></TD>";
  if (e.phone_types.empty()) {
    s += cell + "--- <br></P></TD>" + cell + "--- <br></P></TD><br>";
  } else {
    s += cell;
    for (const std::string& t : e.phone_types) s += t + " <br>";
    s += "</P></TD>" + cell;
    for (const std::string& n : e.phone_numbers) s += n + " <br>";
    s += "</P></TD><br>";
  }
  s += "</TR></THEAD></TBODY></TABLE>" + std::string(kPlainTable) +
       "<THEAD><TR VALIGN=TOP>"
       "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Manager<BR></B></P></TD>"
       "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Management Co<BR></B></P></TD>"
       "<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Owner<BR></B></P></TD>"
       "</TR></THEAD><TBODY><TR VALIGN=TOP>";
  for (const std::string& contact : e.contacts) {
    s += "<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>" + contact + "</P></TD>";
  }
  s += "</TBODY></TABLE></div></div></body></html>";
  return s;
}

class PropertyInfoTest : public PageTest {
 protected:
  PropertyInfoTest() {
    database.ExecScript(
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO BEAT (BEAT_ID, BEAT_NAME) VALUES (3, 'B-12');"
        "INSERT INTO PROP_TYPE (TYPE_ID, TYPE_NAME) VALUES (2, 'Apartment');"
        "INSERT INTO ACTIVITY_STATUS (ACTIVITY_STATUS_ID, ACTIVITY_STATUS_NAME) "
        "VALUES (4, 'Active');"
        // Property 7 with everything filled in.
        "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_ADDRESS2, "
        "PROP_CITY, PROP_STATE, PROP_ZIPCODE) "
        "VALUES (70, 7, '100 Lake Dr', 'Suite 4', 'Springfield', 'IL', '62701');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, NUM_UNITS, "
        "PRIMARY_MANAGER_ID, PRIMARY_OWNER_ID, PRIMARY_MGMT_CO_ID, AREA_ID, BEAT_ID, TYPE_ID, "
        "ACTIVITY_STATUS_ID) VALUES (7, 'Lakeside Manor', 70, 24, 50, 52, 51, 1, 3, 2, 4);"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (1, 1, 70, 'Office', '555-0101');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (2, 1, 70, 'Fax', '555-0102');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (3, 1, 70, 'Emergency', '555-0199');"
        // Filed under another table, or under another address: not the property's.
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (4, 3, 70, 'Gate', '555-0400');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (5, 1, 71, 'Office', '555-0500');"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "VALUES (500, 2, 50, 'Cell', '555-0150');"
        "INSERT INTO ENTITY (ENTITY_ID, FIRST_NAME, LAST_OR_COMPANY_NAME, ENTITY_ADDR1, "
        "ENTITY_CITY, ENTITY_ZIPCODE, PRIMARY_PHONE_ID) "
        "VALUES (50, 'Ann', 'Lee', '1 A St', 'Springfield', '12345', 500);"
        "INSERT INTO ENTITY (ENTITY_ID, LAST_OR_COMPANY_NAME, ENTITY_ADDR2, ENTITY_STATE, "
        "ENTITY_ZIPCODE) VALUES (51, 'Acme Management', 'PO Box 9', 'IL', '60601');"
        "INSERT INTO ENTITY (ENTITY_ID, FIRST_NAME, LAST_OR_COMPANY_NAME, ENTITY_CITY, "
        "ENTITY_STATE, ENTITY_ZIPCODE, PRIMARY_PHONE_ID) "
        "VALUES (52, 'Bo', 'Ng', 'Springfield', 'IL', '12345', 999);");
  }

  std::string Info(const char* prop_id) {
    SimplePageRequest request = Request("True");
    request.document = "/propinfo";
    if (prop_id != nullptr) request.Add("propid", prop_id);
    return Run("PropertyInfoPage", request);
  }

  static Expected Lakeside() {
    Expected e;
    e.name = "Lakeside Manor";
    e.tabs_id = 7;
    e.address_cell = "Lakeside Manor<br>100 Lake Dr<br>Suite 4<br>Springfield IL 62701<br>";
    e.values = "Apartment <br>North <br>B-12 <br>Active <br>24<br>";
    e.phone_types = {"Office", "Fax", "Emergency"};
    e.phone_numbers = {"555-0101", "555-0102", "555-0199"};
    e.contacts[0] = "Ann Lee<br>1 A St<br>Springfield 12345 <br>Cell 555-0150<br>";
    e.contacts[1] = " Acme Management<br>PO Box 9<br>IL 60601 <br> <br>";
    e.contacts[2] = "Bo Ng<br>Springfield, IL 12345 <br> <br>";
    return e;
  }
};

TEST_F(PropertyInfoTest, WholeProperty) {
  EXPECT_EQ(Info("7"), InfoPage(Lakeside()));
  EXPECT_EQ(Info(" 0x7"), InfoPage(Lakeside()));
  EXPECT_FALSE(HoldsSnapshot(session));
}

TEST_F(PropertyInfoTest, NoSuchProperty) {
  for (const char* prop_id : {static_cast<const char*>(nullptr), "x", "0", "999", "7 "}) {
    EXPECT_EQ(Info(prop_id), InfoPage(Expected{})) << (prop_id ? prop_id : "(none)");
  }
}

TEST_F(PropertyInfoTest, AddressCell) {
  struct Case {
    const char* change;
    const char* cell;
  } const cases[] = {
      {"UPDATE PROPERTY SET PRIMARY_PROP_ADDRESS_ID = 12345", "Lakeside Manor<br>"},
      {"UPDATE PROP_ADDRESS SET PROP_STATE = NULL, PROP_ZIPCODE = ''",
       "Lakeside Manor<br>100 Lake Dr<br>Suite 4<br>Springfield  <br>"},
      {"UPDATE PROP_ADDRESS SET PROP_CITY = NULL",
       "Lakeside Manor<br>100 Lake Dr<br>Suite 4<br>"},
      {"UPDATE PROP_ADDRESS SET PROP_ADDRESS1 = '', PROP_ADDRESS2 = NULL",
       "Lakeside Manor<br>Springfield IL 62701<br>"},
      {"UPDATE PROPERTY SET PROPERTY_NAME = NULL",
       "100 Lake Dr<br>Suite 4<br>Springfield IL 62701<br>"},
  };
  for (const Case& c : cases) {
    database.ExecScript(c.change);
    Expected e = Lakeside();
    e.address_cell = c.cell;
    if (std::string(c.change).find("PROPERTY_NAME") != std::string::npos) e.name = "";
    if (std::string(c.change).find("12345") != std::string::npos) {
      e.phone_types.clear();  // the phones hang on the primary address
      e.phone_numbers.clear();
    }
    EXPECT_EQ(Info("7"), InfoPage(e)) << c.change;
    // Undo for the next case.
    database.ExecScript(
        "UPDATE PROPERTY SET PRIMARY_PROP_ADDRESS_ID = 70, PROPERTY_NAME = 'Lakeside Manor';"
        "UPDATE PROP_ADDRESS SET PROP_ADDRESS1 = '100 Lake Dr', PROP_ADDRESS2 = 'Suite 4', "
        "PROP_CITY = 'Springfield', PROP_STATE = 'IL', PROP_ZIPCODE = '62701';");
  }
}

TEST_F(PropertyInfoTest, DetailValuesOfMissingReferences) {
  database.Exec(
      "UPDATE PROPERTY SET NUM_UNITS = NULL, AREA_ID = NULL, BEAT_ID = 77, TYPE_ID = NULL, "
      "ACTIVITY_STATUS_ID = NULL, PRIMARY_MANAGER_ID = NULL, PRIMARY_OWNER_ID = 404");
  Expected e = Lakeside();
  e.values = " <br> <br> <br> <br>0<br>";
  e.contacts[0] = "None Listed<br>";
  e.contacts[2] = "None Listed<br>";
  EXPECT_EQ(Info("7"), InfoPage(e));
}

TEST_F(PropertyInfoTest, ContactPlaceLine) {
  struct Case {
    const char* city;
    const char* state;
    const char* zip;
    const char* line;
  } const cases[] = {
      {"'Springfield'", "NULL", "'12345'", "Springfield 12345 <br>"},
      {"'Springfield'", "'IL'", "'12345'", "Springfield, IL 12345 <br>"},
      {"'Springfield'", "'IL'", "NULL", "Springfield, IL <br>"},
      {"'Springfield'", "''", "''", "Springfield <br>"},
      {"NULL", "'IL'", "NULL", "IL <br>"},
      {"NULL", "'IL'", "'12345'", "IL 12345 <br>"},
      {"''", "NULL", "'12345'", "12345 <br>"},
      {"NULL", "NULL", "NULL", " <br>"},
  };
  for (const Case& c : cases) {
    database.Exec(std::string("UPDATE ENTITY SET ENTITY_CITY = ") + c.city +
                  ", ENTITY_STATE = " + c.state + ", ENTITY_ZIPCODE = " + c.zip +
                  " WHERE ENTITY_ID = 50");
    Expected e = Lakeside();
    e.contacts[0] = std::string("Ann Lee<br>1 A St<br>") + c.line + "Cell 555-0150<br>";
    EXPECT_EQ(Info("7"), InfoPage(e)) << c.line;
  }
}

TEST_F(PropertyInfoTest, NegativeIdInTheTabs) {
  database.ExecScript(
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID) "
      "VALUES (-2, 'Minus Two', NULL);");
  Expected e;
  e.name = "Minus Two";
  e.tabs_id = -2;
  e.address_cell = "Minus Two<br>";
  EXPECT_EQ(Info("-2"), InfoPage(e));
}

}  // namespace
}  // namespace qv::pagetest
