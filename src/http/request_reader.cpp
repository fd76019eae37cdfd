#include "http/request_reader.h"

#include "http/base64.h"
#include "http/uri.h"
#include "http/url_codec.h"
#include "platform/ascii_text.h"

namespace qv {

HttpCommandType CommandTypeOf(std::string_view command) {
  static constexpr std::string_view kNames[] = {"HEAD", "GET", "POST", "DELETE",
                                                "PUT", "TRACE", "OPTIONS"};
  for (size_t i = 0; i < std::size(kNames); ++i)
    if (ascii::EqualsNoCase(command, kNames[i])) return static_cast<HttpCommandType>(i + 1);
  return HttpCommandType::Unknown;
}

std::string TakeRequestLine(Request& request, ParsedRequest& parsed) {
  request.request_line = std::move(parsed.request_line);
  request.version = std::move(parsed.version);
  request.command = ascii::ToUpper(parsed.method);
  request.command_type = CommandTypeOf(request.command);
  request.raw_headers = std::move(parsed.headers);
  return std::move(parsed.target);
}

namespace {

void DecodeCookies(Request& request) {
  const HeaderList& headers = request.raw_headers;
  for (int i = headers.IndexOfName("cookie"); i >= 0;
       i = headers.IndexOfName("cookie", static_cast<size_t>(i) + 1)) {
    const std::string value = headers.ValueAt(static_cast<size_t>(i));
    std::string_view rest = value;
    for (;;) {
      const size_t semicolon = rest.find(';');
      const std::string_view piece = ascii::Trim(rest.substr(0, semicolon));
      // Empty pieces carry nothing; past the cap the rest is ignored, so that
      // no request costs much more than its own size.
      if (!piece.empty()) {
        if (request.cookies.Count() >= kMaxRequestCookies) return;
        const size_t eq = piece.find('=');
        request.cookies.Add(std::string(piece.substr(0, eq)),
                            eq == std::string_view::npos ? std::string() : std::string(piece.substr(eq + 1)));
      }
      if (semicolon == std::string_view::npos) break;
      rest.remove_prefix(semicolon + 1);
    }
  }
}

}  // namespace

void DecodeTarget(Request& request, std::string target, bool parse_params) {
  request.unparsed_params = request.form_params;
  const size_t question = target.find('?');
  if (question != std::string::npos) {
    request.query_params = target.substr(question + 1);
    target.resize(question);
  }
  if (!request.query_params.empty()) {
    if (request.unparsed_params.empty())
      request.unparsed_params = request.query_params;
    else
      request.unparsed_params.append("&").append(request.query_params);
  }
  if (parse_params) {
    if (ascii::EqualsNoCase(request.content_type, "application/x-www-form-urlencoded"))
      DecodeParams(request.unparsed_params, request.params);
    else
      DecodeParams(request.query_params, request.params);
  }
  DecodeCookies(request);
  if (target == "*") {
    request.document = "*";
  } else {
    const Uri uri = Uri::Parse(target);
    request.document = URLDecode(uri.path) + URLDecode(uri.document);
    if (!uri.host.empty() && request.host.empty()) request.host = uri.host;
  }
}

void DecodeAuthorization(Request& request) {
  const std::string value = request.raw_headers.Values("Authorization");
  if (value.empty()) return;
  request.auth_exists = true;
  const size_t blank = value.find(' ');
  // Another scheme (a bearer token a gateway adds, a single-sign-on ticket)
  // is nothing the server uses: the request goes on as without it.
  if (!ascii::EqualsNoCase(std::string_view(value).substr(0, blank), "Basic")) return;
  const std::string decoded =
      DecodeBase64(blank == std::string::npos ? std::string_view() : std::string_view(value).substr(blank + 1));
  const size_t colon = decoded.find(':');
  request.auth_username = decoded.substr(0, colon);
  request.auth_password = colon == std::string::npos ? std::string() : decoded.substr(colon + 1);
}

}  // namespace qv
