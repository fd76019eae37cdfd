// Cookies of a request (name and value from the "Cookie" headers) and of a
// response (written as "Set-Cookie" lines).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Cookie {
 public:
  std::string cookie_name;
  std::string value;
  std::string path;
  std::string domain;
  std::string expires;  // expiry text as written; see MaxAge
  std::string comment;
  std::string version;
  bool secure = false;
  // Kept from scripts in the page.
  bool http_only = false;
  // "Lax", "Strict" or "None"; empty writes no attribute.
  std::string same_site;
  // Seconds until expiry; 0 or more is written as an expiry date from now,
  // -1 means no expiry.
  long long max_age = -1;

  // name=value; path=...; expires=...; domain=...; secure; comment=...; version=...;
  // HttpOnly; SameSite=...
  std::string CookieText() const;
};

class CookieList {
 public:
  size_t Count() const { return cookies_.size(); }
  bool Empty() const { return cookies_.empty(); }
  const qv::Cookie& operator[](size_t index) const { return cookies_[index]; }
  qv::Cookie& operator[](size_t index) { return cookies_[index]; }
  auto begin() const { return cookies_.begin(); }
  auto end() const { return cookies_.end(); }

  qv::Cookie& Add() { return cookies_.emplace_back(); }
  qv::Cookie& Add(std::string name, std::string value);
  void Clear() { cookies_.clear(); }
  // Drops every cookie with that name (case ignored).
  void Remove(std::string_view name);
  // The first cookie with that name (case ignored), or null.
  const qv::Cookie* Cookie(std::string_view name) const;

 private:
  std::vector<qv::Cookie> cookies_;
};

}  // namespace qv
