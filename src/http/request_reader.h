// The steps that turn a parsed request into a Request: the request
// line's fields, parameters, cookies, the document path and Basic
// authorization. The server runs them in order; nothing here reads bytes.
#pragma once

#include <string>
#include <string_view>

#include "http/request_info.h"
#include "http/request_parser.h"

namespace qv {

// At most this many cookies are kept of one request.
inline constexpr size_t kMaxRequestCookies = 128;

HttpCommandType CommandTypeOf(std::string_view command);

// RequestLine, Version, Command (upper-cased), CommandType and RawHeaders
// from the parsed request (its header lines are moved); returns the target.
std::string TakeRequestLine(Request& request, ParsedRequest& parsed);

// From the body already in FormParams and the target: QueryParams,
// UnparsedParams, Params (when parse_params), Cookies, Document and Host.
void DecodeTarget(Request& request, std::string target, bool parse_params);

// AuthExists, AuthUsername, AuthPassword from a Basic "Authorization"
// header; with any other scheme only AuthExists is set.
void DecodeAuthorization(Request& request);

}  // namespace qv
