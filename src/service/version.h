// The server's version, as --version, the start line and the metrics show it.
#pragma once

#include <string>

namespace qv {

// "1.0.0"
const char* ServerVersion();

// "qvweb <version>", then the Firebird client's version on a line of its own
// when the client library loads; each line ends with a line break.
std::string VersionText();

}  // namespace qv
