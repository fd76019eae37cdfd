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
#include "platform/name_value_list.h"

namespace qv {

class Session;

enum class HttpCommandType { Unknown = 0, Head, Get, Post, Delete, Put, Trace, Options };

class Request : public RequestHeaders {
 public:
  std::string request_line;     // the first line as read, line end removed
  std::string command;         // method word, upper-cased
  HttpCommandType command_type = HttpCommandType::Unknown;
  std::string version;         // text after the last blank of the request line
  std::string document;        // decoded path of the target, case as sent
  std::string query_params;     // raw text after the first "?" of the target
  std::string form_params;      // the body as text
  std::string unparsed_params;  // FormParams "&" QueryParams (either may be absent)
  NameValueList params;       // decoded name=value entries, in order
  MemoryContentStream post_stream;  // the body, positioned at 0
  std::string remote_ip;        // peer address text
  CookieList cookies;    // one per piece of the "Cookie" headers
  // The visitor's session, or null when sessions are off. Shared so that it
  // stays valid while this request runs, even after the server ends it.
  std::shared_ptr<Session> session;
  bool auth_exists = false;
  std::string auth_username;
  std::string auth_password;
};

}  // namespace qv
