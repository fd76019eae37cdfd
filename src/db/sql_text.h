// Scanning of SQL text for the layer: named parameters and the top-level
// clauses of a query, skipping quoted text and comments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Replaces every parameter marker (":NAME" or "?") outside quotes and
// comments by "?", and lists the parameter names in order ("" for "?").
std::string ReplaceParameterNames(std::string_view sql, std::vector<std::string>& names);

}  // namespace qv
