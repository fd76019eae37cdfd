// A log-on, a failed log-on or a log-off as the error log records it: the
// user name (the one tried, for a failure) and the visitor's address, never
// the password.
#pragma once

#include <string>

namespace qv {

struct LogonEvent {
  enum class Kind { kLoggedOn, kFailed, kLoggedOff };
  Kind kind = Kind::kLoggedOn;
  std::string name;
  std::string address;
};

// One line: "Log-on: user "demo" from 127.0.0.1", "Log-on failed: user ...",
// "Log-off: user ...". Quotes, backslashes, control bytes and bytes beyond
// ASCII in the name are written as \xHH.
std::string LogonEventText(const LogonEvent& event);

}  // namespace qv
