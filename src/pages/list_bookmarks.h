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
//
// A search whose rows the server sorts (the area filter; the address search
// where its plan sorts) has no bookmarks: the order of its equal names is
// the one the sort of all its rows leaves. It has an order instead: the ids
// of all its rows in the sort's order, taken by the visitor's first page past
// the first one, from which the pages after it take their ten (the first page
// shows the sort's first ten and forgets the order). An order is kept for at
// most kMaxOrderAge and the orders together hold at most kMaxOrderIds ids
// (those of the least recently used searches go first). Without a change of
// the data the pages are those the sort gives page by page; rows added since
// the order was taken show when the visitor comes back to the first page or
// the order has aged.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv {

// One row's place in the list's order: name (NULL first), then record number.
struct ListRowKey {
  bool null_name = true;
  std::string name;  // the stored value, trailing blanks included
  int64_t record = 0;  // the record number
};

// The ids of all the rows of a sorted search, in the sort's order.
using ListOrder = std::vector<int32_t>;

class ListBookmarks {
 public:
  static constexpr size_t kMaxSearches = 4096;
  static constexpr size_t kMaxOffsets = 64;
  static constexpr std::chrono::minutes kMaxAge{30};
  static constexpr std::chrono::minutes kMaxOrderAge{5};
  static constexpr size_t kMaxOrderIds = 4'000'000;

  // The row after which the rows from `offset` on come, when known.
  std::optional<ListRowKey> Find(const std::string& search, int64_t offset);
  // Remembers that the rows from `offset` on come after `key`.
  void Remember(const std::string& search, int64_t offset, const ListRowKey& key);

  // The order of a sorted search, when one younger than kMaxOrderAge is kept.
  std::shared_ptr<const ListOrder> FindOrder(const std::string& search);
  // Keeps the order just taken of a sorted search (one larger than
  // kMaxOrderIds is not kept).
  void RememberOrder(const std::string& search, std::shared_ptr<const ListOrder> order);

 private:
  using Clock = std::chrono::steady_clock;
  struct Search {
    std::map<int64_t, ListRowKey> after;
    std::shared_ptr<const ListOrder> order;
    Clock::time_point used, order_taken;
    std::list<std::string>::iterator recent;
  };
  // The search, used now; null when it is not kept or has aged.
  Search* Used(const std::string& search);
  // The search, made when absent, used now.
  Search& Kept(const std::string& search);
  void DropOrder(Search& entry);
  void Drop(std::unordered_map<std::string, Search>::iterator found);

  std::mutex mutex_;
  std::unordered_map<std::string, Search> searches_;
  std::list<std::string> recent_;  // most recently used first
  size_t order_ids_ = 0;           // the ids of every order kept
};

// The bookmarks of this process.
ListBookmarks& SharedListBookmarks();

}  // namespace qv
