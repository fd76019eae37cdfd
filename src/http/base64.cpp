#include "http/base64.h"

#include <cstdint>

namespace qv {

namespace {
int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 4);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = Sextet(c);
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<char>((bits >> 16) & 0xFF));
      out.push_back(static_cast<char>((bits >> 8) & 0xFF));
      out.push_back(static_cast<char>(bits & 0xFF));
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) {
    out.push_back(static_cast<char>((bits >> 4) & 0xFF));
  } else if (count == 3) {
    out.push_back(static_cast<char>((bits >> 10) & 0xFF));
    out.push_back(static_cast<char>((bits >> 2) & 0xFF));
  }
  return out;
}

}  // namespace qv
