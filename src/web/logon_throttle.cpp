#include "web/logon_throttle.h"

#include <algorithm>
#include <utility>

namespace qv {

namespace {

int SecondsUntil(LogonThrottle::Clock::time_point when, LogonThrottle::Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::seconds>(when - now).count();
  return static_cast<int>(std::max<long long>(left, 1));
}

}  // namespace

LogonThrottle::Reservation::Reservation(Reservation&& other) noexcept
    : throttle_(std::exchange(other.throttle_, nullptr)),
      address_(std::move(other.address_)),
      name_(std::move(other.name_)),
      at_(other.at_),
      retry_after_(other.retry_after_) {}

LogonThrottle::Reservation& LogonThrottle::Reservation::operator=(Reservation&& other) noexcept {
  if (this != &other) {
    Settle(kGiveBack);
    throttle_ = std::exchange(other.throttle_, nullptr);
    address_ = std::move(other.address_);
    name_ = std::move(other.name_);
    at_ = other.at_;
    retry_after_ = other.retry_after_;
  }
  return *this;
}

LogonThrottle::Reservation::~Reservation() { Settle(kGiveBack); }

void LogonThrottle::Reservation::Succeeded() { Settle(kSucceeded); }

void LogonThrottle::Reservation::Failed() { Settle(kFailed); }

void LogonThrottle::Reservation::Settle(Outcome outcome) {
  if (!throttle_) return;
  // Once only: the place is no longer held, whatever happens below.
  LogonThrottle* throttle = std::exchange(throttle_, nullptr);
  throttle->Settle(*this, outcome);
}

LogonThrottle::LogonThrottle(int limit, size_t capacity)
    : limit_(std::max(limit, 0)), addresses_(capacity), names_(capacity) {}

int LogonThrottle::Limit() const {
  std::lock_guard<std::mutex> guard(lock_);
  return limit_;
}

void LogonThrottle::SetLimit(int limit) {
  std::lock_guard<std::mutex> guard(lock_);
  limit_ = std::max(limit, 0);
}

std::string LogonThrottle::NameKey(std::string_view name) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  std::string key(name.substr(0, kMaxNameKey));
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

LogonThrottle::Reservation LogonThrottle::Reserve(const std::string& address, std::string_view name,
                                                    Clock::time_point now) {
  Reservation reservation;
  std::string key = NameKey(name);
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return reservation;  // granted, nothing held
  const size_t limit = static_cast<size_t>(limit_);
  reservation.retry_after_ =
      std::max(addresses_.RetryAfter(address, limit, now), names_.RetryAfter(key, limit, now));
  if (reservation.retry_after_ > 0) {
    ++refused_;
    return reservation;
  }
  addresses_.Hold(address, now);
  names_.Hold(key, now);
  reservation.throttle_ = this;
  reservation.address_ = address;
  reservation.name_ = std::move(key);
  reservation.at_ = now;
  return reservation;
}

void LogonThrottle::Settle(const Reservation& reservation, Outcome outcome) {
  std::lock_guard<std::mutex> guard(lock_);
  const size_t limit = static_cast<size_t>(limit_);
  // With throttling switched off meanwhile, a failure is not kept.
  const bool failed = outcome == kFailed && limit > 0;
  addresses_.Release(reservation.address_, failed, limit, reservation.at_);
  names_.Release(reservation.name_, failed, limit, reservation.at_);
  if (outcome == kSucceeded) names_.Clear(reservation.name_);
}

int LogonThrottle::RetryAfter(const std::string& address, std::string_view name,
                               Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return 0;
  const size_t limit = static_cast<size_t>(limit_);
  const int seconds = std::max(addresses_.RetryAfter(address, limit, now),
                               names_.RetryAfter(NameKey(name), limit, now));
  return seconds;
}

uint64_t LogonThrottle::Refused() const {
  std::lock_guard<std::mutex> guard(lock_);
  return refused_;
}

void LogonThrottle::Failed(const std::string& address, std::string_view name,
                            Clock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return;
  const size_t limit = static_cast<size_t>(limit_);
  addresses_.Add(address, limit, now);
  names_.Add(NameKey(name), limit, now);
}

size_t LogonThrottle::TrackedAddresses() const {
  std::lock_guard<std::mutex> guard(lock_);
  return addresses_.Size();
}

size_t LogonThrottle::TrackedNames() const {
  std::lock_guard<std::mutex> guard(lock_);
  return names_.Size();
}

int LogonThrottle::Counter::RetryAfter(const std::string& key, size_t limit,
                                         Clock::time_point now) {
  DropExpired(now);
  const auto found = entries_.find(key);
  if (found == entries_.end()) return 0;
  Entry& entry = found->second;
  std::deque<Clock::time_point>& failures = entry.failures;
  while (!failures.empty() && failures.front() + kWindow <= now) failures.pop_front();
  if (failures.empty() && entry.held == 0) {
    Erase(key);
    return 0;
  }
  const size_t counted = failures.size() + entry.held;
  if (counted < limit) return 0;
  // Attempts still being checked count as failures made now, after every
  // failure kept. A place frees when the oldest of the newest `limit` leaves
  // the window.
  const size_t oldest = counted - limit;
  const Clock::time_point leaves = oldest < failures.size() ? failures[oldest] : now;
  return SecondsUntil(leaves + kWindow, now);
}

LogonThrottle::Counter::Entry* LogonThrottle::Counter::Touch(const std::string& key,
                                                                 Clock::time_point now) {
  DropExpired(now);
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    if (capacity_ == 0) return nullptr;
    if (entries_.size() >= capacity_) {
      entries_.erase(order_.front());
      order_.pop_front();
    }
    order_.push_back(key);
    found = entries_.emplace(key, Entry{{}, 0, std::prev(order_.end())}).first;
  } else {
    order_.splice(order_.end(), order_, found->second.order);
  }
  return &found->second;
}

void LogonThrottle::Counter::Add(const std::string& key, size_t limit, Clock::time_point now) {
  Entry* entry = Touch(key, now);
  if (!entry) return;
  std::deque<Clock::time_point>& failures = entry->failures;
  // Attempts settle in any order: the failures stay sorted by time.
  failures.insert(std::upper_bound(failures.begin(), failures.end(), now), now);
  while (failures.size() > limit) failures.pop_front();
}

void LogonThrottle::Counter::Hold(const std::string& key, Clock::time_point now) {
  if (Entry* entry = Touch(key, now)) ++entry->held;
}

void LogonThrottle::Counter::Release(const std::string& key, bool failed, size_t limit,
                                       Clock::time_point at) {
  const auto found = entries_.find(key);
  // Forgotten meanwhile to make room: a failure is counted afresh.
  if (found != entries_.end() && found->second.held > 0) --found->second.held;
  if (failed) {
    Add(key, limit, at);
  } else if (found != entries_.end() && found->second.held == 0 && found->second.failures.empty()) {
    Erase(key);
  }
}

void LogonThrottle::Counter::Clear(const std::string& key) {
  const auto found = entries_.find(key);
  if (found == entries_.end()) return;
  found->second.failures.clear();
  if (found->second.held == 0) Erase(key);
}

void LogonThrottle::Counter::Erase(const std::string& key) {
  const auto found = entries_.find(key);
  if (found == entries_.end()) return;
  order_.erase(found->second.order);
  entries_.erase(found);
}

void LogonThrottle::Counter::DropExpired(Clock::time_point now) {
  while (!order_.empty()) {
    const auto found = entries_.find(order_.front());
    const Entry& entry = found->second;
    if (entry.held > 0) break;
    if (!entry.failures.empty() && entry.failures.back() + kWindow > now) break;
    entries_.erase(found);
    order_.pop_front();
  }
}

}  // namespace qv
