// Failures of operating-system calls, carried with the system's error number and
// its text in the form administrators see in the service's messages.
#pragma once

#include <string>

#include "platform/exception.h"

namespace qv {

class OsError : public Exception {
 public:
  OsError(int error_code, const std::string& message)
      : Exception(message), error_code_(error_code) {}
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};

// The system's text for an error number ("Unknown error N" for numbers it does not know).
std::string SysErrorMessage(int error_code);

// "System Error.  Code: N." CR LF and the system's text, or "A call to an OS
// function failed" when the number is 0.
std::string OSErrorMessage(int error_code);

// Raises OsError for the given error number (errno by default).
[[noreturn]] void RaiseLastOSError(int error_code);
[[noreturn]] void RaiseLastOSError();

}  // namespace qv
