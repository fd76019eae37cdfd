// The Violations tab: a property's lease violations, one row each, every row
// linking to the violation's detail page.
#include "pages/data_pages.h"
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

}  // namespace

// The property is named by its name alone: its tabs keep the id asked for.
ViolationsData ReadViolationsPage(PageContext& page) {
  ViolationsData data{ReadTabStart(page, "Property Violations", TabHeading::kNameOnly), {}};
  data.violations = ReadEachRow(page, kViolationsQuery, data.start.requested_id,
                                tabcells::ReadViolationSummary<ViolationsColumn>);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const ViolationsData& data) {
  WriteTabStart(out, entry, data.start);
  tabcells::WriteCaptionTable(out, tabcells::kViolationCaptions, kActionCaption);
  for (const ViolationSummary& violation : data.violations) {
    tabcells::WriteViolationRow(out, violation);
  }
  out.WriteString("</TBODY></TABLE>");
}

void ViolationsPage(PageContext& page) { RenderPage(page, ReadViolationsPage(page)); }

}  // namespace qv
