// Decoding of Base64 text (standard alphabet), used for Basic authorization.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Characters outside the alphabet are skipped; decoding stops at the first "=".
std::string DecodeBase64(std::string_view text);

}  // namespace qv
