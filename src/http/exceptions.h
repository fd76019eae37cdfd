// Failures raised by the HTTP server engine. Every one derives from qv::Exception,
// so a handler's catch of the base type sees them; texts are the engine's own.
// A malformed request is a BadRequest, a connection that closed, failed or
// fell silent ClientGone, an address that cannot be bound a BadSetting.
#pragma once

#include <string>

#include "platform/exception.h"

namespace qv {

// Connection-level failures: the request loop ends and the connection is closed
// without an answer.
class HttpError : public Exception {
 public:
  using Exception::Exception;
};

class BadRequestLine : public HttpError {
 public:
  BadRequestLine()
      : HttpError("Error in parsing command.", FailureKind::BadRequest) {}
};

// The peer closed the connection, or it was closed under the reader.
class ConnectionClosed : public HttpError {
 public:
  ConnectionClosed() : HttpError("Connection closed by the peer.", FailureKind::ClientGone) {}
};

// The peer sent nothing for the read time-out.
class ReadTimedOut : public HttpError {
 public:
  ReadTimedOut() : HttpError("Read timed out.", FailureKind::ClientGone) {}
};

// A socket call failed; carries the system error number.
class SocketError : public HttpError {
 public:
  SocketError(int error, const std::string& message)
      : HttpError(message, FailureKind::ClientGone), error_(error) {}
  int LastError() const { return error_; }

 private:
  int error_;
};

// Usage and configuration failures.
class BindError : public HttpError {
 public:
  BindError()
      : HttpError("Could not bind socket. Address and port are already in use.",
                         FailureKind::BadSetting) {}
  explicit BindError(const std::string& message)
      : HttpError(message, FailureKind::BadSetting) {}
};

class SessionStateLocked : public HttpError {
 public:
  SessionStateLocked()
      : HttpError("Cannot change session state when the server is active.") {}
};

// A body stream could not be opened or read.
class ContentStreamError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace qv
