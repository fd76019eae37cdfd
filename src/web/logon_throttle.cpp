#include "web/logon_throttle.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

namespace qv {

namespace {

// Harm of a pair that keeps an address that failed on a name at its ceiling
// from guessing again.
constexpr int kHarmOfAFailedAddress = 3;

int SecondsUntil(LogonThrottle::Clock::time_point when, LogonThrottle::Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::seconds>(when - now).count();
  return static_cast<int>(std::max<long long>(left, 1));
}

uint64_t Rotate(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

// SipHash-2-4: a keyed hash, so that nobody who does not know the key can
// make two addresses or names share an entry.
uint64_t KeyedHash(const uint64_t key[2], std::string_view text) {
  uint64_t v0 = 0x736f6d6570736575ULL ^ key[0];
  uint64_t v1 = 0x646f72616e646f6dULL ^ key[1];
  uint64_t v2 = 0x6c7967656e657261ULL ^ key[0];
  uint64_t v3 = 0x7465646279746573ULL ^ key[1];
  auto round = [&] {
    v0 += v1;
    v1 = Rotate(v1, 13) ^ v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotate(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotate(v1, 17) ^ v2;
    v2 = Rotate(v2, 32);
  };
  auto absorb = [&](uint64_t word) {
    v3 ^= word;
    round();
    round();
    v0 ^= word;
  };
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word = 0;
    for (size_t j = 0; j < 8; ++j) word |= static_cast<uint64_t>(static_cast<unsigned char>(text[i + j])) << (8 * j);
    absorb(word);
  }
  uint64_t last = static_cast<uint64_t>(text.size()) << 56;
  for (size_t j = 0; i + j < text.size(); ++j)
    last |= static_cast<uint64_t>(static_cast<unsigned char>(text[i + j])) << (8 * j);
  absorb(last);
  v2 ^= 0xff;
  for (int r = 0; r < 4; ++r) round();
  return v0 ^ v1 ^ v2 ^ v3;
}

void RandomKey(uint64_t key[2]) {
  if (::getrandom(key, 2 * sizeof(uint64_t), 0) == static_cast<ssize_t>(2 * sizeof(uint64_t))) return;
  std::random_device device;
  for (int i = 0; i < 2; ++i) key[i] = (static_cast<uint64_t>(device()) << 32) ^ device();
}

// The first failure still within the window.
std::vector<LogonThrottle::Clock::time_point>::const_iterator FirstInWindow(
    const std::vector<LogonThrottle::Clock::time_point>& failures, LogonThrottle::Clock::time_point now) {
  return std::upper_bound(failures.begin(), failures.end(), now - LogonThrottle::kWindow);
}

}  // namespace

LogonThrottle::Reservation::Reservation(Reservation&& other) noexcept
    : throttle_(std::exchange(other.throttle_, nullptr)), at_(other.at_), retry_after_(other.retry_after_) {
  std::copy(std::begin(other.keys_), std::end(other.keys_), keys_);
  std::copy(std::begin(other.held_), std::end(other.held_), held_);
}

LogonThrottle::Reservation& LogonThrottle::Reservation::operator=(Reservation&& other) noexcept {
  if (this != &other) {
    Settle(kGiveBack);
    throttle_ = std::exchange(other.throttle_, nullptr);
    std::copy(std::begin(other.keys_), std::end(other.keys_), keys_);
    std::copy(std::begin(other.held_), std::end(other.held_), held_);
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
  // Once only: the places are no longer held, whatever happens below.
  LogonThrottle* throttle = std::exchange(throttle_, nullptr);
  throttle->Settle(*this, outcome);
}

LogonThrottle::LogonThrottle(int limit, size_t capacity) : limit_(std::max(limit, 0)), capacity_(capacity) {
  RandomKey(secret_);
}

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

std::string LogonThrottle::AddressKey(std::string_view address) {
  const std::string text(address);
  unsigned char bytes[16];
  char out[INET6_ADDRSTRLEN];
  if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) return text;
  static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (std::memcmp(bytes, kMapped, sizeof kMapped) == 0)
    return inet_ntop(AF_INET, bytes + 12, out, sizeof out) ? std::string(out) : text;
  std::memset(bytes + 8, 0, 8);
  return inet_ntop(AF_INET6, bytes, out, sizeof out) ? std::string(out) + "/64" : text;
}

LogonThrottle::Keys LogonThrottle::KeysOf(const std::string& address, std::string_view name) const {
  const std::string address_key = AddressKey(address);
  const std::string name_key = NameKey(name);
  Keys keys;
  keys.key[kAddressSlot] = KeyedHash(secret_, "A" + address_key);
  keys.key[kNameSlot] = KeyedHash(secret_, "N" + name_key);
  keys.key[kPairSlot] = KeyedHash(secret_, "P" + address_key + '\0' + name_key);
  return keys;
}

size_t LogonThrottle::Ceiling(Kind kind) const {
  const size_t limit = static_cast<size_t>(limit_);
  switch (kind) {
    case Kind::kAddress:
      return limit * kAddressCeiling;
    case Kind::kName:
      return limit * kNameCeiling;
    case Kind::kPair:
      break;
  }
  return limit;
}

size_t LogonThrottle::Counted(const Entry& entry, Clock::time_point now) {
  const auto first = FirstInWindow(entry.failures, now);
  return static_cast<size_t>(entry.failures.end() - first) + entry.held;
}

bool LogonThrottle::AtCeiling(const Entry& entry, Clock::time_point now) const {
  return limit_ > 0 && Counted(entry, now) >= Ceiling(entry.kind);
}

int LogonThrottle::SecondsToPlace(const Entry& entry, Clock::time_point now) const {
  // Attempts still being checked count as failures made now, after every
  // failure kept. A place frees when the oldest of the newest `ceiling`
  // leaves the window.
  const auto first = FirstInWindow(entry.failures, now);
  const size_t in_window = static_cast<size_t>(entry.failures.end() - first);
  const size_t oldest = in_window + entry.held - Ceiling(entry.kind);
  const Clock::time_point leaves = oldest < in_window ? *(first + static_cast<std::ptrdiff_t>(oldest)) : now;
  return SecondsUntil(leaves + kWindow, now);
}

bool LogonThrottle::HasFailed(const Entry* pair, Clock::time_point now) {
  if (!pair) return false;
  return pair->held > 0 || (!pair->failures.empty() && pair->failures.back() + kNameMemory > now);
}

LogonThrottle::Entry* LogonThrottle::Find(uint64_t key) {
  const auto found = entries_.find(key);
  return found == entries_.end() ? nullptr : &found->second;
}

int LogonThrottle::RetryAfterLocked(const Keys& keys, Clock::time_point now) {
  DropExpired(now);
  int seconds = 0;
  const Entry* pair = Find(keys.key[kPairSlot]);
  for (int slot : {kAddressSlot, kNameSlot, kPairSlot}) {
    const Entry* entry = Find(keys.key[slot]);
    if (!entry || !AtCeiling(*entry, now)) continue;
    // A name at its ceiling refuses only the addresses that failed on it,
    // unless some of those were forgotten.
    if (slot == kNameSlot && !HasFailed(pair, now) && entry->closed_until <= now) continue;
    seconds = std::max(seconds, SecondsToPlace(*entry, now));
  }
  return seconds;
}

LogonThrottle::Reservation LogonThrottle::Reserve(const std::string& address, std::string_view name,
                                                  Clock::time_point now) {
  Reservation reservation;
  const Keys keys = KeysOf(address, name);
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return reservation;  // granted, nothing held
  reservation.retry_after_ = RetryAfterLocked(keys, now);
  if (reservation.retry_after_ > 0) {
    ++refused_;
    return reservation;
  }
  const Kind kinds[] = {Kind::kAddress, Kind::kName, Kind::kPair};
  for (int slot : {kAddressSlot, kNameSlot, kPairSlot}) {
    reservation.keys_[slot] = keys.key[slot];
    if (Entry* entry = Touch(keys.key[slot], kinds[slot], keys.key[kNameSlot], now)) {
      ++entry->held;
      reservation.held_[slot] = true;
    }
  }
  reservation.throttle_ = this;
  reservation.at_ = now;
  return reservation;
}

void LogonThrottle::Settle(const Reservation& reservation, Outcome outcome) {
  std::lock_guard<std::mutex> guard(lock_);
  const Kind kinds[] = {Kind::kAddress, Kind::kName, Kind::kPair};
  for (int slot : {kAddressSlot, kNameSlot, kPairSlot}) {
    const uint64_t key = reservation.keys_[slot];
    if (reservation.held_[slot]) {
      if (Entry* entry = Find(key); entry && entry->held > 0) --entry->held;
    }
    // With throttling switched off meanwhile, a failure is not kept.
    if (outcome == kFailed && limit_ > 0) {
      AddFailure(key, kinds[slot], reservation.keys_[kNameSlot], reservation.at_);
      continue;
    }
    if (outcome == kSucceeded && slot == kPairSlot) {
      if (Entry* pair = Find(key)) pair->failures.clear();
    }
    EraseIfEmpty(key, reservation.at_);
  }
}

int LogonThrottle::RetryAfter(const std::string& address, std::string_view name, Clock::time_point now) {
  const Keys keys = KeysOf(address, name);
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return 0;
  return RetryAfterLocked(keys, now);
}

uint64_t LogonThrottle::Refused() const {
  std::lock_guard<std::mutex> guard(lock_);
  return refused_;
}

void LogonThrottle::Failed(const std::string& address, std::string_view name, Clock::time_point now) {
  const Keys keys = KeysOf(address, name);
  std::lock_guard<std::mutex> guard(lock_);
  if (limit_ == 0) return;
  AddFailure(keys.key[kAddressSlot], Kind::kAddress, 0, now);
  AddFailure(keys.key[kNameSlot], Kind::kName, 0, now);
  AddFailure(keys.key[kPairSlot], Kind::kPair, keys.key[kNameSlot], now);
}

size_t LogonThrottle::Tracked() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.size();
}

uint64_t LogonThrottle::Forgotten() const {
  std::lock_guard<std::mutex> guard(lock_);
  return forgotten_;
}

LogonThrottle::Entry* LogonThrottle::Touch(uint64_t key, Kind kind, uint64_t name, Clock::time_point now) {
  DropExpired(now);
  auto found = entries_.find(key);
  if (found != entries_.end()) {
    order_.splice(order_.end(), order_, found->second.order);
    return &found->second;
  }
  if (capacity_ == 0 || (entries_.size() >= capacity_ && !MakeRoom(now))) return nullptr;
  order_.push_back(key);
  Entry& entry = entries_[key];
  entry.kind = kind;
  entry.name = kind == Kind::kPair ? name : 0;
  entry.order = std::prev(order_.end());
  return &entry;
}

void LogonThrottle::AddFailure(uint64_t key, Kind kind, uint64_t name, Clock::time_point at) {
  Entry* entry = Touch(key, kind, name, at);
  if (!entry) return;
  std::vector<Clock::time_point>& failures = entry->failures;
  // Attempts settle in any order: the failures stay sorted by time.
  failures.insert(std::upper_bound(failures.begin(), failures.end(), at), at);
  const size_t keep = std::max<size_t>(Ceiling(kind), 1);
  if (failures.size() > keep) failures.erase(failures.begin(), failures.end() - static_cast<std::ptrdiff_t>(keep));
}

void LogonThrottle::EraseIfEmpty(uint64_t key, Clock::time_point now) {
  const Entry* entry = Find(key);
  if (entry && entry->held == 0 && Expired(*entry, now)) Erase(key);
}

void LogonThrottle::Erase(uint64_t key) {
  const auto found = entries_.find(key);
  if (found == entries_.end()) return;
  order_.erase(found->second.order);
  entries_.erase(found);
}

bool LogonThrottle::Expired(const Entry& entry, Clock::time_point now) const {
  if (entry.held > 0) return false;
  if (entry.failures.empty()) return true;
  // A pair's failures still speak against its address while they are
  // remembered for the name's sake.
  const auto memory = entry.kind == Kind::kPair ? std::chrono::seconds(kNameMemory) : kWindow;
  return entry.failures.back() + memory <= now;
}

void LogonThrottle::DropExpired(Clock::time_point now) {
  while (!order_.empty()) {
    const auto found = entries_.find(order_.front());
    if (!Expired(found->second, now)) break;
    entries_.erase(found);
    order_.pop_front();
  }
}

int LogonThrottle::Harm(const Entry& entry, Clock::time_point now) {
  if (entry.held > 0) return -1;
  const size_t counted = Counted(entry, now);
  if (entry.kind != Kind::kPair) {
    if (AtCeiling(entry, now)) return -1;  // a locked address or name stays
    return counted == 0 ? 0 : counted == 1 ? 1 : 2;
  }
  if (AtCeiling(entry, now)) return 4;
  // What keeps a failed address from another guess while its name is under attack.
  const Entry* name = Find(entry.name);
  if (name && AtCeiling(*name, now) && HasFailed(&entry, now)) return kHarmOfAFailedAddress;
  return counted == 0 ? 0 : counted == 1 ? 1 : 2;
}

bool LogonThrottle::MakeRoom(Clock::time_point now) {
  // Least recently used first, so the first harmless entry found is the best.
  auto victim = order_.end();
  int least = -1;
  size_t looked = 0;
  for (auto it = order_.begin(); it != order_.end() && looked < kForgetSearch; ++it, ++looked) {
    const int harm = Harm(entries_.find(*it)->second, now);
    if (harm < 0 || (least >= 0 && harm >= least)) continue;
    victim = it;
    least = harm;
    // The oldest entry that no longer counts, or else the oldest single failure.
    if (harm <= 1) break;
  }
  if (victim == order_.end()) return false;
  if (least == kHarmOfAFailedAddress) {
    if (Entry* name = Find(entries_.find(*victim)->second.name)) name->closed_until = now + kNameMemory;
  }
  entries_.erase(*victim);
  order_.erase(victim);
  ++forgotten_;
  return true;
}

}  // namespace qv
