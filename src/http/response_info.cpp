#include "http/response_info.h"

#include "http/status_codes.h"

namespace qv {

Response::Response() { SetCloseConnection(true); }

Response::~Response() = default;
Response::Response(Response&&) noexcept = default;
Response& Response::operator=(Response&&) noexcept = default;

void Response::SetResponseNo(int code) {
  response_no = code;
  response_text = ReasonPhrase(code);
  if (code == 404) SetCloseConnection(true);
}

void Response::SetCloseConnection(bool close) {
  close_connection_ = close;
  connection = close ? "close" : "keep-alive";
}

}  // namespace qv
