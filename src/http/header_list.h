// An ordered list of header lines "Name: value". Requests keep the lines as
// received; lookup by name ignores case and joins folded continuation lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/line_list.h"

namespace qv {

class HeaderList : public LineList {
 public:
  void AddStrings(const HeaderList& other);

  // Index of the first line whose text before its first ":" equals name
  // (case ignored), or -1.
  int IndexOfName(std::string_view name, size_t from = 0) const;
  // The value of the first line with that name: the text after its ":", then
  // every following line that begins with a blank or a tab, trimmed, after one
  // blank; the whole trimmed. Empty text when there is no such line.
  std::string Values(std::string_view name) const;
  // The value of the line at index, built the same way.
  std::string ValueAt(size_t index) const;
  // Sets "name: value": a name already present keeps its position and takes
  // the new value; otherwise the line is appended.
  void SetValue(std::string_view name, std::string_view value);
};

}  // namespace qv
