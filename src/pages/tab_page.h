// The frame of a property tab page. The frame writes the bare head line and
// the banner, reads the PROPID parameter and writes the heading that names
// the property above the tab bar; a tab gives its table head and its rows.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/query.h"
#include "pages/page_context.h"

namespace qv {

// How a tab page names its property above the tab bar.
enum class TabHeading {
  // Name and id from the heading query; the tabs link the id found (0: none).
  kPropertyQuery,
  // The name alone; the tabs link the id asked for, found or not.
  kNameOnly,
};

struct TabPageLayout {
  // The banner's title.
  std::string_view title;
  TabHeading heading = TabHeading::kPropertyQuery;
  // The table head, up to the opening of the first row; the property id asked for.
  void (*write_head)(PageContext& page, int32_t property_id) = nullptr;
  // The rows, for the property id asked for (see WriteEachRow).
  void (*write_rows)(PageContext& page, int32_t property_id) = nullptr;
  // Written after the rows.
  std::string_view end;
};

// One whole tab page, the context's page being the current tab.
void WriteTabPage(PageContext& page, const TabPageLayout& layout);

// A tab's rows from its one query, run with the property id as its one
// parameter: each row written by `write_row`, or `write_no_rows` (when given)
// in their place when there is none.
template <ColumnList Column>
void WriteEachRow(PageContext& page, const QueryText<Column>& query, int32_t property_id,
                  void (*write_row)(PageContext& page, const Cursor<Column>& row),
                  void (*write_no_rows)(PageContext& page) = nullptr) {
  auto rows = page.db.Query(query, property_id);
  if (rows.AtEnd() && write_no_rows != nullptr) write_no_rows(page);
  for (; !rows.AtEnd(); rows.Next()) write_row(page, rows);
}

// The property's name (heading query) in its cell, then the tab bar with the
// context's page as the current tab, for the property the query found (0 when
// none).
void PropertyHeading(PageContext& page, int32_t requested_id);

}  // namespace qv
