// The CPTED page: inspections newest start first, the date columns in select
// order under their header cells, unknown inspectors, NULL dates, no rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tab_page_test.h"
#include "tab_page_text.h"

namespace qv::pagetest {
namespace {

// The seven cell texts of one inspection row, in page order.
using Inspection = std::vector<std::string>;

std::string CptedPageText(std::string_view name, int32_t id,
                          const std::vector<Inspection>& inspections) {
  std::string s = TabPageStart("Property CPTED", name, id, 4) + std::string(kPlainTable) +
                  "<THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED<BR>Inpection Title<BR></B></P></TD>"
                  "<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Inpection<BR>By<BR></B></P></TD>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 2<BR>Started Date<BR>"
                  "</B></P></TD>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 2<BR>Check Back Date<BR>"
                  "</B></P></TD>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 2<BR>Completed Date<BR>"
                  "</B></P></TD>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 3<BR>Meeting Date<BR>"
                  "</B></P></TD>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Annual<BR>Renewal Date<BR>"
                  "</B></P></TD>"
                  "</TR></THEAD>" +
                  std::string(kRowStart);
  const std::string wide = "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>";
  const std::string narrow = "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>";
  if (inspections.empty()) {
    s += wide + "No Inspections <br></P></TD>" + narrow + " <br></P></TD>";
    for (int i = 0; i < 4; ++i) s += wide + " <br></P></TD>";
    s += wide + " <br></P></TD></TR>";
  }
  for (const Inspection& row : inspections) {
    for (size_t i = 0; i < row.size(); ++i) {
      const bool last = i + 1 == row.size();
      s += Cell(i == 1 ? narrow : wide, row[i], last ? "</P></TD></TR>" : "</P></TD>");
    }
  }
  return s + std::string(kTableEnd);
}

// Start, check-back, meeting, finish, renewal: the meeting date stands under
// "Completed Date" and the finish date under "Meeting Date".
const std::vector<Inspection> kInspectionsOf42 = {
    {"Autumn walk", "", "9/1/2011", "9/15/2011", "10/1/2011", "10/20/2011", "9/1/2012"},
    {"Spring walk", "rlopez", "4/1/2011", "5/1/2011", "6/1/2011", "7/1/2011", "4/1/2012"},
    {"Follow-up <i>", "", "", "", "", "", ""},  // unknown inspector, no dates
};

class CptedTest : public TabPageTest {
 protected:
  CptedTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (42, 'Harbor View');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME) VALUES (5, 'rlopez');"
        "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE, INSPEC_BY_ID, "
        "START_DATE, CK_BACK_DATE, MEETING_DATE, FINISH_DATE, RENEWAL_DATE, NOTE) VALUES "
        "(1, 42, 'Spring walk', 5, '2011-04-01', '2011-05-01', '2011-06-01', '2011-07-01', "
        "'2012-04-01', 'not shown');"
        "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE, INSPEC_BY_ID) VALUES "
        "(2, 42, 'Follow-up <i>', 99);"
        "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE, INSPEC_BY_ID, "
        "START_DATE, CK_BACK_DATE, MEETING_DATE, FINISH_DATE, RENEWAL_DATE) VALUES "
        "(3, 42, 'Autumn walk', NULL, '2011-09-01', '2011-09-15', '2011-10-01', '2011-10-20', "
        "'2012-09-01');"
        "INSERT INTO CPTED_INSPECS (CPTED_INSPECS_ID, PROPERTY_ID, TITLE) VALUES "
        "(4, 8, 'Elsewhere');");
  }
};

TEST_F(CptedTest, ListsInspectionsLatestStartFirst) {
  EXPECT_EQ(RunWith("CptedPage", "PROPID", "42"),
            CptedPageText("Harbor View", 42, kInspectionsOf42));
}

TEST_F(CptedTest, PropertyWithoutInspectionsShowsTheEmptyRow) {
  EXPECT_EQ(RunWith("CptedPage", "PROPID", "7"), CptedPageText("Elm Court", 7, {}));
}

TEST_F(CptedTest, PropidFormsOnOneSession) {
  ExpectIdForms("CptedPage", "PROPID",
                CptedPageText("Harbor View", 42, kInspectionsOf42),
                CptedPageText("", 0, {}));
}

}  // namespace
}  // namespace qv::pagetest
