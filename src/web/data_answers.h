// The bodies of the data answers that are no page: a problem (RFC 9457) for
// a failure, a refusal or a record that is not there.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// {"type":"about:blank","title":<the status's reason phrase>,"status":<status>,
//  "detail":<detail>} in UTF-8 (bytes of the detail that are not UTF-8 as U+FFFD).
std::string ProblemBody(int status, std::string_view detail);

}  // namespace qv
