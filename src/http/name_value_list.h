// An ordered list of text entries "name=value": the request's Params and a
// session's Content. Lookup by name ignores ASCII letter case and takes the
// first entry that holds "="; entries without "=" are never matched.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TNameValueList {
 public:
  size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](size_t index) const { return lines_[index]; }
  const std::vector<std::string>& Lines() const { return lines_; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }

  // Index of the first entry whose text before its first "=" equals name
  // (case ignored), or -1.
  int IndexOfName(std::string_view name) const;
  // The text after the first "=" of that entry, or empty text.
  std::string Values(std::string_view name) const;
  // Replaces the first matching entry by name "=" value, appends one when none
  // matches, and deletes the matching entry when value is empty.
  void SetValue(std::string_view name, std::string_view value);

  // Name and value of the entry at index (name is the whole text without "=").
  std::string_view Names(size_t index) const;
  std::string_view ValueFromIndex(size_t index) const;

  // The entries joined, each followed by CR LF.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace qv
