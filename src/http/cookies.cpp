#include "http/cookies.h"

#include "http/http_date.h"
#include "http/text.h"

namespace qv {

std::string TIdCookieRFC2109::CookieText() const {
  std::string text = CookieName + "=" + Value;
  auto property = [&text](const char* name, const std::string& value) {
    if (!value.empty()) text.append("; ").append(name).append("=").append(value);
  };
  property("path", Path);
  property("expires", MaxAge >= 0 ? FormatCookieDate(NowGmt() + MaxAge / 86400.0) : Expires);
  property("domain", Domain);
  if (Secure) text.append("; secure");
  property("comment", Comment);
  property("version", Version);
  if (HttpOnly) text.append("; HttpOnly");
  property("SameSite", SameSite);
  return text;
}

TIdCookieRFC2109& TIdServerCookies::Add(std::string name, std::string value) {
  TIdCookieRFC2109& cookie = cookies_.emplace_back();
  cookie.CookieName = std::move(name);
  cookie.Value = std::move(value);
  return cookie;
}

const TIdCookieRFC2109* TIdServerCookies::Cookie(std::string_view name) const {
  for (const TIdCookieRFC2109& c : cookies_)
    if (http_text::EqualsNoCase(c.CookieName, name)) return &c;
  return nullptr;
}

}  // namespace qv
