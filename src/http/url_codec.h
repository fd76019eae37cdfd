// Decoding of the request target and of parameter texts: percent escapes,
// "%u" escapes and the splitting of "a=1&b=2" into name=value entries.
#pragma once

#include <string>
#include <string_view>

#include "platform/name_value_list.h"

namespace qv {

// Decodes "%xx" and "%uxxxx" escapes left to right; an escape whose digits are
// not hexadecimal is dropped, a "%u" character that the 8-bit code page lacks
// becomes "?". Every other byte is copied.
std::string URLDecode(std::string_view text);

// Clears params and fills it from text: one entry per piece between "&"
// (a final "&" gives nothing), "+" turned into a blank before URLDecode.
void DecodeParams(std::string_view text, NameValueList& params);

// The 8-bit (Windows-1252) byte for a Unicode code point, "?" when none.
char CodePointToAnsi(unsigned code);

}  // namespace qv
