// The record of one HTTP response: the handler fills it, the engine writes it.
// Status line, header lines in a fixed order, Set-Cookie lines, blank line and
// body; the header block goes out in one write together with a text body.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "http/content_stream.h"
#include "http/cookies.h"
#include "http/header_info.h"

namespace qv {

class Session;
class BufferedIo;

class Response : public ResponseHeaders {
 public:
  // io: the connection the response is written to (null: nothing is written).
  explicit Response(BufferedIo* io);
  ~Response();
  Response(const Response&) = delete;
  Response& operator=(const Response&) = delete;

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

  // Sets ResponseNo and ResponseText from the status table; 404 also closes
  // the connection.
  void SetResponseNo(int code);

  // An answer whose header goes out without a Content-Length closes the
  // connection whatever was set: only the close frames it.
  bool CloseConnection() const { return close_connection_; }
  // Also sets the Connection field to "close" or "keep-alive".
  void SetCloseConnection(bool close);

  bool HeaderHasBeenWritten() const { return header_written_; }
  // Sends the header block now; HeaderAlreadyWritten the second time.
  void WriteHeader();
  // Sends the body (the header first when it is not out yet): ContentText,
  // else content_stream, else a small HTML page naming the status.
  void WriteContent();

  // The engine's part: a HEAD answer carries headers only.
  void SetHeadOnly(bool head_only) { head_only_ = head_only; }
  // The engine's part after the handler: the header unless already written,
  // then the body when there is text or a stream, in as few writes as possible.
  void Finish();

  // Body bytes written so far (0 for a HEAD answer).
  int64_t BodyBytesSent() const { return body_bytes_sent_; }

  // The header block as it would be sent (also fixes ContentLength).
  std::string HeaderText();

 private:
  void BuildRawHeaders();
  void SendBody(std::string_view pending_header);

  BufferedIo* io_;
  bool close_connection_ = true;
  bool header_written_ = false;
  bool head_only_ = false;
  std::string pending_header_;  // built but not yet sent
  int64_t body_bytes_sent_ = 0;
};

}  // namespace qv
