// The NAME=VALUE list of a connection's settings.
#include "db/strings.h"

#include <cctype>

namespace qv {
namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

int ParamStrings::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    size_t eq = line.find('=');
    if (eq != std::string_view::npos && SameText(line.substr(0, eq), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string ParamStrings::Value(std::string_view name) const {
  int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string& line = lines_[index];
  return line.substr(line.find('=') + 1);
}

void ParamStrings::SetValue(std::string_view name, const std::string& value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) lines_.erase(lines_.begin() + index);
    return;
  }
  std::string line = std::string(name) + "=" + value;
  if (index >= 0)
    lines_[index] = std::move(line);
  else
    lines_.push_back(std::move(line));
}

}  // namespace qv
