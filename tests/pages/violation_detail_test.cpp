// The violation detail page: the violation's three tables under the tabs of its
// property, the violators table, and violations that are missing or belong to
// no property.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tab_page_test.h"
#include "tab_page_text.h"
#include "violation_rows.h"

namespace qv::pagetest {
namespace {

struct Detail {
  ViolationRow row;
  std::string police, eviction_date, eviction_desc, contact_date, contact_by;
  std::string notice_date, plan_received, lease_begin, lease_end, plan_sent;
};

struct Violator {
  std::string first, middle, last, status, living_there, id1, id2, birth;
};

std::string HeaderCell(std::string_view width, std::string_view caption) {
  return "<TD WIDTH=" + std::string(width) + " bgcolor=\"#99CCFF\"><B><P>" + std::string(caption) +
         "<BR></P></B></TD>";
}

std::string FiveCellTable(const std::string (&captions)[5], const std::string (&values)[5]) {
  const std::string_view cell = "<TD WIDTH=20% bgcolor=\"#E8E8E8\"><P>";
  std::string s = std::string(kPlainTable) + "<THEAD><TR VALIGN=TOP>";
  for (const std::string& c : captions) s += HeaderCell("20%", c);
  s += "</TR></THEAD>" + std::string(kRowStart);
  for (int i = 0; i < 5; ++i) s += Cell(cell, values[i], i == 4 ? "</P></TD></TR>" : "</P></TD>");
  return s;
}

std::string DetailPageText(std::string_view name, int32_t tabs_id, const std::optional<Detail>& d,
                           const std::vector<Violator>& violators) {
  std::string s = TabPageStart("Property Violation Detail", name, tabs_id, 6) +
                  ViolationTableHead("Planned Action");
  if (d) {
    s += ViolationRowText(d->row);
    s += FiveCellTable({"Police Action", "Eviction Date", "Eviction Desc", "Mgr Contact Date",
                        "Mgr Contact By"},
                       {d->police, d->eviction_date, d->eviction_desc, d->contact_date, d->contact_by});
    s += FiveCellTable({"Notice Letter Date", "Action Plan Recieved", "Lease Begin Date",
                        "Lease End Date", "Action Plan Sent"},
                       {d->notice_date, d->plan_received, d->lease_begin, d->lease_end, d->plan_sent});
  }
  s += std::string(kPlainTable) +
       "<TBODY><THEAD><TR VALIGN=TOP><TH WIDTH=100% bgcolor=\"#E8E8E8\">"
       "<div style=\"text-align: center;\"><big><big><b>Violators</big></big></b></TH>" +
       std::string(kPlainTable) + "<THEAD><TR VALIGN=TOP>" + HeaderCell("16%", "First Name") +
       HeaderCell("12%", "Middle Name") + HeaderCell("12%", "Last Name") +
       HeaderCell("12%", "Resident Status") + HeaderCell("12%", "Living There Now") +
       HeaderCell("12%", "ID 1") + HeaderCell("12%", "ID 2") + HeaderCell("12%", "Date Of Birth") +
       "</TR></THEAD>" + std::string(kRowStart);
  const std::string_view first = "<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P>";
  const std::string_view other = "<TD WIDTH=12% bgcolor=\"#E8E8E8\"><P>";
  for (const Violator& v : violators) {
    s += Cell(first, v.first) + Cell(other, v.middle) + Cell(other, v.last) + Cell(other, v.status) +
         Cell(other, v.living_there) + Cell(other, v.id1) + Cell(other, v.id2) +
         Cell(other, v.birth, "</P></TD></TR>");
  }
  return s + std::string(kTableEnd);
}

const Detail kViolation42 = {
    {"42", "5/6/2013", "4B", "C-100", "RP-1", "Yes", "Noise", "Warning letter"},
    "Report filed", "6/1/2013", "Tenant moved <out>", "5/8/2013", "J. Manager",
    "5/10/2013", "5/20/2013", "1/1/2012", "12/31/2013", "5/15/2013"};
const std::vector<Violator> kViolatorsOf42 = {
    {"Al", "B", "Cole", "Tenant", "Yes", "DL123", "SS-9", "2/3/1980"},
    {"Bo", "", "Dean", "", "No", "", "", ""},  // NULLs, unknown status
};
// Violation 43: no violators, unknown police action, no dates.
const Detail kViolation43 = {
    {"43", "", "", "", "", "No", "", ""}, "", "", "", "", "", "", "", "", "", ""};

class ViolationDetailTest : public TabPageTest {
 protected:
  ViolationDetailTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (3, 'Maple Row');" +
        std::string(kViolationLookupRows) + FullViolationRow(42, 3, "Tenant moved <out>") +
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, EVICTABLE, POLICE_ACTION) "
        "VALUES (43, 3, 0, 99);"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, APT_NUM) "
        "VALUES (44, NULL, '2014-02-02', '9Z');"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, EVICTABLE) VALUES (45, 9, -1);"
        "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID, VIOLATOR_FIRST_NAME, "
        "VIOLATOR_MIDDLE_NAME, VIOLATOR_LAST_NAME, VIOLATOR_STATUS, VIOLATOR_LIVINGTHERENOW, "
        "VIOLATOR_ID1, VIOLATOR_ID2, VIOLATOR_DOB) "
        "VALUES (1, 42, 'Al', 'B', 'Cole', 1, 1, 'DL123', 'SS-9', '1980-02-03');"
        "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID, VIOLATOR_FIRST_NAME, "
        "VIOLATOR_LAST_NAME, VIOLATOR_STATUS) VALUES (2, 42, 'Bo', 'Dean', 99);"
        "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID, VIOLATOR_FIRST_NAME, "
        "VIOLATOR_LAST_NAME, VIOLATOR_LIVINGTHERENOW) VALUES (3, 44, 'Cy', 'Ford', 0);");
  }
};

TEST_F(ViolationDetailTest, ShowsTheViolationUnderItsPropertysTabsWithItsViolators) {
  EXPECT_EQ(RunWith("ViolationDetailPage", "VID", "42"),
            DetailPageText("Maple Row", 3, kViolation42, kViolatorsOf42));
}

TEST_F(ViolationDetailTest, ViolationWithoutViolatorsClosesTheEmptyViolatorsTable) {
  EXPECT_EQ(RunWith("ViolationDetailPage", "VID", "43"),
            DetailPageText("Maple Row", 3, kViolation43, {}));
}

// Missing violations and violations of no property give a page without a
// property: empty name, tabs for property 0, no violation rows.
TEST_F(ViolationDetailTest, ViolationOfNoPropertyShowsOnlyItsViolators) {
  EXPECT_EQ(RunWith("ViolationDetailPage", "VID", "44"),
            DetailPageText("", 0, std::nullopt, {{"Cy", "", "Ford", "", "No", "", "", ""}}));
}

// Violation 45 names property 9, which has no row: no name, but the tabs and
// the violation's tables are those of property 9.
TEST_F(ViolationDetailTest, ViolationOfAPropertyWithoutRowKeepsItsPropertyId) {
  const Detail d = {{"45", "", "", "", "", "Yes", "", ""}, "", "", "", "", "", "", "", "", "", ""};
  EXPECT_EQ(RunWith("ViolationDetailPage", "VID", "45"), DetailPageText("", 9, d, {}));
}

TEST_F(ViolationDetailTest, VidFormsAndMissingViolationsOnOneSession) {
  ExpectIdForms("ViolationDetailPage", "VID",
                DetailPageText("Maple Row", 3, kViolation42, kViolatorsOf42),
                DetailPageText("", 0, std::nullopt, {}));
  EXPECT_EQ(RunWith("ViolationDetailPage", "VID", "999"),
            DetailPageText("", 0, std::nullopt, {}));
  EXPECT_FALSE(HoldsSnapshot(session));
}

}  // namespace
}  // namespace qv::pagetest
