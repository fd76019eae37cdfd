// The frame of the property tab pages.
#include "pages/tab_page.h"

#include <string>

#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

void PropertyHeading(PageContext& page, int32_t requestedId) {
  Cursor& heading = page.db.Statement(kHeadingQuery);
  heading.Params()[0].SetAsInteger(requestedId);
  heading.Open();
  // No row: every column reads as NULL, so the name is empty and the tabs get 0.
  PropertyNameCell(page.out, heading.Fields()[0].AsString());
  PropertyTabs(page.out, heading.Fields()[1].AsInteger(), &page.entry);
  heading.Close();
}

namespace {

void PropertyName(PageContext& page, int32_t requestedId) {
  Cursor& name = page.db.Statement(kPropertyNameQuery);
  name.Params()[0].SetAsInteger(requestedId);
  name.Open();
  const std::string propertyName = name.Fields()[0].AsString();
  name.Close();
  PropertyNameCell(page.out, propertyName);
  PropertyTabs(page.out, requestedId, &page.entry);
}

}  // namespace

void WriteTabPage(PageContext& page, const TabPageLayout& layout) {
  BeginPageTransaction(page.db);
  page.out.WriteString(frame::kBareHead);
  PageBanner(page, layout.title);
  const int32_t propertyId = ParseRequestInteger(page.request.Param("PROPID"), 0);
  if (layout.heading == TabHeading::kPropertyQuery) {
    PropertyHeading(page, propertyId);
  } else {
    PropertyName(page, propertyId);
  }
  layout.write_head(page, propertyId);

  // The query runs once: right after it opens, its first row is current, or
  // it is at its end when it yields none.
  Cursor& rows = page.db.Statement(*layout.rows);
  rows.Params()[0].SetAsInteger(propertyId);
  rows.Open();
  if (rows.Eof()) {
    if (layout.write_no_rows) layout.write_no_rows(page);
  }
  while (!rows.Eof()) {
    layout.write_row(page, rows.Fields());
    rows.Next();
  }
  rows.Close();
  page.out.WriteString(layout.end);
  EndPageTransaction(page.db);
}

}  // namespace qv
