// The program's log lines as tests read them: "<time> <level> qvweb: text",
// with the time checked for its shape and then taken off, so that the rest
// compares exactly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::test {

inline constexpr size_t kLogTimeLength = 25;  // "2026-12-10T13:55:36.123Z "

// True when line begins with a log line's time.
bool StartsWithLogTime(std::string_view line);

// The text with the time taken off every line that begins with one.
std::string WithoutLogTimes(std::string_view text);

}  // namespace qv::test
