// The record of one HTTP request as the command handlers see it: the request
// line, the header fields (see header_info.h), the decoded path and
// parameters, the cookies, Basic authorization and the session. All public
// fields; created by the engine for each request and read by the handlers.
#pragma once

#include <memory>
#include <string>

#include "http/content_stream.h"
#include "http/cookies.h"
#include "http/header_info.h"
#include "http/name_value_list.h"

namespace qv {

class TIdHTTPSession;

enum class HttpCommandType { Unknown = 0, Head, Get, Post, Delete, Put, Trace, Options };

class TIdHTTPRequestInfo : public TIdRequestHeaderInfo {
 public:
  std::string RequestLine;     // the first line as read, line end removed
  std::string Command;         // method word, upper-cased
  HttpCommandType CommandType = HttpCommandType::Unknown;
  std::string Version;         // text after the last blank of the request line
  std::string Document;        // decoded path of the target, case as sent
  std::string QueryParams;     // raw text after the first "?" of the target
  std::string FormParams;      // the body as text
  std::string UnparsedParams;  // FormParams "&" QueryParams (either may be absent)
  TNameValueList Params;       // decoded name=value entries, in order
  TMemoryContentStream PostStream;  // the body, positioned at 0
  std::string RemoteIP;        // peer address text
  TIdServerCookies Cookies;    // one per piece of the "Cookie" headers
  // The visitor's session, or null when sessions are off. Shared so that it
  // stays valid while this request runs, even after the server ends it.
  std::shared_ptr<TIdHTTPSession> Session;
  bool AuthExists = false;
  std::string AuthUsername;
  std::string AuthPassword;
};

}  // namespace qv
