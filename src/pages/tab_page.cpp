// The frame of the property tab pages.
#include "pages/tab_page.h"

#include <string>

#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

void PropertyHeading(PageContext& page, int32_t requested_id) {
  Cursor& heading = page.db.Statement(kHeadingQuery);
  heading.Params()[0].SetAsInteger(requested_id);
  heading.Open();
  // No row: every column reads as NULL, so the name is empty and the tabs get 0.
  PropertyNameCell(page.out, heading.Fields()[0].AsString());
  PropertyTabs(page.out, heading.Fields()[1].AsInteger(), &page.entry);
  heading.Close();
}

namespace {

void PropertyName(PageContext& page, int32_t requested_id) {
  Cursor& name = page.db.Statement(kPropertyNameQuery);
  name.Params()[0].SetAsInteger(requested_id);
  name.Open();
  const std::string property_name = name.Fields()[0].AsString();
  name.Close();
  PropertyNameCell(page.out, property_name);
  PropertyTabs(page.out, requested_id, &page.entry);
}

// The rows of the layout's one statement.
void WriteRows(PageContext& page, const TabPageLayout& layout, int32_t property_id) {
  // The query runs once: right after it opens, its first row is current, or
  // it is at its end when it yields none.
  Cursor& rows = page.db.Statement(*layout.rows);
  rows.Params()[0].SetAsInteger(property_id);
  rows.Open();
  if (rows.Eof()) {
    if (layout.write_no_rows) layout.write_no_rows(page);
  }
  while (!rows.Eof()) {
    layout.write_row(page, rows.Fields());
    rows.Next();
  }
  rows.Close();
}

}  // namespace

void WriteTabPage(PageContext& page, const TabPageLayout& layout) {
  const int32_t property_id = BeginRecordPage(page, layout.title, "PROPID");
  if (layout.heading == TabHeading::kPropertyQuery) {
    PropertyHeading(page, property_id);
  } else {
    PropertyName(page, property_id);
  }
  layout.write_head(page, property_id);
  if (layout.write_rows) {
    layout.write_rows(page, property_id);
  } else {
    WriteRows(page, layout, property_id);
  }
  page.out.WriteString(layout.end);
}

}  // namespace qv
