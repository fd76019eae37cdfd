#include "web/logon_throttle.h"

#include <algorithm>

namespace qv {

namespace {

int SecondsUntil(TLogonThrottle::Clock::time_point when, TLogonThrottle::Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::seconds>(when - now).count();
  return static_cast<int>(std::max<long long>(left, 1));
}

}  // namespace

TLogonThrottle::TLogonThrottle(int limit, size_t capacity)
    : limit_(std::max(limit, 0)), addresses_(capacity), names_(capacity) {}

int TLogonThrottle::Limit() const {
  std::lock_guard<std::mutex> guard(lock_);
  return limit_;
}

void TLogonThrottle::SetLimit(int limit) {
  std::lock_guard<std::mutex> guard(lock_);
  limit_ = std::max(limit, 0);
}

std::string TLogonThrottle::NameKey(std::string_view name) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  std::string key(name.substr(0, kMaxNameKey));
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

int TLogonThrottle::RetryAfter(const std::string& address, std::string_view name,
                               Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return 0;
  const size_t limit = static_cast<size_t>(limit_);
  const int seconds = std::max(addresses_.RetryAfter(address, limit, now),
                               names_.RetryAfter(NameKey(name), limit, now));
  if (seconds > 0) ++refused_;
  return seconds;
}

uint64_t TLogonThrottle::Refused() const {
  std::lock_guard<std::mutex> guard(lock_);
  return refused_;
}

void TLogonThrottle::Failed(const std::string& address, std::string_view name,
                            Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return;
  const size_t limit = static_cast<size_t>(limit_);
  addresses_.Add(address, limit, now);
  names_.Add(NameKey(name), limit, now);
}

void TLogonThrottle::Succeeded(const std::string& address) {
  std::lock_guard<std::mutex> guard(lock_);
  addresses_.Erase(address);
}

size_t TLogonThrottle::TrackedAddresses() const {
  std::lock_guard<std::mutex> guard(lock_);
  return addresses_.Size();
}

size_t TLogonThrottle::TrackedNames() const {
  std::lock_guard<std::mutex> guard(lock_);
  return names_.Size();
}

int TLogonThrottle::TCounter::RetryAfter(const std::string& key, size_t limit,
                                         Clock::time_point now) {
  DropExpired(now);
  const auto found = entries_.find(key);
  if (found == entries_.end()) return 0;
  std::deque<Clock::time_point>& failures = found->second.failures;
  while (!failures.empty() && failures.front() + kWindow <= now) failures.pop_front();
  if (failures.empty()) {
    Erase(key);
    return 0;
  }
  if (failures.size() < limit) return 0;
  // The oldest of the last `limit` failures leaves the window first.
  return SecondsUntil(failures[failures.size() - limit] + kWindow, now);
}

void TLogonThrottle::TCounter::Add(const std::string& key, size_t limit, Clock::time_point now) {
  DropExpired(now);
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    if (capacity_ == 0) return;
    if (entries_.size() >= capacity_) {
      entries_.erase(order_.front());
      order_.pop_front();
    }
    order_.push_back(key);
    found = entries_.emplace(key, Entry{{}, std::prev(order_.end())}).first;
  } else {
    order_.splice(order_.end(), order_, found->second.order);
  }
  std::deque<Clock::time_point>& failures = found->second.failures;
  failures.push_back(now);
  while (failures.size() > limit) failures.pop_front();
}

void TLogonThrottle::TCounter::Erase(const std::string& key) {
  const auto found = entries_.find(key);
  if (found == entries_.end()) return;
  order_.erase(found->second.order);
  entries_.erase(found);
}

void TLogonThrottle::TCounter::DropExpired(Clock::time_point now) {
  while (!order_.empty()) {
    const auto found = entries_.find(order_.front());
    const std::deque<Clock::time_point>& failures = found->second.failures;
    if (!failures.empty() && failures.back() + kWindow > now) break;
    entries_.erase(found);
    order_.pop_front();
  }
}

}  // namespace qv
