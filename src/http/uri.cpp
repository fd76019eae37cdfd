#include "http/uri.h"

namespace qv {

Uri Uri::Parse(std::string_view target) {
  Uri uri;
  std::string text(target);
  for (char& c : text)
    if (c == '\\') c = '/';

  std::string_view rest = text;
  const size_t scheme = rest.find("://");
  if (scheme != std::string_view::npos) {
    uri.protocol = rest.substr(0, scheme);
    rest.remove_prefix(scheme + 3);
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
      std::string_view user = authority.substr(0, at);
      authority.remove_prefix(at + 1);
      const size_t colon = user.find(':');
      uri.username = user.substr(0, colon);
      if (colon != std::string_view::npos) uri.password = user.substr(colon + 1);
    }
    if (!authority.empty() && authority[0] == '[') {
      const size_t close = authority.find(']');
      uri.host = authority.substr(1, close == std::string_view::npos ? authority.size() - 1 : close - 1);
      authority = close == std::string_view::npos ? std::string_view() : authority.substr(close + 1);
      if (!authority.empty() && authority[0] == ':') uri.port = authority.substr(1);
    } else {
      const size_t colon = authority.find(':');
      uri.host = authority.substr(0, colon);
      if (colon != std::string_view::npos) uri.port = authority.substr(colon + 1);
    }
  }

  size_t cut = rest.find('?');
  if (cut == std::string_view::npos) cut = rest.find('=');
  if (cut != std::string_view::npos) {
    uri.params = rest.substr(cut + 1);
    rest = rest.substr(0, cut);
  }
  const size_t last = rest.rfind('/');
  const size_t split = last == std::string_view::npos ? 0 : last + 1;
  uri.path = rest.substr(0, split);
  uri.document = rest.substr(split);
  return uri;
}

}  // namespace qv
