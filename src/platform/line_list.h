// An ordered list of text lines: the storage shared by the header list and the
// name=value list, which add their own lookup rules on top.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qv {

class LineList {
 public:
  size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](size_t index) const { return lines_[index]; }
  const std::vector<std::string>& Lines() const { return lines_; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }

 protected:
  std::vector<std::string> lines_;
};

}  // namespace qv
