// No log holds a password: the value of the log-on form's password parameter
// is masked wherever a request's parameters are written out.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// The parameter that carries the password of a log-on.
inline constexpr std::string_view kPasswordParameter = "uPass";

// text, a request line or a URL, with the value of every password parameter
// in its query (the text after its first "?"; in a request line up to the
// version) replaced by "***". A parameter counts by its name as the pages
// read it: "+" and escapes decoded, letter case ignored.
std::string MaskPasswords(std::string_view text);

}  // namespace qv
