// The frame of a property tab page. The frame writes the transaction bracket,
// the bare head line, the banner, reads the PROPID parameter and writes the
// heading that names the property above the tab bar; a tab gives its table
// head, its statement and how it writes one row.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/database_session.h"
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
  // The rows' statement, run with the property id as its one parameter.
  const StatementText* rows = nullptr;
  void (*write_row)(PageContext& page, Row& row) = nullptr;
  // Written in place of the rows when there is none (null: nothing).
  void (*write_no_rows)(PageContext& page) = nullptr;
  // When set, writes the rows in place of the three above: for a tab whose
  // rows come from more than one statement.
  void (*write_rows)(PageContext& page, int32_t property_id) = nullptr;
  // Written after the rows.
  std::string_view end;
};

// One whole tab page, the context's page being the current tab.
void WriteTabPage(PageContext& page, const TabPageLayout& layout);

// The property's name (heading query) in its cell, then the tab bar with the
// context's page as the current tab, for the property the query found (0 when
// none).
void PropertyHeading(PageContext& page, int32_t requested_id);

}  // namespace qv
