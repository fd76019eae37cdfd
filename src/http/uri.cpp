#include "http/uri.h"

namespace qv {

TIdURI TIdURI::Parse(std::string_view target) {
  TIdURI uri;
  std::string text(target);
  for (char& c : text)
    if (c == '\\') c = '/';

  std::string_view rest = text;
  const size_t scheme = rest.find("://");
  if (scheme != std::string_view::npos) {
    uri.Protocol = rest.substr(0, scheme);
    rest.remove_prefix(scheme + 3);
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
      std::string_view user = authority.substr(0, at);
      authority.remove_prefix(at + 1);
      const size_t colon = user.find(':');
      uri.Username = user.substr(0, colon);
      if (colon != std::string_view::npos) uri.Password = user.substr(colon + 1);
    }
    if (!authority.empty() && authority[0] == '[') {
      const size_t close = authority.find(']');
      uri.Host = authority.substr(1, close == std::string_view::npos ? authority.size() - 1 : close - 1);
      authority = close == std::string_view::npos ? std::string_view() : authority.substr(close + 1);
      if (!authority.empty() && authority[0] == ':') uri.Port = authority.substr(1);
    } else {
      const size_t colon = authority.find(':');
      uri.Host = authority.substr(0, colon);
      if (colon != std::string_view::npos) uri.Port = authority.substr(colon + 1);
    }
  }

  size_t cut = rest.find('?');
  if (cut == std::string_view::npos) cut = rest.find('=');
  if (cut != std::string_view::npos) {
    uri.Params = rest.substr(cut + 1);
    rest = rest.substr(0, cut);
  }
  const size_t last = rest.rfind('/');
  const size_t split = last == std::string_view::npos ? 0 : last + 1;
  uri.Path = rest.substr(0, split);
  uri.Document = rest.substr(split);
  return uri;
}

}  // namespace qv
