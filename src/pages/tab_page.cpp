// The frame of the property tab pages.
#include "pages/tab_page.h"

#include "pages/page_frame.h"
#include "pages/page_statements.h"

namespace qv {

TabStartData ReadTabStart(PageContext& page, std::string_view title, TabHeading heading) {
  TabStartData start;
  start.banner = ReadBanner(page, title);
  start.requested_id = RecordId(page, "PROPID");
  start.id_given = RecordIdGiven(page, "PROPID");
  if (heading == TabHeading::kPropertyQuery) {
    const auto found = page.db.Query(kHeadingQuery, start.requested_id);
    // No row: every column reads as NULL, so the name is empty and the tabs get 0.
    start.found = !found.AtEnd();
    start.property_name = TextOf(found, HeadingColumn::kPropertyName);
    start.tabs_property_id = found.Integer(HeadingColumn::kPropertyId);
  } else {
    const auto found = page.db.Query(kPropertyNameQuery, start.requested_id);
    start.found = !found.AtEnd();
    start.property_name = TextOf(found, PropertyNameColumn::kPropertyName);
    start.tabs_property_id = start.requested_id;
  }
  return start;
}

void WriteTabStart(PageStream& out, const PageEntry& current, const TabStartData& start) {
  WriteRecordPageStart(out, start.banner);
  PropertyNameCell(out, Plain(start.property_name));
  PropertyTabs(out, start.tabs_property_id, &current);
}

}  // namespace qv
