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
class EHttpEngineError : public Exception {
 public:
  using Exception::Exception;
};

class EIdHTTPErrorParsingCommand : public EHttpEngineError {
 public:
  EIdHTTPErrorParsingCommand()
      : EHttpEngineError("Error in parsing command.", FailureKind::BadRequest) {}
};

class EIdReadLnMaxLineLengthExceeded : public EHttpEngineError {
 public:
  EIdReadLnMaxLineLengthExceeded()
      : EHttpEngineError("Max line length exceeded.", FailureKind::BadRequest) {}
};

class EIdMaxCaptureLineExceeded : public EHttpEngineError {
 public:
  EIdMaxCaptureLineExceeded()
      : EHttpEngineError("Maximum number of line allowed exceeded", FailureKind::BadRequest) {}
};

class EIdHTTPUnsupportedAuthorisationScheme : public EHttpEngineError {
 public:
  EIdHTTPUnsupportedAuthorisationScheme()
      : EHttpEngineError("Unsupported authorization scheme.", FailureKind::BadRequest) {}
};

// The peer closed the connection, or it was closed under the reader.
class EConnectionClosed : public EHttpEngineError {
 public:
  EConnectionClosed() : EHttpEngineError("Connection closed by the peer.", FailureKind::ClientGone) {}
};

// The peer sent nothing for the read time-out.
class EReadTimeout : public EHttpEngineError {
 public:
  EReadTimeout() : EHttpEngineError("Read timed out.", FailureKind::ClientGone) {}
};

// A socket call failed; carries the system error number.
class ESocketError : public EHttpEngineError {
 public:
  ESocketError(int error, const std::string& message)
      : EHttpEngineError(message, FailureKind::ClientGone), error_(error) {}
  int LastError() const { return error_; }

 private:
  int error_;
};

// Usage and configuration failures.
class ECouldNotBindSocket : public EHttpEngineError {
 public:
  ECouldNotBindSocket()
      : EHttpEngineError("Could not bind socket. Address and port are already in use.",
                         FailureKind::BadSetting) {}
  explicit ECouldNotBindSocket(const std::string& message)
      : EHttpEngineError(message, FailureKind::BadSetting) {}
};

class EIdHTTPHeaderAlreadyWritten : public EHttpEngineError {
 public:
  EIdHTTPHeaderAlreadyWritten() : EHttpEngineError("Header has already been written.") {}
};

class EIdHTTPCannotSwitchSessionStateWhenActive : public EHttpEngineError {
 public:
  EIdHTTPCannotSwitchSessionStateWhenActive()
      : EHttpEngineError("Cannot change session state when the server is active.") {}
};

// A body stream could not be opened or read.
class EContentStreamError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace qv
