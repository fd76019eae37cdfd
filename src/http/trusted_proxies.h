// Trusted proxies: the addresses and CIDR ranges (IPv4 and IPv6) whose
// "X-Forwarded-For" header is believed, and the client address a request
// from one of them stands for.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class HeaderList;

class TrustedProxies {
 public:
  // An empty list: no peer is trusted and the header is always ignored.
  TrustedProxies() = default;

  // Entries separated by commas or blanks: "10.0.0.1", "10.0.0.0/8",
  // "::1", "fd00::/8". Raises std::invalid_argument naming the first entry
  // that is not an address or range.
  static TrustedProxies Parse(std::string_view text);

  bool Empty() const { return ranges_.empty(); }
  // Whether the address (text, IPv4 or IPv6; an IPv4 address mapped into
  // IPv6 counts as IPv4) lies in one of the ranges.
  bool Contains(std::string_view address) const;

  // The client address of a request from peer. For a trusted peer: the
  // right-most "X-Forwarded-For" address that is not itself trusted (every
  // header line taken in order); the left-most when all are trusted; the
  // nearest trusted hop when the first untrusted entry is not an address.
  // For any other peer, or without the header: the peer.
  std::string ClientAddress(const std::string& peer, const HeaderList& headers) const;

 private:
  struct Range {
    std::array<uint8_t, 16> address{};  // IPv4 in the first 4 bytes
    bool v6 = false;
    int prefix = 0;  // bits compared
  };
  struct Address {
    std::array<uint8_t, 16> bytes{};
    bool v6 = false;
  };
  // A bare address, or an IPv6 one in brackets; mapped IPv4 becomes IPv4.
  static std::optional<Address> ParseAddress(std::string_view text);
  static std::string Format(const Address& address);
  bool Contains(const Address& address) const;

  std::vector<Range> ranges_;
};

}  // namespace qv
