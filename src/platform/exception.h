// The base of every failure the system raises on purpose: an exception that
// carries a message text. Callers that turn failures into pages catch this type.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace qv {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

}  // namespace qv
