// Cookies of a request (name and value from the "Cookie" headers) and of a
// response (written as "Set-Cookie" lines).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TIdCookieRFC2109 {
 public:
  std::string CookieName;
  std::string Value;
  std::string Path;
  std::string Domain;
  std::string Expires;  // expiry text as written; see MaxAge
  std::string Comment;
  std::string Version;
  bool Secure = false;
  // Kept from scripts in the page.
  bool HttpOnly = false;
  // "Lax", "Strict" or "None"; empty writes no attribute.
  std::string SameSite;
  // Seconds until expiry; 0 or more is written as an expiry date from now,
  // -1 means no expiry.
  long long MaxAge = -1;

  // name=value; path=...; expires=...; domain=...; secure; comment=...; version=...;
  // HttpOnly; SameSite=...
  std::string CookieText() const;
};

class TIdServerCookies {
 public:
  size_t Count() const { return cookies_.size(); }
  bool Empty() const { return cookies_.empty(); }
  const TIdCookieRFC2109& operator[](size_t index) const { return cookies_[index]; }
  TIdCookieRFC2109& operator[](size_t index) { return cookies_[index]; }
  auto begin() const { return cookies_.begin(); }
  auto end() const { return cookies_.end(); }

  TIdCookieRFC2109& Add() { return cookies_.emplace_back(); }
  TIdCookieRFC2109& Add(std::string name, std::string value);
  void Clear() { cookies_.clear(); }
  // The first cookie with that name (case ignored), or null.
  const TIdCookieRFC2109* Cookie(std::string_view name) const;

 private:
  std::vector<TIdCookieRFC2109> cookies_;
};

}  // namespace qv
