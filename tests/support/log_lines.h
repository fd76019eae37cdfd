// The program's log lines as tests read them: "<time> <level> qvweb: text",
// with the time checked for its shape and then taken off, so that the rest
// compares exactly.
#pragma once

#include <string>
#include <string_view>

namespace qv::test {

inline constexpr size_t kLogTimeLength = 25;  // "2026-12-10T13:55:36.123Z "

// True when line begins with a log line's time.
inline bool StartsWithLogTime(std::string_view line) {
  static constexpr std::string_view kShape = "0000-00-00T00:00:00.000Z ";
  if (line.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kShape[i] == '0' ? !digit : line[i] != kShape[i]) return false;
  }
  return true;
}

// The text with the time taken off every line that begins with one.
inline std::string WithoutLogTimes(std::string_view text) {
  std::string kept;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    end = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = text.substr(begin, end - begin);
    if (StartsWithLogTime(line)) line.remove_prefix(kLogTimeLength);
    kept += line;
    begin = end;
  }
  return kept;
}

}  // namespace qv::test
