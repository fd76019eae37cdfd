#include "pages/list_bookmarks.h"

#include <cstdlib>

namespace qv {

std::optional<ListRowKey> ListBookmarks::Find(const std::string& search, int64_t offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = searches_.find(search);
  if (found == searches_.end()) return std::nullopt;
  Search& entry = found->second;
  const auto now = std::chrono::steady_clock::now();
  if (now - entry.used > kMaxAge) {
    recent_.erase(entry.order);
    searches_.erase(found);
    return std::nullopt;
  }
  entry.used = now;
  recent_.splice(recent_.begin(), recent_, entry.order);
  auto at = entry.after.find(offset);
  if (at == entry.after.end()) return std::nullopt;
  return at->second;
}

void ListBookmarks::Remember(const std::string& search, int64_t offset, const ListRowKey& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = searches_.find(search);
  if (found == searches_.end()) {
    if (searches_.size() >= kMaxSearches) {
      searches_.erase(recent_.back());
      recent_.pop_back();
    }
    recent_.push_front(search);
    found = searches_.emplace(search, Search{{}, {}, recent_.begin()}).first;
  } else {
    recent_.splice(recent_.begin(), recent_, found->second.order);
  }
  Search& entry = found->second;
  entry.used = std::chrono::steady_clock::now();
  entry.after[offset] = key;
  // Too many offsets: drop the one farthest from where the visitor is now.
  while (entry.after.size() > kMaxOffsets) {
    auto first = entry.after.begin();
    auto last = std::prev(entry.after.end());
    entry.after.erase(std::llabs(first->first - offset) >= std::llabs(last->first - offset)
                          ? first
                          : last);
  }
}

ListBookmarks& SharedListBookmarks() {
  static ListBookmarks bookmarks;
  return bookmarks;
}

}  // namespace qv
