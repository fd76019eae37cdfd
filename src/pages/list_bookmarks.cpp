#include "pages/list_bookmarks.h"

#include <cstdlib>
#include <utility>

namespace qv {

ListBookmarks::Search* ListBookmarks::Used(const std::string& search) {
  auto found = searches_.find(search);
  if (found == searches_.end()) return nullptr;
  const auto now = Clock::now();
  if (now - found->second.used > kMaxAge) {
    Drop(found);
    return nullptr;
  }
  Search& entry = found->second;
  entry.used = now;
  recent_.splice(recent_.begin(), recent_, entry.recent);
  return &entry;
}

ListBookmarks::Search& ListBookmarks::Kept(const std::string& search) {
  if (Search* entry = Used(search)) return *entry;
  if (searches_.size() >= kMaxSearches) Drop(searches_.find(recent_.back()));
  recent_.push_front(search);
  Search& entry = searches_[search];
  entry.recent = recent_.begin();
  entry.used = Clock::now();
  return entry;
}

void ListBookmarks::DropOrder(Search& entry) {
  if (entry.order) order_ids_ -= entry.order->size();
  entry.order.reset();
}

void ListBookmarks::Drop(std::unordered_map<std::string, Search>::iterator found) {
  DropOrder(found->second);
  recent_.erase(found->second.recent);
  searches_.erase(found);
}

std::optional<ListRowKey> ListBookmarks::Find(const std::string& search, int64_t offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  Search* entry = Used(search);
  if (entry == nullptr) return std::nullopt;
  auto at = entry->after.find(offset);
  if (at == entry->after.end()) return std::nullopt;
  return at->second;
}

void ListBookmarks::Remember(const std::string& search, int64_t offset, const ListRowKey& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  Search& entry = Kept(search);
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

std::shared_ptr<const ListOrder> ListBookmarks::FindOrder(const std::string& search) {
  std::lock_guard<std::mutex> lock(mutex_);
  Search* entry = Used(search);
  if (entry == nullptr || !entry->order) return nullptr;
  if (Clock::now() - entry->order_taken > kMaxOrderAge) {
    DropOrder(*entry);
    return nullptr;
  }
  return entry->order;
}

void ListBookmarks::RememberOrder(const std::string& search,
                                  std::shared_ptr<const ListOrder> order) {
  std::lock_guard<std::mutex> lock(mutex_);
  Search& entry = Kept(search);
  DropOrder(entry);
  if (!order || order->size() > kMaxOrderIds) return;
  // Room for it: the orders of the least recently used searches go first.
  for (auto older = recent_.rbegin(); order_ids_ + order->size() > kMaxOrderIds; ++older) {
    DropOrder(searches_.at(*older));
  }
  order_ids_ += order->size();
  entry.order = std::move(order);
  entry.order_taken = Clock::now();
}

ListBookmarks& SharedListBookmarks() {
  static ListBookmarks bookmarks;
  return bookmarks;
}

}  // namespace qv
