#include "http/trusted_proxies.h"

#include <arpa/inet.h>

#include <cstring>
#include <stdexcept>

#include "http/header_list.h"

namespace qv {

namespace {

bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The comma-separated entries of every "X-Forwarded-For" line, left to right.
std::vector<std::string_view> ForwardedChain(const HeaderList& headers,
                                             std::vector<std::string>& storage) {
  for (int i = headers.IndexOfName("X-Forwarded-For"); i >= 0;
       i = headers.IndexOfName("X-Forwarded-For", static_cast<size_t>(i) + 1)) {
    storage.push_back(headers.ValueAt(static_cast<size_t>(i)));
  }
  std::vector<std::string_view> chain;
  for (const std::string& line : storage) {
    std::string_view rest = line;
    while (true) {
      const size_t comma = rest.find(',');
      chain.push_back(TrimBlanks(rest.substr(0, comma)));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return chain;
}

}  // namespace

std::optional<TrustedProxies::Address> TrustedProxies::ParseAddress(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string zero_ended(text);
  Address result;
  if (text.find(':') == std::string_view::npos) {
    if (inet_pton(AF_INET, zero_ended.c_str(), result.bytes.data()) != 1) return std::nullopt;
    return result;
  }
  if (inet_pton(AF_INET6, zero_ended.c_str(), result.bytes.data()) != 1) return std::nullopt;
  static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::memcmp(result.bytes.data(), kMapped, sizeof kMapped) == 0) {
    std::memmove(result.bytes.data(), result.bytes.data() + 12, 4);
    std::memset(result.bytes.data() + 4, 0, 12);
    return result;
  }
  result.v6 = true;
  return result;
}

std::string TrustedProxies::Format(const Address& address) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(address.v6 ? AF_INET6 : AF_INET, address.bytes.data(), text, sizeof text);
  return text;
}

TrustedProxies TrustedProxies::Parse(std::string_view text) {
  TrustedProxies result;
  while (!text.empty()) {
    while (!text.empty() && IsSeparator(text.front())) text.remove_prefix(1);
    size_t end = 0;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end == 0) break;
    const std::string_view entry = text.substr(0, end);
    text.remove_prefix(end);

    const size_t slash = entry.find('/');
    const std::optional<Address> address = ParseAddress(entry.substr(0, slash));
    if (!address) throw std::invalid_argument("\"" + std::string(entry) + "\" is not an address or range");
    Range range;
    range.address = address->bytes;
    range.v6 = address->v6;
    const int bits = address->v6 ? 128 : 32;
    range.prefix = bits;
    if (slash != std::string_view::npos) {
      const std::string_view prefix = entry.substr(slash + 1);
      int value = 0;
      bool valid = !prefix.empty() && prefix.size() <= 3;
      for (char c : prefix) {
        if (c < '0' || c > '9') valid = false;
        else value = value * 10 + (c - '0');
      }
      if (!valid || value > bits)
        throw std::invalid_argument("\"" + std::string(entry) + "\" has no valid prefix length");
      range.prefix = value;
    }
    result.ranges_.push_back(range);
  }
  return result;
}

bool TrustedProxies::Contains(const Address& address) const {
  for (const Range& range : ranges_) {
    if (range.v6 != address.v6) continue;
    const int whole = range.prefix / 8, rest = range.prefix % 8;
    if (std::memcmp(range.address.data(), address.bytes.data(), static_cast<size_t>(whole)) != 0)
      continue;
    if (rest != 0) {
      const uint8_t mask = static_cast<uint8_t>(0xFF << (8 - rest));
      if ((range.address[whole] & mask) != (address.bytes[whole] & mask)) continue;
    }
    return true;
  }
  return false;
}

bool TrustedProxies::Contains(std::string_view address) const {
  const std::optional<Address> parsed = ParseAddress(address);
  return parsed && Contains(*parsed);
}

std::string TrustedProxies::ClientAddress(const std::string& peer,
                                           const HeaderList& headers) const {
  if (ranges_.empty() || !Contains(peer)) return peer;
  std::vector<std::string> storage;
  const std::vector<std::string_view> chain = ForwardedChain(headers, storage);
  std::string nearest = peer;  // the closest hop known to be trusted
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const std::optional<Address> hop = ParseAddress(*it);
    if (!hop) return nearest;
    nearest = Format(*hop);
    if (!Contains(*hop)) return nearest;
  }
  return nearest;
}

}  // namespace qv
