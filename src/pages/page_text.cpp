#include "pages/page_text.h"

namespace qv {

namespace {
char UpAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpAscii(a[i]) != UpAscii(b[i])) return false;
  }
  return true;
}

std::string UpperCaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpAscii(c);
  return out;
}

std::string TrimText(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return std::string(text);
}

int32_t ParseRequestInteger(std::string_view s, int32_t default_value) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  bool hex = false;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    hex = true;
    s.remove_prefix(2);
  } else if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X')) {
    hex = true;
    s.remove_prefix(1);
  }
  if (s.empty()) return default_value;
  if (hex && s.size() > 8) return default_value;  // at most eight hexadecimal digits
  uint64_t value = 0;
  for (char c : s) {
    const int d = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return default_value;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) return default_value;
  }
  if (hex) {
    const int64_t pattern = static_cast<int32_t>(static_cast<uint32_t>(value));
    return static_cast<int32_t>(negative ? -pattern : pattern);
  }
  if (value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return default_value;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value));
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UrlEncodeQueryValue(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    // Only what would end the value, change its decoding or break the markup
    // is encoded; everything else stays as typed.
    const bool keep = u >= 0x20 && u != 0x7F && std::string_view("\"#%&'+<>").find(c) == std::string_view::npos;
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

}  // namespace qv
