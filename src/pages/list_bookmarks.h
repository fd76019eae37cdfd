// Where the pages of a property-list search begin, remembered from the pages
// a visitor was shown, so that the next or previous page reads its ten rows
// from there instead of walking past every row before it.
//
// A bookmark says: the rows from offset N of this search on come after this
// row (its name and record number, the list's order). It is kept per visitor
// (the session) and search (the database, mode, area and search text), in
// this process only, and bounded: at most kMaxSearches searches, the least
// recently used going first, each with at most kMaxOffsets offsets, and none
// older than kMaxAge. A visitor without a session gets none.
//
// When the agency's data changes between two pages, a bookmark still names
// the last row the visitor was shown, so Next shows the rows that follow it
// now: no row is shown twice and none is skipped across the change, as
// walking to the page number would do; the page number in the links counts
// the pages this visitor went through. A page reached without a bookmark (a
// jump, a new visitor, an evicted search) walks to its offset as before.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace qv {

// One row's place in the list's order: name (NULL first), then record number.
struct ListRowKey {
  bool null_name = true;
  std::string name;  // the stored value, trailing blanks included
  int64_t record = 0;  // the record number
};

class ListBookmarks {
 public:
  static constexpr size_t kMaxSearches = 4096;
  static constexpr size_t kMaxOffsets = 64;
  static constexpr std::chrono::minutes kMaxAge{30};

  // The row after which the rows from `offset` on come, when known.
  std::optional<ListRowKey> Find(const std::string& search, int64_t offset);
  // Remembers that the rows from `offset` on come after `key`.
  void Remember(const std::string& search, int64_t offset, const ListRowKey& key);

 private:
  struct Search {
    std::map<int64_t, ListRowKey> after;
    std::chrono::steady_clock::time_point used;
    std::list<std::string>::iterator order;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Search> searches_;
  std::list<std::string> recent_;  // most recently used first
};

// The bookmarks of this process.
ListBookmarks& SharedListBookmarks();

}  // namespace qv
