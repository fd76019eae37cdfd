// The Violations tab: a property's lease violations, one row each, every row
// linking to the violation's detail page.
#include "pages/page_frame.h"
#include "pages/tab_cells.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

enum class ViolationsColumn {
  kViolationId, kViolationDate, kAptNum, kCaseNum, kRequestPartnerNum, kEvictable,
  kTypeDescription, kActionDescription, kCount
};
constexpr QueryText<ViolationsColumn> kViolationsQuery{
    "SELECT V.VIOLATION_ID, V.VIOLATION_DATE, V.APT_NUM, V.CASE_NUM, V.REQUEST_PARTNER_NUM, "
    "V.EVICTABLE,\n"
    "(SELECT VT.DESCRIPTION FROM VIOLATION_TYPES VT WHERE VT.VIOLATION_TYPE_ID = "
    "V.VIOLATION_TYPE) AS V_TYPE_DESC,\n"
    "(SELECT VA.VIOLATION_ACTION_DESC FROM VIOLATION_ACTIONS VA WHERE VA.VIOLATION_ACTION_ID = "
    "V.PLANNED_ACTION) AS ACTION_DESC\n"
    "FROM VIOLATIONS V\n"
    "WHERE V.PROPERTY_ID = :PROPID"};

constexpr tabcells::Caption kActionCaption[] = {{"14%", "Action Description"}};

void WriteHead(PageContext& page, int32_t /*propertyId*/) {
  tabcells::WriteCaptionTable(page.out, tabcells::kViolationCaptions, kActionCaption);
}

void WriteRow(PageContext& page, const Cursor<ViolationsColumn>& violation) {
  tabcells::WriteViolationRow(page.out, violation);
}

void WriteRows(PageContext& page, int32_t property_id) {
  WriteEachRow(page, kViolationsQuery, property_id, WriteRow);
}

// The property is named by its name alone: its tabs keep the id asked for.
constexpr TabPageLayout kLayout{
    .title = "Property Violations",
    .heading = TabHeading::kNameOnly,
    .write_head = WriteHead,
    .write_rows = WriteRows,
    .end = "</TBODY></TABLE>",
};

}  // namespace

void ViolationsPage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv

