// Writes a response to its connection: the status line, the header lines in
// a fixed order, one Set-Cookie line per cookie, the blank line and the body.
// The head goes out in one write together with a text body, or ahead of a
// file in one send.
#pragma once

#include <cstdint>
#include <string>

#include "http/response_info.h"

namespace qv {

class BufferedIo;

// The head as it is sent. Fixes the response's length from its body when
// none was set, and its connection to "close" when it has no length: only
// the close then frames the answer.
std::string ResponseHead(Response& response);

// Sends the head, then the body: content_text when set, else content_stream
// (freed once sent); a HEAD answer (head_only) sends the head alone. The body
// bytes written.
int64_t WriteResponse(BufferedIo& io, Response& response, bool head_only);

}  // namespace qv
