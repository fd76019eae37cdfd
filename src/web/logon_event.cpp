#include "web/logon_event.h"

namespace qv {

namespace {

std::string Quoted(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string LogonEventText(const LogonEvent& event) {
  const char* what = event.kind == LogonEvent::Kind::kLoggedOn   ? "Log-on"
                     : event.kind == LogonEvent::Kind::kFailed ? "Log-on failed"
                                                               : "Log-off";
  return std::string(what) + ": user " + Quoted(event.name) + " from " + event.address;
}

}  // namespace qv
