// Log lines read by shape.
#include "log_lines.h"

namespace qv::test {

bool StartsWithLogTime(std::string_view line) {
  static constexpr std::string_view kShape = "0000-00-00T00:00:00.000Z ";
  if (line.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kShape[i] == '0' ? !digit : line[i] != kShape[i]) return false;
  }
  return true;
}

std::string WithoutLogTimes(std::string_view text) {
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
