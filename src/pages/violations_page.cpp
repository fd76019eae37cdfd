// The Violations tab: a property's lease violations, one row each, every row
// linking to the violation's detail page; and that row, which the detail page
// shows as well.
#include "pages/page_frame.h"
#include "pages/tab_cells.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

constexpr StatementText kViolationsQuery{
    "SELECT V.VIOLATION_ID, V.VIOLATION_DATE, V.APT_NUM, V.CASE_NUM, V.REQUEST_PARTNER_NUM, "
    "V.EVICTABLE,\n"
    "(SELECT VT.DESCRIPTION FROM VIOLATION_TYPES VT WHERE VT.VIOLATION_TYPE_ID = "
    "V.VIOLATION_TYPE) AS V_TYPE_DESC,\n"
    "(SELECT VA.VIOLATION_ACTION_DESC FROM VIOLATION_ACTIONS VA WHERE VA.VIOLATION_ACTION_ID = "
    "V.PLANNED_ACTION) AS ACTION_DESC\n"
    "FROM VIOLATIONS V\n"
    "WHERE V.PROPERTY_ID = :PROPID"};

constexpr tabcells::Caption kActionCaption[] = {{"14%", "Action Description"}};

}  // namespace

void tabcells::WriteViolationRow(PageStream& out, Row& f) {
  out.WriteString("<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P><a href=\"/vdetail?vid=" + f[0].AsString() +
                  "\">" + f[1].AsString() + "</a><br></P></TD>");
  WriteValueCell(out, kGreyCell14, f[2].AsString());  // apartment
  WriteValueCell(out, kGreyCell14, f[3].AsString());  // case number
  WriteValueCell(out, kGreyCell14, f[4].AsString());  // request partner number
  WriteValueCell(out, kGreyCell14, YesNoText(f[5].AsInteger()));  // evictable
  WriteValueCell(out, kGreyCell14, f[6].AsString());  // type
  WriteValueCell(out, kGreyCell14, f[7].AsString(), kRowEnd);  // planned action
}

namespace {

void WriteHead(PageContext& page, int32_t /*propertyId*/) {
  tabcells::WriteCaptionTable(page.out, tabcells::kViolationCaptions, kActionCaption);
}

void WriteRow(PageContext& page, Row& violation) {
  tabcells::WriteViolationRow(page.out, violation);
}

// The property is named by its name alone: its tabs keep the id asked for.
constexpr TabPageLayout kLayout{
    .title = "Property Violations",
    .heading = TabHeading::kNameOnly,
    .write_head = WriteHead,
    .rows = &kViolationsQuery,
    .write_row = WriteRow,
    .end = "</TBODY></TABLE>",
};

}  // namespace

void ViolationsPage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv

