// The steps that turn the bytes of a request into a TIdHTTPRequestInfo: the
// header block, the method and target, parameters, cookies, the document
// path and Basic authorization. The server runs them in order.
#pragma once

#include <string>
#include <string_view>

#include "http/io_handler.h"
#include "http/request_info.h"

namespace qv {

// At most this many bytes make a request head (request line and header
// lines with their line ends); a longer head is treated as an over-long line.
inline constexpr size_t kMaxRequestHead = 65536;
// At most this many cookies are kept of one request.
inline constexpr size_t kMaxRequestCookies = 128;

// Reads header lines up to the empty line into headers; more than max_lines
// non-empty lines raise EIdMaxCaptureLineExceeded, more than head_room bytes
// in all EIdReadLnMaxLineLengthExceeded.
void ReadHeaderLines(TIdIOHandler& io, TIdHeaderList& headers, int max_lines,
                     size_t head_room = kMaxRequestHead);

HttpCommandType CommandTypeOf(std::string_view command);

// "HTTP/" major "." minor with a version of 1.1 or later.
bool IsHttp11OrLater(std::string_view version);

// rest is the request line without its version: Command (upper-cased) before
// the first blank, the returned target after it.
std::string SplitCommand(TIdHTTPRequestInfo& request, std::string_view rest);

// From the body already in FormParams and the target: QueryParams,
// UnparsedParams, Params (when parse_params), Cookies, Document and Host.
void DecodeTarget(TIdHTTPRequestInfo& request, std::string target, bool parse_params);

// AuthExists, AuthUsername, AuthPassword from a Basic "Authorization"
// header; any other scheme raises EIdHTTPUnsupportedAuthorisationScheme.
void DecodeAuthorization(TIdHTTPRequestInfo& request);

}  // namespace qv
