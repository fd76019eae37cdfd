// The People tab: every person or company attached to a property, with type and
// phones; and the property heading that opens the tab pages.
#include "pages/page_frame.h"
#include "pages/tab_page.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

void PropertyHeading(PageContext& page, int32_t requestedId) {
  TIB_Cursor& heading = page.db.Statement(kHeadingQuery);
  heading.Params()[0].SetAsInteger(requestedId);
  heading.Open();
  // No row: every column reads as NULL, so the name is empty and the tabs get 0.
  PropertyNameCell(page.out, heading.Fields()[0].AsString());
  PropertyTabs(page.out, heading.Fields()[1].AsInteger(), &page.entry);
  heading.Close();
}

void PeoplePage(PageContext& page) {
  TStringStream& out = page.out;
  TPageRequest& request = page.request;
  BeginPageTransaction(page.db);
  out.WriteString(frame::kBareHead);
  PageBanner(page, "Property People");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);
  PropertyHeading(page, requestedId);

  TIB_Cursor& people = page.db.Statement(kPeopleQuery);
  people.Params()[0].SetAsInteger(requestedId);
  people.Open();
  TIB_Cursor& phones = page.db.Statement(kEntityPhonesQuery);

  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Person/Company<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Phone<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");

  while (!people.Eof()) {
    out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(people.Fields()[0].AsString());
    out.WriteString("<BR></B></P></TD>");
    out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(people.Fields()[1].AsString());
    out.WriteString("<BR></B></P></TD>");
    out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");

    // The entity's phones: one statement, run once per entity.
    phones.Close();
    phones.Params()[0].SetAsInteger(people.Fields()[3].AsInteger());
    phones.Open();
    while (!phones.Eof()) {
      out.WriteString(phones.Fields()[0].AsString());
      out.WriteString("<br>");
      phones.Next();
    }

    out.WriteString("</B></P></TD>");
    out.WriteString("</TR></TBODY>");
    people.Next();
  }
  phones.Close();
  people.Close();
  EndPageTransaction(page.db);
}

}  // namespace qv
