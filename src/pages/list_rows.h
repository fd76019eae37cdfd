// The rows of one property-list page: at most ten, in the order of the
// list's own statement, read the cheapest way that keeps that order.
#pragma once

#include <cstdint>
#include <string>

#include <vector>

#include "pages/page_context.h"
#include "pages/page_data.h"
#include "pages/page_statements.h"

namespace qv {

// What the rows of a list page depend on.
struct ListSearch {
  ListSearchMode mode = ListSearchMode::kNone;
  std::string search_value;  // the address value or the name value, by mode
  bool area_filter = false;
  std::string area;
  int32_t skip = 0;  // the rows before the page
};

// The search a list request asks for: mode, value and area; skip from its
// page. Fills the page's request fields of `data` too, when given.
ListSearch ReadListSearch(const PageRequest& request, PropertyListData* data = nullptr);

// Reads the page's rows.
//
// Where the server walks the name index for the list's statement (no area
// filter; its plan), equal names come in record order and keyset statements
// read the page: from the visitor's bookmark of where it begins, else by
// walking to it. Where the server sorts (the area filter; the address search
// on many databases) only the sort of all the rows gives the order of equal
// names: the first page runs the statement for its ten rows; a visitor's
// later page takes the order of all the rows once, and the pages after it
// show ten of them each; without a session, or when rows of the order have
// gone, the page runs the statement itself.
std::vector<ListedProperty> ReadListRows(PageContext& page, const ListSearch& search);

}  // namespace qv
