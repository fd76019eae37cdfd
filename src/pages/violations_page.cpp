// The Violations tab: a property's lease violations, one row each, every row
// linking to the violation's detail page; and the shared Yes/No text.
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"
#include "pages/tab_cells.h"

namespace qv {

namespace {

constexpr TStatementText kViolationsQuery{
    "SELECT V.VIOLATION_ID, V.VIOLATION_DATE, V.APT_NUM, V.CASE_NUM, V.REQUEST_PARTNER_NUM, "
    "V.EVICTABLE,\n"
    "(SELECT VT.DESCRIPTION FROM VIOLATION_TYPES VT WHERE VT.VIOLATION_TYPE_ID = "
    "V.VIOLATION_TYPE) AS V_TYPE_DESC,\n"
    "(SELECT VA.VIOLATION_ACTION_DESC FROM VIOLATION_ACTIONS VA WHERE VA.VIOLATION_ACTION_ID = "
    "V.PLANNED_ACTION) AS ACTION_DESC\n"
    "FROM VIOLATIONS V\n"
    "WHERE V.PROPERTY_ID = :PROPID"};

constexpr tabcells::TCaption kActionCaption[] = {{"14%", "Action Description"}};

}  // namespace

void tabcells::WriteViolationRow(TStringStream& out, TIB_Row& f) {
  out.WriteString("<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P><a href=\"/vdetail?vid=" + f[0].AsString() +
                  "\">" + f[1].AsString() + "</a><br></P></TD>");
  WriteValueCell(out, kGreyCell14, f[2].AsString());  // apartment
  WriteValueCell(out, kGreyCell14, f[3].AsString());  // case number
  WriteValueCell(out, kGreyCell14, f[4].AsString());  // request partner number
  WriteValueCell(out, kGreyCell14, YesNoText(f[5].AsInteger()));  // evictable
  WriteValueCell(out, kGreyCell14, f[6].AsString());  // type
  WriteValueCell(out, kGreyCell14, f[7].AsString(), kRowEnd);  // planned action
}

void ViolationsPage(PageContext& page) {
  TStringStream& out = page.out;
  TPageRequest& request = page.request;
  BeginPageTransaction(page.db);
  out.WriteString(frame::kBareHead);
  PageBanner(page, "Property Violations");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);

  TIB_Cursor& name = page.db.Statement(kPropertyNameQuery);
  name.Params()[0].SetAsInteger(requestedId);
  name.Open();
  const std::string propertyName = name.Fields()[0].AsString();
  name.Close();

  TIB_Cursor& violations = page.db.Statement(kViolationsQuery);
  violations.Params()[0].SetAsInteger(requestedId);
  violations.Open();

  PropertyNameCell(out, propertyName);
  PropertyTabs(out, requestedId, &page.entry);

  tabcells::WriteCaptionTable(out, tabcells::kViolationCaptions, kActionCaption);

  if (violations.RecordCount() < 1) {
    violations.Close();
  } else {
    while (!violations.Eof()) {
      tabcells::WriteViolationRow(out, violations.Fields());
      violations.Next();
    }
  }
  violations.Close();
  out.WriteString("</TBODY></TABLE>");
  EndPageTransaction(page.db);
}

}  // namespace qv
