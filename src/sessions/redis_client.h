// A small client of the Redis protocol (RESP2) over one TCP connection:
// commands go out as arrays of bulk strings, replies come back parsed.
// Every failure to reach or talk to the server raises RedisError.
#pragma once

#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/file_descriptor.h"

namespace qv {

class RedisError : public Exception {
 public:
  explicit RedisError(const std::string& message)
      : Exception(message, FailureKind::StoreUnavailable) {}
};

struct RedisReply {
  enum class Kind { Status, Error, Integer, Bulk, Nil, Array };
  Kind kind = Kind::Nil;
  std::string text;  // status, error or bulk text
  long long integer = 0;
  std::vector<RedisReply> elements;
};

class RedisConnection {
 public:
  // Connects within timeout_ms; each later send or receive also waits at most
  // that long.
  RedisConnection(const std::string& host, int port, int timeout_ms);
  RedisConnection(const RedisConnection&) = delete;
  RedisConnection& operator=(const RedisConnection&) = delete;

  // Sends the commands in one write and reads one reply for each. An error
  // reply is returned as such; the connection stays usable.
  std::vector<RedisReply> Pipeline(const std::vector<std::vector<std::string>>& commands);
  RedisReply Command(const std::vector<std::string>& arguments);

 private:
  char ReadByte();
  std::string ReadLine();
  RedisReply ReadReply(int depth);
  void Fill();

  FileDescriptor fd_;
  std::string buffer_;
  size_t position_ = 0;
};

}  // namespace qv
