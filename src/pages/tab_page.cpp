// The frame of the property tab pages.
#include "pages/tab_page.h"

#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

void PropertyHeading(PageContext& page, int32_t requested_id) {
  const auto heading = page.db.Query(kHeadingQuery, requested_id);
  // No row: every column reads as NULL, so the name is empty and the tabs get 0.
  PropertyNameCell(page.out, heading.Text(HeadingColumn::kPropertyName));
  PropertyTabs(page.out, heading.Integer(HeadingColumn::kPropertyId), &page.entry);
}

namespace {

void PropertyName(PageContext& page, int32_t requested_id) {
  {
    const auto name = page.db.Query(kPropertyNameQuery, requested_id);
    PropertyNameCell(page.out, name.Text(PropertyNameColumn::kPropertyName));
  }
  PropertyTabs(page.out, requested_id, &page.entry);
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
  layout.write_rows(page, property_id);
  page.out.WriteString(layout.end);
}

}  // namespace qv
