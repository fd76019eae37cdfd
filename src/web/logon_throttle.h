// Log-on throttling: failed log-ons counted per client address and per user
// name over a sliding window; once either has reached the limit, further
// attempts are refused until the window frees a place. An attempt takes its
// place before the database is asked (Reserve), so simultaneous attempts
// cannot pass the limit together; its outcome then settles the place.
// Bounded in memory.
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

class LogonThrottle {
  // How a reserved attempt ended.
  enum Outcome { kGiveBack, kSucceeded, kFailed };

 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::seconds kWindow{60};
  // Most addresses and most names followed at once; beyond that the one whose
  // latest failure is oldest is forgotten.
  static constexpr size_t kDefaultCapacity = 10000;
  // Longer names are counted by their first this many characters.
  static constexpr size_t kMaxNameKey = 128;

  // The place one log-on attempt holds while the database is asked. Granted
  // or refused (with the seconds to wait); a granted one is settled once by
  // Succeeded or Failed, and given back unsettled when it ends otherwise (the
  // check itself failed, so nothing was learnt).
  class Reservation {
   public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept;
    Reservation& operator=(Reservation&& other) noexcept;
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;
    ~Reservation();

    bool Granted() const { return retry_after_ == 0; }
    // Seconds until the address and the name may try again (at least 1) when
    // refused; 0 when granted.
    int RetryAfter() const { return retry_after_; }
    // The name and password were right: the place is given back and the
    // name's failures are forgotten. The address keeps its count, so a
    // visitor's own account does not wipe the failures made from there.
    void Succeeded();
    // Wrong name or password: the place stays, as a failure.
    void Failed();

   private:
    friend class LogonThrottle;
    void Settle(Outcome outcome);

    LogonThrottle* throttle_ = nullptr;  // set while a place is held
    std::string address_;
    std::string name_;
    Clock::time_point at_{};
    int retry_after_ = 0;
  };

  // limit: failures allowed in the window (0 switches throttling off).
  explicit LogonThrottle(int limit = 0, size_t capacity = kDefaultCapacity);

  int Limit() const;
  // Takes effect at once; counts already made are kept.
  void SetLimit(int limit);

  // Checks and counts in one step: granted when the address and the name are
  // both below the limit, counting attempts still being checked as failures.
  Reservation Reserve(const std::string& address, std::string_view name, Clock::time_point now);

  // Seconds until the address and the name may try again (at least 1), or 0
  // when an attempt may go ahead now. Only a look: Reserve is what holds a place.
  int RetryAfter(const std::string& address, std::string_view name, Clock::time_point now);
  // How many times Reserve has refused an attempt since the start.
  uint64_t Refused() const;
  // Counts a failure at once, without a reservation.
  void Failed(const std::string& address, std::string_view name, Clock::time_point now);

  // How many addresses and names are followed now.
  size_t TrackedAddresses() const;
  size_t TrackedNames() const;

  // The key of a name: blanks and control characters trimmed, upper-cased
  // (ASCII), cut to kMaxNameKey.
  static std::string NameKey(std::string_view name);

 private:
  void Settle(const Reservation& reservation, Outcome outcome);

  // The failures of one key, oldest first, at most `limit` kept, and the
  // attempts on it still being checked; ordered among the others by latest use.
  class Counter {
   public:
    explicit Counter(size_t capacity) : capacity_(capacity) {}
    // Seconds until a place frees, 0 when below the limit; attempts being
    // checked count as failures made now.
    int RetryAfter(const std::string& key, size_t limit, Clock::time_point now);
    void Add(const std::string& key, size_t limit, Clock::time_point now);
    void Hold(const std::string& key, Clock::time_point now);
    // Ends a hold; a failure is then counted at `at`.
    void Release(const std::string& key, bool failed, size_t limit, Clock::time_point at);
    // Forgets the key's failures; holds on it stay.
    void Clear(const std::string& key);
    size_t Size() const { return entries_.size(); }

   private:
    struct Entry {
      std::deque<Clock::time_point> failures;
      size_t held = 0;
      std::list<std::string>::iterator order;
    };
    // The key's entry, made (and moved to the newest place) when absent;
    // nullptr when nothing may be kept.
    Entry* Touch(const std::string& key, Clock::time_point now);
    void Erase(const std::string& key);
    // Forgets keys whose latest failure has left the window and that hold nothing.
    void DropExpired(Clock::time_point now);

    size_t capacity_;
    std::unordered_map<std::string, Entry> entries_;
    std::list<std::string> order_;  // least recently used first
  };

  mutable std::mutex lock_;
  int limit_;
  uint64_t refused_ = 0;
  Counter addresses_;
  Counter names_;
};

}  // namespace qv
