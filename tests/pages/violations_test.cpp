// The Violations page: one linked row per violation, the Yes/No of EVICTABLE,
// NULL dates and unknown lookups, properties without violations.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "pages/page_frame.h"
#include "pages/tab_cells.h"
#include "tab_page_test.h"
#include "tab_page_text.h"

namespace qv::pagetest {
namespace {

std::string ViolationsPageText(std::string_view name, int32_t id,
                               const std::vector<ViolationRow>& rows) {
  std::string s = TabPageStart("Property Violations", name, id, 6) +
                  ViolationTableHead("Action Description");
  for (const ViolationRow& v : rows) s += ViolationRowText(v);
  return s + std::string(kTableEnd);
}

const std::vector<ViolationRow> kViolationsOf42 = {
    {"12", "5/6/2013", "4B", "C-100", "RP-1", "No", "Noise", "Warning letter"},  // NULL evictable
    {"13", "", "5A", "C-101", "RP-2", "Yes", "", ""},  // no date, unknown lookups
    {"14", "7/8/2013", "", "", "", "Yes", "Noise <loud>", ""},  // evictable 7
    {"15", "8/9/2013", "6C", "C-103", "RP-4", "No", "Noise <loud>", "Warning letter"},
};

class ViolationsTest : public TabPageTest {
 protected:
  ViolationsTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (42, 'Harbor View');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
        "INSERT INTO VIOLATION_TYPES (VIOLATION_TYPE_ID, DESCRIPTION) VALUES (1, 'Noise');"
        "INSERT INTO VIOLATION_TYPES (VIOLATION_TYPE_ID, DESCRIPTION) VALUES (2, 'Noise <loud>');"
        "INSERT INTO VIOLATION_ACTIONS (VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC) "
        "VALUES (1, 'Warning letter');"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, APT_NUM, CASE_NUM, "
        "REQUEST_PARTNER_NUM, EVICTABLE, VIOLATION_TYPE, PLANNED_ACTION) "
        "VALUES (12, 42, '2013-05-06', '4B', 'C-100', 'RP-1', NULL, 1, 1);"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, APT_NUM, CASE_NUM, "
        "REQUEST_PARTNER_NUM, EVICTABLE, VIOLATION_TYPE, PLANNED_ACTION) "
        "VALUES (13, 42, NULL, '5A', 'C-101', 'RP-2', 1, 99, 99);"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, EVICTABLE, "
        "VIOLATION_TYPE) VALUES (14, 42, '2013-07-08', 7, 2);"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, APT_NUM, CASE_NUM, "
        "REQUEST_PARTNER_NUM, EVICTABLE, VIOLATION_TYPE, PLANNED_ACTION) "
        "VALUES (15, 42, '2013-08-09', '6C', 'C-103', 'RP-4', 0, 2, 1);"
        "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE) "
        "VALUES (16, 8, '2013-01-01');");
  }
};

TEST_F(ViolationsTest, ListsEveryViolationWithItsDetailLink) {
  EXPECT_EQ(RunWith("ViolationsPage", "PROPID", "42"),
            ViolationsPageText("Harbor View", 42, kViolationsOf42));
}

TEST_F(ViolationsTest, PropertyWithoutViolationsClosesTheEmptyTable) {
  EXPECT_EQ(RunWith("ViolationsPage", "PROPID", "7"),
            ViolationsPageText("Elm Court", 7, {}));
}

TEST_F(ViolationsTest, PropidFormsOnOneSession) {
  ExpectIdForms("ViolationsPage", "PROPID",
                ViolationsPageText("Harbor View", 42, kViolationsOf42),
                ViolationsPageText("", 0, {}));
}

TEST_F(ViolationsTest, PropertyThatDoesNotExistKeepsTheRequestedIdInItsTabs) {
  EXPECT_EQ(RunWith("ViolationsPage", "PROPID", "-5"), ViolationsPageText("", -5, {}));
}

TEST(YesNoTextTest, NonZeroIsYes) {
  const struct {
    int32_t value;
    const char* text;
  } cases[] = {{0, "No"}, {1, "Yes"}, {-1, "Yes"}, {7, "Yes"}, {INT32_MIN, "Yes"}};
  for (const auto& c : cases) EXPECT_EQ(tabcells::YesNoText(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace qv::pagetest
