#include "platform/log_line.h"

#include <cstdio>
#include <ctime>

namespace qv {

std::string_view LogLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Error: return "error";
    case LogLevel::Warning: return "warning";
    case LogLevel::Info: return "info";
  }
  return "error";
}

std::string SingleLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool in_break = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      in_break = true;
      continue;
    }
    if (in_break && !line.empty()) line += ' ';
    in_break = false;
    line += c;
  }
  return line;
}

std::string LogTime(std::chrono::system_clock::time_point time) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  const long long fraction = (ms % 1000 + 1000) % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ",
                              utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                              utc.tm_min, utc.tm_sec, fraction);
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string FormatLogLine(LogLevel level, std::string_view name, std::string_view text,
                          std::chrono::system_clock::time_point time) {
  std::string line = LogTime(time);
  line += ' ';
  line += LogLevelName(level);
  line += ' ';
  line += name;
  line += ": ";
  line += SingleLine(text);
  line += '\n';
  return line;
}

}  // namespace qv
