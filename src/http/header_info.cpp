#include "http/header_info.h"

#include <optional>

#include "platform/ascii_text.h"

namespace qv {

namespace {

// "unit start-end/length"; each part 0 when absent or not a number.
void ParseContentRange(std::string_view value, EntityHeaders& info) {
  info.content_range_start = info.content_range_end = info.content_range_instance_length = 0;
  const size_t blank = value.find(' ');
  if (blank == std::string_view::npos) return;
  value.remove_prefix(blank + 1);
  const size_t dash = value.find('-');
  const size_t slash = value.find('/');
  auto number = [](std::string_view s) {
    return ascii::ParseDecimal(ascii::Trim(s), 0, INT64_MAX).value_or(0);
  };
  if (dash != std::string_view::npos && (slash == std::string_view::npos || dash < slash)) {
    info.content_range_start = number(value.substr(0, dash));
    info.content_range_end = number(value.substr(dash + 1, slash == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : slash - dash - 1));
  }
  if (slash != std::string_view::npos) info.content_range_instance_length = number(value.substr(slash + 1));
}

DateTime ParseExpires(std::string_view value) {
  if (value.empty()) return 0;
  if (const auto seconds = ascii::ParseDecimal(value, INT32_MIN, INT32_MAX))
    return *seconds < 0 ? 0 : NowGmt() + static_cast<double>(*seconds) / 86400.0;
  return ParseHttpDate(value);
}

}  // namespace

int64_t ParseContentLength(std::string_view value) {
  if (const auto length = ascii::ParseDecimal(value, INT32_MIN, INT32_MAX)) return *length;
  // Digits with an optional sign that do not fit: far too large a body.
  if (value.size() > 1 && (value[0] == '+' || value[0] == '-')) value.remove_prefix(1);
  if (value.empty()) return -1;
  for (char c : value)
    if (c < '0' || c > '9') return -1;
  return INT64_MAX;
}

void EntityHeaders::ProcessHeaders() {
  connection = raw_headers.Values("Connection");
  content_version = raw_headers.Values("Content-Version");
  content_disposition = raw_headers.Values("Content-Disposition");
  content_encoding = raw_headers.Values("Content-Encoding");
  content_language = raw_headers.Values("Content-Language");
  content_type = raw_headers.Values("Content-Type");
  content_length = ParseContentLength(raw_headers.Values("Content-Length"));
  ParseContentRange(raw_headers.Values("Content-Range"), *this);
  const std::string date_text = raw_headers.Values("Date");
  date = date_text.empty() ? 0 : ParseHttpDate(date_text);
  const std::string modified = raw_headers.Values("Last-Modified");
  last_modified = modified.empty() ? 0 : ParseHttpDate(modified);
  expires = ParseExpires(raw_headers.Values("Expires"));
  pragma = raw_headers.Values("Pragma");
}

void RequestHeaders::ProcessHeaders() {
  EntityHeaders::ProcessHeaders();
  accept = raw_headers.Values("Accept");
  accept_char_set = raw_headers.Values("Accept-Charset");
  accept_encoding = raw_headers.Values("Accept-Encoding");
  accept_language = raw_headers.Values("Accept-Language");
  host = raw_headers.Values("Host");
  from = raw_headers.Values("From");
  referer = raw_headers.Values("Referer");
  user_agent = raw_headers.Values("User-Agent");
  range = raw_headers.Values("Range");
  const size_t eq = range.find('=');
  if (eq != std::string::npos) range.erase(0, eq + 1);
}

}  // namespace qv
