#include "http/cookies.h"

#include "http/http_date.h"
#include "platform/ascii_text.h"

namespace qv {

std::string Cookie::CookieText() const {
  std::string text = cookie_name + "=" + value;
  auto property = [&text](const char* name, const std::string& value) {
    if (!value.empty()) text.append("; ").append(name).append("=").append(value);
  };
  property("path", path);
  property("expires", max_age >= 0 ? FormatCookieDate(NowGmt() + max_age / 86400.0) : expires);
  property("domain", domain);
  if (secure) text.append("; secure");
  property("comment", comment);
  property("version", version);
  if (http_only) text.append("; HttpOnly");
  property("SameSite", same_site);
  return text;
}

qv::Cookie& CookieList::Add(std::string name, std::string value) {
  qv::Cookie& cookie = cookies_.emplace_back();
  cookie.cookie_name = std::move(name);
  cookie.value = std::move(value);
  return cookie;
}

void CookieList::Remove(std::string_view name) {
  std::erase_if(cookies_, [name](const qv::Cookie& c) { return ascii::EqualsNoCase(c.cookie_name, name); });
}

const qv::Cookie* CookieList::Cookie(std::string_view name) const {
  for (const qv::Cookie& c : cookies_)
    if (ascii::EqualsNoCase(c.cookie_name, name)) return &c;
  return nullptr;
}

}  // namespace qv
