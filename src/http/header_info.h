// The header fields shared by requests and responses (entity fields), and the
// fields that only requests or only responses carry. Public fields, read and
// written directly; RawHeaders holds the header lines themselves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/header_list.h"
#include "http/http_date.h"

namespace qv {

// The value of a "Content-Length" header: a signed decimal that fits in 32
// bits, -1 when absent or not a number. A number beyond 32 bits gives
// INT64_MAX, so that it counts as too large rather than as absent.
int64_t ParseContentLength(std::string_view value);

class EntityHeaders {
 public:
  HeaderList raw_headers;
  HeaderList custom_headers;  // extra response lines; not filled for requests
  std::string connection;
  std::string content_version;
  std::string content_disposition;
  std::string content_encoding;
  std::string content_language;
  std::string content_type;
  int64_t content_length = -1;  // -1: none
  int64_t content_range_start = 0;
  int64_t content_range_end = 0;
  int64_t content_range_instance_length = 0;
  DateTime date = 0;  // 0: absent
  DateTime last_modified = 0;
  DateTime expires = 0;
  std::string pragma;

  bool HasContentLength() const { return content_length >= 0; }

  // Fills the fields above from RawHeaders.
  void ProcessHeaders();
};

class RequestHeaders : public EntityHeaders {
 public:
  std::string accept;
  std::string accept_char_set;
  std::string accept_encoding;
  std::string accept_language;
  std::string host;
  std::string from;
  std::string referer;
  std::string user_agent;
  std::string range;  // "Range" without the text up to and including its first "="

  // Fills the entity and the request fields from RawHeaders.
  void ProcessHeaders();
};

class ResponseHeaders : public EntityHeaders {
 public:
  std::string cache_control;
  std::string location;
  std::string server;
  std::string accept_ranges;
};

}  // namespace qv
