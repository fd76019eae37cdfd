// Splitting of a request target into protocol, host, port, path and document,
// as the engine does it to find the request's Document.
#pragma once

#include <string>
#include <string_view>

namespace qv {

struct TIdURI {
  std::string Protocol;
  std::string Username;
  std::string Password;
  std::string Host;  // without brackets for an IPv6 literal
  std::string Port;
  std::string Path;      // up to and including the last "/"
  std::string Document;  // after the last "/"
  std::string Params;    // text cut off after "?" (or after "=" when there is no "?")

  // "\" becomes "/"; "proto://authority" is split off when present; parameters
  // are cut at the first "?", or at the first "=" when there is no "?".
  static TIdURI Parse(std::string_view target);
};

}  // namespace qv
