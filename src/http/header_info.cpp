#include "http/header_info.h"

#include <optional>

#include "http/text.h"

namespace qv {

namespace {

// "unit start-end/length"; each part 0 when absent or not a number.
void ParseContentRange(std::string_view value, TIdEntityHeaderInfo& info) {
  info.ContentRangeStart = info.ContentRangeEnd = info.ContentRangeInstanceLength = 0;
  const size_t blank = value.find(' ');
  if (blank == std::string_view::npos) return;
  value.remove_prefix(blank + 1);
  const size_t dash = value.find('-');
  const size_t slash = value.find('/');
  auto number = [](std::string_view s) {
    return http_text::ParseDecimal(http_text::Trim(s), 0, INT64_MAX).value_or(0);
  };
  if (dash != std::string_view::npos && (slash == std::string_view::npos || dash < slash)) {
    info.ContentRangeStart = number(value.substr(0, dash));
    info.ContentRangeEnd = number(value.substr(dash + 1, slash == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : slash - dash - 1));
  }
  if (slash != std::string_view::npos) info.ContentRangeInstanceLength = number(value.substr(slash + 1));
}

TDateTime ParseExpires(std::string_view value) {
  if (value.empty()) return 0;
  if (const auto seconds = http_text::ParseDecimal(value, INT32_MIN, INT32_MAX))
    return *seconds < 0 ? 0 : NowGmt() + static_cast<double>(*seconds) / 86400.0;
  return ParseHttpDate(value);
}

}  // namespace

int64_t ParseContentLength(std::string_view value) {
  if (const auto length = http_text::ParseDecimal(value, INT32_MIN, INT32_MAX)) return *length;
  // Digits with an optional sign that do not fit: far too large a body.
  if (value.size() > 1 && (value[0] == '+' || value[0] == '-')) value.remove_prefix(1);
  if (value.empty()) return -1;
  for (char c : value)
    if (c < '0' || c > '9') return -1;
  return INT64_MAX;
}

void TIdEntityHeaderInfo::ProcessHeaders() {
  Connection = RawHeaders.Values("Connection");
  ContentVersion = RawHeaders.Values("Content-Version");
  ContentDisposition = RawHeaders.Values("Content-Disposition");
  ContentEncoding = RawHeaders.Values("Content-Encoding");
  ContentLanguage = RawHeaders.Values("Content-Language");
  ContentType = RawHeaders.Values("Content-Type");
  ContentLength = ParseContentLength(RawHeaders.Values("Content-Length"));
  ParseContentRange(RawHeaders.Values("Content-Range"), *this);
  const std::string date = RawHeaders.Values("Date");
  Date = date.empty() ? 0 : ParseHttpDate(date);
  const std::string modified = RawHeaders.Values("Last-Modified");
  LastModified = modified.empty() ? 0 : ParseHttpDate(modified);
  Expires = ParseExpires(RawHeaders.Values("Expires"));
  Pragma = RawHeaders.Values("Pragma");
}

void TIdRequestHeaderInfo::ProcessHeaders() {
  TIdEntityHeaderInfo::ProcessHeaders();
  Accept = RawHeaders.Values("Accept");
  AcceptCharSet = RawHeaders.Values("Accept-Charset");
  AcceptEncoding = RawHeaders.Values("Accept-Encoding");
  AcceptLanguage = RawHeaders.Values("Accept-Language");
  Host = RawHeaders.Values("Host");
  From = RawHeaders.Values("From");
  Referer = RawHeaders.Values("Referer");
  UserAgent = RawHeaders.Values("User-Agent");
  Range = RawHeaders.Values("Range");
  const size_t eq = Range.find('=');
  if (eq != std::string::npos) Range.erase(0, eq + 1);
}

}  // namespace qv
