// Text helpers the pages share: ASCII case, trimming, whole numbers read from
// request parameters, and escaping of request text that a page echoes back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

bool SameTextAscii(std::string_view a, std::string_view b);
std::string UpperCaseAscii(std::string_view text);
// Removes leading and trailing blanks and control characters (codes 0 to 32).
std::string TrimText(std::string_view text);

// A request parameter read as a 32-bit whole number: leading blanks skipped, an
// optional sign, decimal digits or up to eight hexadecimal digits (a 32-bit
// pattern) after "$", "x", "X", "0x", "0X"; nothing may follow. Anything else
// gives the default.
int32_t ParseRequestInteger(std::string_view text, int32_t default_value);
// Whether ParseRequestInteger reads the text as a number (not its default).
inline bool IsRequestInteger(std::string_view text) {
  return ParseRequestInteger(text, 0) != 0 || ParseRequestInteger(text, 1) != 1;
}

// Request text echoed into a page: "&", "<", ">", '"' and "'" as entities.
// Text without those characters comes back unchanged.
std::string HtmlEscape(std::string_view text);
// Request text placed in a link's query value: the characters that would end the
// value, change its decoding or break the markup (control characters and
// '"', "#", "%", "&", "'", "+", "<", ">") percent-encoded; all else unchanged.
std::string UrlEncodeQueryValue(std::string_view text);

}  // namespace qv
