// Log-on throttling. Failed log-ons are counted over a sliding window on three
// keys: the pair of address and user name, the address, and the name.
//
// - A pair locks at the limit (LogonFailures): the fifth wrong password for
//   one name from one address locks that pair until the window frees a place.
// - An address locks at a higher ceiling of its own (kAddressCeiling times the
//   limit, over every name it tried), against one address spraying many names.
//   Below it, a name the address has not failed on is always checked, so one
//   clerk's typos never lock an office behind one address out.
// - A name reaches its ceiling (kNameCeiling times the limit) when failures
//   for it come from several addresses; from then on an address that has
//   failed on that name within kNameMemory is refused, while one that has not
//   is always checked: a stranger cannot keep the user out. Only an attack
//   from more addresses than the table can remember can: once the throttle
//   has had to forget an address that failed on a name at its ceiling, that
//   name refuses every address whenever it is at its ceiling, for
//   kNameMemory, so that forgotten addresses get no guesses of their own.
//
// An IPv6 address counts by its /64 (one host holds a whole /64), an
// IPv4-mapped one as its IPv4 address. An attempt takes its places before the
// database is asked (Reserve), so simultaneous attempts cannot pass a limit
// together; its outcome then settles them. Keys are kept as keyed hashes, in
// a table of bounded size: when it is full, the entry that matters least is
// forgotten (one that no longer counts, then an old single failure), never a
// locked address or name, nor one with an attempt being checked.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

class LogonThrottle {
  // How a reserved attempt ended.
  enum Outcome { kGiveBack, kSucceeded, kFailed };

 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::seconds kWindow{60};
  // How long a failure on a name is held against its address while the name
  // is at its ceiling.
  static constexpr std::chrono::seconds kNameMemory{3600};
  // An address's ceiling and a name's, as multiples of the limit.
  static constexpr int kAddressCeiling = 4;
  static constexpr int kNameCeiling = 2;
  // Entries (addresses, names, pairs) followed at most.
  static constexpr size_t kDefaultCapacity = 200000;
  // Entries looked at, least recently used first, for one to forget.
  static constexpr size_t kForgetSearch = 256;
  // Longer names are counted by their first this many characters.
  static constexpr size_t kMaxNameKey = 128;

  // The places one log-on attempt holds while the database is asked. Granted
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
    // Seconds until the attempt may be made again (at least 1) when
    // refused; 0 when granted.
    int RetryAfter() const { return retry_after_; }
    // The name and password were right: the places are given back and the
    // pair's failures forgotten. The address and the name keep theirs, so
    // an attacker's own account wipes nothing, nor does the user's log-on
    // end an attack on the name.
    void Succeeded();
    // Wrong name or password: the places stay, as failures.
    void Failed();

   private:
    friend class LogonThrottle;
    void Settle(Outcome outcome);

    LogonThrottle* throttle_ = nullptr;  // set while places are held
    uint64_t keys_[3] = {};              // address, name, pair
    bool held_[3] = {};                  // which of them hold a place
    Clock::time_point at_{};
    int retry_after_ = 0;
  };

  // limit: failures allowed per pair in the window (0 switches throttling off).
  explicit LogonThrottle(int limit = 0, size_t capacity = kDefaultCapacity);

  int Limit() const;
  // Takes effect at once; counts already made are kept.
  void SetLimit(int limit);

  // Checks and counts in one step (attempts still being checked count as
  // failures made now): granted unless the pair is locked, the address is
  // at its ceiling, or the name is at its ceiling and the address has
  // failed on it.
  Reservation Reserve(const std::string& address, std::string_view name, Clock::time_point now);

  // Seconds until the address may try the name again (at least 1), or 0 when
  // it may now. Only a look: Reserve is what holds places.
  int RetryAfter(const std::string& address, std::string_view name, Clock::time_point now);
  // How many times Reserve has refused an attempt since the start.
  uint64_t Refused() const;
  // Counts a failure at once, without a reservation.
  void Failed(const std::string& address, std::string_view name, Clock::time_point now);

  // Entries followed now, and entries forgotten to make room since the start.
  size_t Tracked() const;
  uint64_t Forgotten() const;

  // The key of a name: blanks and control characters trimmed, upper-cased
  // (ASCII), cut to kMaxNameKey.
  static std::string NameKey(std::string_view name);
  // The key of an address: an IPv6 address's /64 ("2001:db8:1:2::/64"), an
  // IPv4-mapped address's IPv4 text, any other text as it is.
  static std::string AddressKey(std::string_view address);

 private:
  enum class Kind : uint8_t { kAddress, kName, kPair };
  enum Slot { kAddressSlot, kNameSlot, kPairSlot };

  struct Entry {
    Kind kind = Kind::kAddress;
    uint32_t held = 0;
    uint64_t name = 0;  // a pair's name key
    // A name's: until then it refuses every address at its ceiling, since
    // addresses that failed on it were forgotten.
    Clock::time_point closed_until{};
    std::vector<Clock::time_point> failures;  // oldest first, at most the kind's ceiling
    std::list<uint64_t>::iterator order;
  };

  struct Keys {
    uint64_t key[3];
  };
  Keys KeysOf(const std::string& address, std::string_view name) const;

  // Everything below runs under lock_.
  void Settle(const Reservation& reservation, Outcome outcome);
  int RetryAfterLocked(const Keys& keys, Clock::time_point now);
  size_t Ceiling(Kind kind) const;
  // Failures within the window plus attempts being checked.
  static size_t Counted(const Entry& entry, Clock::time_point now);
  bool AtCeiling(const Entry& entry, Clock::time_point now) const;
  // Seconds until an entry at its ceiling frees a place.
  int SecondsToPlace(const Entry& entry, Clock::time_point now) const;
  // The pair's address has failed on its name within kNameMemory, or is
  // trying it now.
  static bool HasFailed(const Entry* pair, Clock::time_point now);
  Entry* Find(uint64_t key);
  // The entry, made when absent (null when there is no room), now the most
  // recently used.
  Entry* Touch(uint64_t key, Kind kind, uint64_t name, Clock::time_point now);
  void AddFailure(uint64_t key, Kind kind, uint64_t name, Clock::time_point at);
  // Forgets an entry that holds nothing any more.
  void EraseIfEmpty(uint64_t key, Clock::time_point now);
  void Erase(uint64_t key);
  // Forgets the least recently used entries that no longer count.
  void DropExpired(Clock::time_point now);
  bool Expired(const Entry& entry, Clock::time_point now) const;
  // How much forgetting the entry would cost; -1: it must not be forgotten.
  int Harm(const Entry& entry, Clock::time_point now);
  // Forgets the entry that matters least among the oldest; false when none may go.
  bool MakeRoom(Clock::time_point now);

  mutable std::mutex lock_;
  int limit_;
  size_t capacity_;
  uint64_t refused_ = 0;
  uint64_t forgotten_ = 0;
  uint64_t secret_[2];
  std::unordered_map<uint64_t, Entry> entries_;
  std::list<uint64_t> order_;  // least recently used first
};

}  // namespace qv
