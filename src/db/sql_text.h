// Scanning of SQL text for the layer: named parameters and the statements of
// a script, skipping quoted text and comments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Replaces every parameter marker (":NAME" or "?") outside quotes and
// comments by "?".
std::string ReplaceParameterNames(std::string_view sql);
// Splits a script into statements at ";" outside quotes and comments.
std::vector<std::string> SplitSqlScript(std::string_view script);

}  // namespace qv
