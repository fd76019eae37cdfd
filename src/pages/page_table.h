// The table of pages: one row per page with what the router, the tab bar and
// the request metrics need of it. A new page is its file and its row.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace qv {

struct PageContext;

// A page writes one whole HTML page into the context's stream.
using PageHandler = void (*)(PageContext& page);

// How the router comes to a page.
enum class PageReach {
  kKeyword,     // a logged-on visitor whose path holds the keyword (keywords by rank)
  kStart,       // the path "" or "/", and every path of a logged-out visitor
  kLogOnForm,   // a path holding the keyword, whatever the log-on state
  kLogOnCheck,  // a path holding the keyword: the check of a submitted name and password
  kFallback,    // a logged-on visitor's path that holds no keyword
};

// A property tab: its cell in the tab bar. The cell of the page shown is
// "      <TH WIDTH=" width "% bgcolor=\"#51C2F9\"><P>" caption "</P></th>"; every
// other one links to the same property's page, "      <TH WIDTH=" width
// "% bgcolor=\"#3399FF\">" then, in a paragraph when `paragraph` is set,
// "<a href=\"" link the property id "\">" caption "</a><br>". The widths come
// from the number of tabs (TabWidth).
struct TabCell {
  std::string_view link;
  std::string_view caption;
  bool paragraph = false;
};

struct PageEntry {
  std::string_view name;
  PageReach reach = PageReach::kKeyword;
  // Upper case; tested as a substring of the upper-cased path.
  std::string_view keyword;
  // Keyword pages: the order in which the router tests their keywords (1
  // first, the first found wins); 0 for the others.
  int rank = 0;
  // The page's name in the request metrics.
  std::string_view label;
  // Property tabs appear in the tab bar in the order of their rows.
  std::optional<TabCell> tab;
  PageHandler handler = nullptr;
  // The page answers its data as JSON too, when the request prefers it.
  bool answers_data = false;
  // The page answers CSV too, when the request prefers it.
  bool answers_csv = false;
};

// Every page, in the order of the table.
std::span<const PageEntry> PageTable();
// The page of that name; raises for a name the table does not hold.
const PageEntry& PageNamed(std::string_view name);
// The rows that are property tabs, in the order of the tab bar.
std::span<const PageEntry* const> PropertyTabRows();

// The width in percent of the tab at `position` of a bar of `tabs` tabs: each
// an equal share, the first one with what the shares leave of the 100.
constexpr int TabWidth(size_t position, size_t tabs) {
  const int share = 100 / static_cast<int>(tabs);
  return position == 0 ? 100 - share * static_cast<int>(tabs - 1) : share;
}

}  // namespace qv
