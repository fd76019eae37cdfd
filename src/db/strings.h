// The NAME=VALUE list of a connection's settings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// NAME=VALUE lines; names are matched without regard to letter case.
class ParamStrings {
 public:
  size_t Count() const { return lines_.size(); }
  const std::string& operator[](size_t index) const { return lines_.at(index); }
  // Position of the first line with that name, or -1.
  int IndexOfName(std::string_view name) const;
  // The value of the first line with that name; empty when there is none.
  std::string Value(std::string_view name) const;
  // Replaces the first line with that name (or adds one); empty text removes it.
  void SetValue(std::string_view name, const std::string& value);

 private:
  std::vector<std::string> lines_;
};

}  // namespace qv
