// Where a log's lines go: a descriptor (a file, standard output or error, a
// pipe, a socket) or the system log's socket. A sink never blocks for long:
// while its output is not ready it waits in short steps, asking each time
// whether to go on waiting, so the writer that calls it can always give up.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file_descriptor.h"
#include "platform/log_line.h"

namespace qv {

class LogSink {
 public:
  // Asked at least every tenth of a second while the output is not ready;
  // false gives up.
  using KeepWaiting = std::function<bool()>;

  virtual ~LogSink() = default;
  // Writes text made of whole lines; the result is how many of its bytes went
  // out. Stops early when the output fails (error is then its errno) or when
  // keep_waiting gives up (error stays 0).
  virtual size_t Write(std::string_view text, const KeepWaiting& keep_waiting, int& error) = 0;
};

// A descriptor. A regular file is written as it is; a socket with
// non-blocking sends; a pipe, FIFO or terminal through a non-blocking
// description of the sink's own (so the flag never reaches whoever shares
// the descriptor), or, when that cannot be opened, in pieces of at most
// PIPE_BUF bytes each after poll said there is room.
class DescriptorSink final : public LogSink {
 public:
  // owned: the sink closes fd when it goes.
  DescriptorSink(int fd, bool owned);
  DescriptorSink(const DescriptorSink&) = delete;
  DescriptorSink& operator=(const DescriptorSink&) = delete;

  size_t Write(std::string_view text, const KeepWaiting& keep_waiting, int& error) override;

 private:
  enum class Kind { Plain, Socket, NonBlocking, Polled };

  size_t WriteBytes(std::string_view bytes, const KeepWaiting& keep_waiting, int& error);
  bool AwaitRoom(const KeepWaiting& keep_waiting) const;

  FileDescriptor owned_;  // the descriptor when the sink closes it
  int fd_;
  Kind kind_ = Kind::Plain;
  bool mid_line_ = false;  // a write stopped inside a line: the next one starts a new line
};

// The system log's datagram socket: each line of the text is one message,
// made by SyslogRecord. Without a socket there (no system log on the
// machine) lines are let go without counting them as lost; the socket is
// looked for again at most every ten seconds, and once more when the
// system log was restarted.
class SyslogSink final : public LogSink {
 public:
  explicit SyslogSink(std::string socket_path = "/dev/log");
  SyslogSink(const SyslogSink&) = delete;
  SyslogSink& operator=(const SyslogSink&) = delete;

  size_t Write(std::string_view text, const KeepWaiting& keep_waiting, int& error) override;

 private:
  bool Connect();

  std::string path_;
  FileDescriptor socket_;
  std::chrono::steady_clock::time_point last_attempt_{};
  bool attempted_ = false;
};

// One system-log message with its line break, for facility daemon:
// "<27>Dec 10 13:55:36 qvweb[1234]: text" (local time, as syslog(3) sends).
std::string SyslogRecord(LogLevel level, std::string_view name, std::string_view text,
                         std::chrono::system_clock::time_point time, pid_t pid);

}  // namespace qv
