// Log-on throttling: failed log-ons counted per client address and per user
// name over a sliding window; once either has reached the limit, further
// attempts are refused until the window frees a place. Bounded in memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qv {

class TLogonThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::seconds kWindow{60};
  // Most addresses and most names followed at once; beyond that the one whose
  // latest failure is oldest is forgotten.
  static constexpr size_t kDefaultCapacity = 10000;
  // Longer names are counted by their first this many characters.
  static constexpr size_t kMaxNameKey = 128;

  // limit: failures allowed in the window (0 switches throttling off).
  explicit TLogonThrottle(int limit = 0, size_t capacity = kDefaultCapacity);

  int Limit() const;
  // Takes effect at once; counts already made are kept.
  void SetLimit(int limit);

  // Seconds until the address and the name may try again (at least 1), or 0
  // when an attempt may go ahead now.
  int RetryAfter(const std::string& address, std::string_view name, Clock::time_point now);
  // How many times RetryAfter has refused an attempt since the start.
  uint64_t Refused() const;
  void Failed(const std::string& address, std::string_view name, Clock::time_point now);
  // A successful log-on clears the address's count.
  void Succeeded(const std::string& address);

  // How many addresses and names are followed now.
  size_t TrackedAddresses() const;
  size_t TrackedNames() const;

  // The key of a name: blanks and control characters trimmed, upper-cased
  // (ASCII), cut to kMaxNameKey.
  static std::string NameKey(std::string_view name);

 private:
  // The failures of one key, newest last, at most `limit` kept; ordered among
  // the others by latest failure.
  class TCounter {
   public:
    explicit TCounter(size_t capacity) : capacity_(capacity) {}
    // Seconds until a place frees, 0 when below the limit.
    int RetryAfter(const std::string& key, size_t limit, Clock::time_point now);
    void Add(const std::string& key, size_t limit, Clock::time_point now);
    void Erase(const std::string& key);
    size_t Size() const { return entries_.size(); }

   private:
    struct Entry {
      std::deque<Clock::time_point> failures;
      std::list<std::string>::iterator order;
    };
    // Forgets keys whose latest failure has left the window.
    void DropExpired(Clock::time_point now);

    size_t capacity_;
    std::unordered_map<std::string, Entry> entries_;
    std::list<std::string> order_;  // oldest latest failure first
  };

  mutable std::mutex lock_;
  int limit_;
  uint64_t refused_ = 0;
  TCounter addresses_;
  TCounter names_;
};

}  // namespace qv
