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

class TIdEntityHeaderInfo {
 public:
  TIdHeaderList RawHeaders;
  TIdHeaderList CustomHeaders;  // extra response lines; not filled for requests
  std::string Connection;
  std::string ContentVersion;
  std::string ContentDisposition;
  std::string ContentEncoding;
  std::string ContentLanguage;
  std::string ContentType;
  int64_t ContentLength = -1;  // -1: none
  int64_t ContentRangeStart = 0;
  int64_t ContentRangeEnd = 0;
  int64_t ContentRangeInstanceLength = 0;
  TDateTime Date = 0;  // 0: absent
  TDateTime LastModified = 0;
  TDateTime Expires = 0;
  std::string Pragma;

  bool HasContentLength() const { return ContentLength >= 0; }

  // Fills the fields above from RawHeaders.
  void ProcessHeaders();
};

class TIdRequestHeaderInfo : public TIdEntityHeaderInfo {
 public:
  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string Host;
  std::string From;
  std::string Referer;
  std::string UserAgent;
  std::string Range;  // "Range" without the text up to and including its first "="

  // Fills the entity and the request fields from RawHeaders.
  void ProcessHeaders();
};

class TIdResponseHeaderInfo : public TIdEntityHeaderInfo {
 public:
  std::string CacheControl;
  std::string Location;
  std::string Server;
  std::string AcceptRanges;
};

}  // namespace qv
