// An ordered list of text entries "name=value": the request's Params and a
// session's Content. Lookup by name ignores ASCII letter case and takes the
// first entry that holds "="; entries without "=" are never matched.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/line_list.h"

namespace qv {

class NameValueList : public LineList {
 public:

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
};

}  // namespace qv
