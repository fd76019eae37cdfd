#include "http/header_list.h"

#include "platform/ascii_text.h"

namespace qv {

void HeaderList::AddStrings(const HeaderList& other) {
  lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

int HeaderList::IndexOfName(std::string_view name, size_t from) const {
  for (size_t i = from; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && ascii::EqualsNoCase(line.substr(0, colon), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::string HeaderList::ValueAt(size_t index) const {
  std::string_view first = lines_[index];
  const size_t colon = first.find(':');
  std::string value(first.substr(colon == std::string_view::npos ? first.size() : colon + 1));
  for (size_t i = index + 1; i < lines_.size(); ++i) {
    const std::string& next = lines_[i];
    if (next.empty() || (next[0] != ' ' && next[0] != '\t')) break;
    value.append(1, ' ').append(ascii::Trim(next));
  }
  return std::string(ascii::Trim(value));
}

std::string HeaderList::Values(std::string_view name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueAt(static_cast<size_t>(i));
}

void HeaderList::SetValue(std::string_view name, std::string_view value) {
  std::string line;
  line.reserve(name.size() + 2 + value.size());
  line.append(name).append(": ").append(value);
  const int i = IndexOfName(name);
  if (i >= 0)
    lines_[static_cast<size_t>(i)] = std::move(line);
  else
    lines_.push_back(std::move(line));
}

}  // namespace qv
