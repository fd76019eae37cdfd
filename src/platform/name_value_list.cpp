#include "platform/name_value_list.h"

#include "platform/ascii_text.h"

namespace qv {

int NameValueList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    const size_t eq = line.find('=');
    if (eq != std::string::npos && ascii::EqualsNoCase(std::string_view(line).substr(0, eq), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string NameValueList::Values(std::string_view name) const {
  const int i = IndexOfName(name);
  if (i < 0) return {};
  const std::string& line = lines_[static_cast<size_t>(i)];
  return line.substr(line.find('=') + 1);
}

void NameValueList::SetValue(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) lines_.erase(lines_.begin() + i);
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append(1, '=').append(value);
  if (i >= 0)
    lines_[static_cast<size_t>(i)] = std::move(line);
  else
    lines_.push_back(std::move(line));
}

std::string_view NameValueList::Names(size_t index) const {
  std::string_view line = lines_[index];
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? line : line.substr(0, eq);
}

std::string_view NameValueList::ValueFromIndex(size_t index) const {
  std::string_view line = lines_[index];
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
}

std::string NameValueList::Text() const {
  std::string out;
  for (const std::string& line : lines_) out.append(line).append("\r\n");
  return out;
}

}  // namespace qv
