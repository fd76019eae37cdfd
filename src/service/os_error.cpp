#include "service/os_error.h"

#include <cerrno>
#include <cstring>

namespace qv {

std::string SysErrorMessage(int error_code) {
  char buffer[256];
  // The GNU variant returns the text, which may or may not live in buffer.
  const char* text = strerror_r(error_code, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

std::string OSErrorMessage(int error_code) {
  if (error_code == 0) return "A call to an OS function failed";
  return "System Error.  Code: " + std::to_string(error_code) + ".\r\n" + SysErrorMessage(error_code);
}

void RaiseLastOSError(int error_code) { throw OsError(error_code, OSErrorMessage(error_code)); }

void RaiseLastOSError() { RaiseLastOSError(errno); }

}  // namespace qv
