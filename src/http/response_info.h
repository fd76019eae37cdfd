// One HTTP response as a value: the handler fills it, the engine adds its own
// fields, and the response writer (response_writer.h) sends it. Nothing here
// writes to a connection.
#pragma once

#include <memory>
#include <string>

#include "http/content_stream.h"
#include "http/cookies.h"
#include "http/header_info.h"

namespace qv {

class Session;

class Response : public ResponseHeaders {
 public:
  Response();
  ~Response();
  Response(Response&&) noexcept;
  Response& operator=(Response&&) noexcept;

  int response_no = 200;
  std::string response_text = "OK";
  CookieList cookies;
  // Body as text; sent instead of content_stream when not empty.
  std::string content_text;
  // Body as a stream, sent from position 0; freed once it is sent.
  std::unique_ptr<ContentStream> content_stream;
  std::shared_ptr<Session> session;
  // Set by the handler (a log-on, a log-off): after it, the engine moves the
  // session to a new identifier, with a new cookie, and ends the old one.
  bool renew_session = false;

  // Sets response_no and response_text from the status table; 404 also
  // closes the connection.
  void SetResponseNo(int code);

  // An answer whose head goes out without a Content-Length closes the
  // connection whatever was set: only the close frames it.
  bool CloseConnection() const { return close_connection_; }
  // Also sets the Connection field to "close" or "keep-alive".
  void SetCloseConnection(bool close);

 private:
  bool close_connection_ = true;
};

}  // namespace qv
