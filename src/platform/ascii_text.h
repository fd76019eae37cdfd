// Small text helpers for 8-bit texts: ASCII case folding, comparison
// ignoring case, trimming and decimal parsing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::ascii {

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

inline bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (EqualsNoCase(text.substr(i, part.size()), part)) return true;
  return false;
}

inline std::string ToUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Upper(c);
  return out;
}

// Removes leading and trailing bytes <= ' ' (blanks and control characters).
inline std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// A whole text of an optional sign and decimal digits that fits the range.
inline std::optional<int64_t> ParseDecimal(std::string_view s, int64_t min, int64_t max) {
  if (s.empty()) return std::nullopt;
  bool negative = false;
  size_t i = 0;
  if (s[0] == '-' || s[0] == '+') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    const int digit = s[i] - '0';
    if (value > (INT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (negative) value = -value;
  if (value < min || value > max) return std::nullopt;
  return value;
}

}  // namespace qv::ascii
