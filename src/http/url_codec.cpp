#include "http/url_codec.h"

namespace qv {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of a non-empty run of hexadecimal digits, or -1.
long HexValue(std::string_view digits) {
  if (digits.empty()) return -1;
  long value = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// Code points of the bytes 0x80..0x9F of the Windows-1252 code page.
constexpr unsigned kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char CodePointToAnsi(unsigned code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (unsigned i = 0; i < 32; ++i)
    if (kHighControls[i] == code) return static_cast<char>(0x80 + i);
  return '?';
}

std::string URLDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    ++i;  // past "%"
    if (i < text.size() && (text[i] == 'u' || text[i] == 'U')) {
      ++i;
      const std::string_view digits = text.substr(i, 4);
      i += digits.size();
      const long code = digits.size() == 4 ? HexValue(digits) : -1;
      if (code >= 0) out.push_back(CodePointToAnsi(static_cast<unsigned>(code)));
    } else {
      const std::string_view digits = text.substr(i, 2);
      i += digits.size();
      const long value = HexValue(digits);
      if (value >= 0) out.push_back(static_cast<char>(value));
    }
  }
  return out;
}

void DecodeParams(std::string_view text, NameValueList& params) {
  params.Clear();
  std::string piece;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t amp = text.find('&', pos);
    if (amp == std::string_view::npos) amp = text.size();
    piece.assign(text.substr(pos, amp - pos));
    for (char& c : piece)
      if (c == '+') c = ' ';
    params.Add(URLDecode(piece));
    pos = amp + 1;
  }
}

}  // namespace qv
