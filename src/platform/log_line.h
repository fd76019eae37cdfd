// The one form of every line the program writes about itself on standard
// error: "2026-12-10T13:55:36.123Z error qvweb: text", the time in UTC with
// milliseconds, a level, the program's name, and the text on one line.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace qv {

// The name the program logs under, on standard error and in the system log.
inline constexpr const char* kProgramName = "qvweb";

enum class LogLevel { Error, Warning, Info };

// "error", "warning" or "info".
std::string_view LogLevelName(LogLevel level);

// The text with each run of line breaks (CR, LF) turned into one blank, and
// none left at either end: operating-system messages carry "\r\n".
std::string SingleLine(std::string_view text);

// "2026-12-10T13:55:36.123Z" (UTC).
std::string LogTime(std::chrono::system_clock::time_point time);

// The whole line, with its line break: "<time> <level> <name>: <text>\n".
std::string FormatLogLine(LogLevel level, std::string_view name, std::string_view text,
                          std::chrono::system_clock::time_point time =
                              std::chrono::system_clock::now());

}  // namespace qv
