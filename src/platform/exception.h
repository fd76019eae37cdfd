// The base of every failure the system raises on purpose: an exception that
// carries a message text and the kind of failure it is. Callers that turn
// failures into pages catch this type and go by the kind, never by the text.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace qv {

// What a failure means to whoever handles it: the status a visitor gets, the
// label it is counted under, whether a database connection may be used again.
enum class FailureKind {
  Internal,          // a fault of the program, or a failure no other kind describes
  BadRequest,        // a request that cannot be read as the client sent it
  BadSetting,        // a setting, or a file a setting names, that cannot be used
  ClientGone,        // the client's connection closed, failed or fell silent
  StoreUnavailable,  // the session store cannot be reached
  DatabaseRefused,   // the database refused a statement; the attachment is fine
  DatabaseDown,      // no attachment could be made (no server, no such database)
  LogonRefused,      // the database refused the configured user name and password
  ConnectionLost,    // the attachment to the database is gone
  NoFreeConnection,  // no pooled connection came free in time
  TimedOut,          // a query cancelled at its time-out
};

// Whether a database connection that failed so may not be used again: the
// attachment is gone or may be, or a cancel may still reach it.
constexpr bool DropsConnection(FailureKind kind) {
  return kind == FailureKind::ConnectionLost || kind == FailureKind::DatabaseDown ||
         kind == FailureKind::LogonRefused || kind == FailureKind::TimedOut;
}

class Exception : public std::exception {
 public:
  explicit Exception(std::string message, FailureKind kind = FailureKind::Internal)
      : message_(std::move(message)), kind_(kind) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  FailureKind Kind() const noexcept { return kind_; }

 protected:
  // For a failure whose kind is only known once it has been made.
  void SetKind(FailureKind kind) noexcept { kind_ = kind; }

 private:
  std::string message_;
  FailureKind kind_;
};

}  // namespace qv
