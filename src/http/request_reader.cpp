#include "http/request_reader.h"

#include "http/base64.h"
#include "http/exceptions.h"
#include "http/text.h"
#include "http/uri.h"
#include "http/url_codec.h"

namespace qv {

HttpCommandType CommandTypeOf(std::string_view command) {
  static constexpr std::string_view kNames[] = {"HEAD", "GET", "POST", "DELETE",
                                                "PUT", "TRACE", "OPTIONS"};
  for (size_t i = 0; i < std::size(kNames); ++i)
    if (http_text::EqualsNoCase(command, kNames[i])) return static_cast<HttpCommandType>(i + 1);
  return HttpCommandType::Unknown;
}

std::string TakeRequestLine(TIdHTTPRequestInfo& request, ParsedRequest& parsed) {
  request.RequestLine = std::move(parsed.request_line);
  request.Version = std::move(parsed.version);
  request.Command = http_text::ToUpper(parsed.method);
  request.CommandType = CommandTypeOf(request.Command);
  request.RawHeaders = std::move(parsed.headers);
  return std::move(parsed.target);
}

namespace {

void DecodeCookies(TIdHTTPRequestInfo& request) {
  const TIdHeaderList& headers = request.RawHeaders;
  for (int i = headers.IndexOfName("cookie"); i >= 0;
       i = headers.IndexOfName("cookie", static_cast<size_t>(i) + 1)) {
    const std::string value = headers.ValueAt(static_cast<size_t>(i));
    std::string_view rest = value;
    for (;;) {
      const size_t semicolon = rest.find(';');
      const std::string_view piece = http_text::Trim(rest.substr(0, semicolon));
      // Empty pieces carry nothing; past the cap the rest is ignored, so that
      // no request costs much more than its own size.
      if (!piece.empty()) {
        if (request.Cookies.Count() >= kMaxRequestCookies) return;
        const size_t eq = piece.find('=');
        request.Cookies.Add(std::string(piece.substr(0, eq)),
                            eq == std::string_view::npos ? std::string() : std::string(piece.substr(eq + 1)));
      }
      if (semicolon == std::string_view::npos) break;
      rest.remove_prefix(semicolon + 1);
    }
  }
}

}  // namespace

void DecodeTarget(TIdHTTPRequestInfo& request, std::string target, bool parse_params) {
  request.UnparsedParams = request.FormParams;
  const size_t question = target.find('?');
  if (question != std::string::npos) {
    request.QueryParams = target.substr(question + 1);
    target.resize(question);
  }
  if (!request.QueryParams.empty()) {
    if (request.UnparsedParams.empty())
      request.UnparsedParams = request.QueryParams;
    else
      request.UnparsedParams.append("&").append(request.QueryParams);
  }
  if (parse_params) {
    if (http_text::EqualsNoCase(request.ContentType, "application/x-www-form-urlencoded"))
      DecodeParams(request.UnparsedParams, request.Params);
    else
      DecodeParams(request.QueryParams, request.Params);
  }
  DecodeCookies(request);
  if (target == "*") {
    request.Document = "*";
  } else {
    const TIdURI uri = TIdURI::Parse(target);
    request.Document = URLDecode(uri.Path) + URLDecode(uri.Document);
    if (!uri.Host.empty() && request.Host.empty()) request.Host = uri.Host;
  }
}

void DecodeAuthorization(TIdHTTPRequestInfo& request) {
  const std::string value = request.RawHeaders.Values("Authorization");
  if (value.empty()) return;
  request.AuthExists = true;
  const size_t blank = value.find(' ');
  if (!http_text::EqualsNoCase(std::string_view(value).substr(0, blank), "Basic"))
    throw EIdHTTPUnsupportedAuthorisationScheme();
  const std::string decoded =
      DecodeBase64(blank == std::string::npos ? std::string_view() : std::string_view(value).substr(blank + 1));
  const size_t colon = decoded.find(':');
  request.AuthUsername = decoded.substr(0, colon);
  request.AuthPassword = colon == std::string::npos ? std::string() : decoded.substr(colon + 1);
}

}  // namespace qv
