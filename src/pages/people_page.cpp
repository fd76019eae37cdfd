// The People tab: every person or company attached to a property, with type and
// phones.
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

void WriteHead(PageContext& page, int32_t /*propertyId*/) {
  PageStream& out = page.out;
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Person/Company<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Phone<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

void WriteRow(PageContext& page, Row& person) {
  PageStream& out = page.out;
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(person[0].AsString());
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(person[1].AsString());
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");

  // The entity's phones: one statement, run once per entity.
  Cursor& phones = page.db.Statement(kEntityPhonesQuery);
  phones.Params()[0].SetAsInteger(person[3].AsInteger());
  phones.Open();
  while (!phones.Eof()) {
    out.WriteString(phones.Fields()[0].AsString());
    out.WriteString("<br>");
    phones.Next();
  }
  phones.Close();

  out.WriteString("</B></P></TD>");
  out.WriteString("</TR></TBODY>");
}

// Each row closes the body it opened; nothing follows the last one.
constexpr TabPageLayout kLayout{
    .title = "Property People",
    .write_head = WriteHead,
    .rows = &kPeopleQuery,
    .write_row = WriteRow,
    .end = "",
};

}  // namespace

void PeoplePage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv
