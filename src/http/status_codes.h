// Reason phrases of the HTTP status codes the engine knows.
#pragma once

#include <string_view>

namespace qv {

// The phrase for code; "Unknown Response Code" for any other.
std::string_view ReasonPhrase(int code);

}  // namespace qv
