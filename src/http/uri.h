// Splitting of a request target into protocol, host, port, path and document,
// as the engine does it to find the request's Document.
#pragma once

#include <string>
#include <string_view>

namespace qv {

struct Uri {
  std::string protocol;
  std::string username;
  std::string password;
  std::string host;  // without brackets for an IPv6 literal
  std::string port;
  std::string path;      // up to and including the last "/"
  std::string document;  // after the last "/"
  std::string params;    // text cut off after "?" (or after "=" when there is no "?")

  // "\" becomes "/"; "proto://authority" is split off when present; parameters
  // are cut at the first "?", or at the first "=" when there is no "?".
  static Uri Parse(std::string_view target);
};

}  // namespace qv
