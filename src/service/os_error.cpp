#include "service/os_error.h"

#include <cerrno>
#include <cstring>

namespace qv {

std::string SysErrorMessage(int errorCode) {
  char buffer[256];
  // The GNU variant returns the text, which may or may not live in buffer.
  const char* text = strerror_r(errorCode, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

std::string OSErrorMessage(int errorCode) {
  if (errorCode == 0) return "A call to an OS function failed";
  return "System Error.  Code: " + std::to_string(errorCode) + ".\r\n" + SysErrorMessage(errorCode);
}

void RaiseLastOSError(int errorCode) { throw OsError(errorCode, OSErrorMessage(errorCode)); }

void RaiseLastOSError() { RaiseLastOSError(errno); }

}  // namespace qv
