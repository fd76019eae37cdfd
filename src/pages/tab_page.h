// The frame of a property tab page. A tab page reads the banner, the PROPID
// parameter and the property it names above the tab bar (ReadTabStart), then
// its own rows; its HTML starts with the bare head line, the banner and the
// heading that names the property above the tab bar (WriteTabStart), then a
// tab gives its table head and its rows.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "db/query.h"
#include "pages/page_context.h"
#include "pages/page_data.h"

namespace qv {

// How a tab page names its property above the tab bar.
enum class TabHeading {
  // Name and id from the heading query; the tabs link the id found (0: none).
  kPropertyQuery,
  // The name alone; the tabs link the id asked for, found or not.
  kNameOnly,
};

// The banner with `title`, the id asked for and the property's heading.
TabStartData ReadTabStart(PageContext& page, std::string_view title, TabHeading heading);
// The bare head, the banner, the property's name and the tab bar with
// `current` as the current tab.
void WriteTabStart(PageStream& out, const PageEntry& current, const TabStartData& start);

// A tab's rows from its one query, run with the property id as its one
// parameter, each read by `read_row`.
template <ColumnList Column, typename Row>
std::vector<Row> ReadEachRow(PageContext& page, const QueryText<Column>& query,
                             int32_t property_id, Row (*read_row)(const Cursor<Column>& row)) {
  std::vector<Row> rows;
  for (auto cursor = page.db.Query(query, property_id); !cursor.AtEnd(); cursor.Next()) {
    rows.push_back(read_row(cursor));
  }
  return rows;
}

}  // namespace qv
