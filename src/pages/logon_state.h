// The log-on state a visitor's session holds: the name of the session value
// and its two texts. The log-on check writes it, the frame reads it, and the
// router and the service read it through these names too.
#pragma once

#include <string_view>

namespace qv {

inline constexpr std::string_view kLoggedInName = "LoggedIn";
inline constexpr std::string_view kLoggedInTrue = "True";
inline constexpr std::string_view kLoggedInFalse = "False";

}  // namespace qv
