// The transport of an accepted TCP connection: a non-blocking socket. Reads
// that must wait use readiness waits bounded by the time-out. Writes never
// wait when the front owns the connection: what the peer cannot take at once
// is held back (text copied, a file by its descriptor and offset) and sent by
// the front as the peer reads.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>

#include "http/transport.h"
#include "platform/file_descriptor.h"

namespace qv {

class SocketTransport final : public Transport {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes the socket (non-blocking). timeout_ms bounds every wait for input
  // or for room to write; 0 waits without limit.
  SocketTransport(FileDescriptor socket, int timeout_ms)
      : socket_(std::move(socket)), fd_(socket_.Get()), timeout_ms_(timeout_ms) {}
  ~SocketTransport() override;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  size_t Receive(char* buffer, size_t count) override;
  ptrdiff_t TryReceive(char* buffer, size_t count) override;
  void Send(const std::string_view* parts, size_t count) override;
  bool SendFile(std::string_view header, int fd, long long offset, long long length = -1) override;
  bool InputPending() override;
  void Close(bool lingering) override;
  // Shuts the socket down, so that blocked reads and writes on it end.
  void Abort() override;

  bool OutputPending() override { return !pending_.empty(); }
  bool FlushAvailable() override;
  void FlushHeld() override {
    if (!pending_.empty()) FlushWaiting();
  }
  void ShutdownSend() override;

  // Writes that the peer cannot take at once are held back instead of waited for.
  void SetHoldBack(bool on) { hold_back_ = on; }
  // A new bound for every wait (a connection taken over by a restarted server).
  void SetTimeout(int timeout_ms) { timeout_ms_ = timeout_ms; }
  // Waits for input end here at the latest (besides the time-out); none by default.
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }
  int Handle() const { return fd_; }
  bool Aborted() const { return aborted_; }

 private:
  // Output held back: bytes, or a file (a copy of the descriptor) from an
  // offset to its end.
  struct Held {
    std::string bytes;
    FileDescriptor file;
    long long offset = 0;
    long long end = -1;  // -1: the end of the file
  };

  // Waits until the socket is ready for events; false on time-out.
  bool Wait(short events);
  // Sends as much of data as the socket takes now; returns the bytes sent.
  size_t SendNow(const std::string_view* parts, size_t count, int flags);
  void HoldBytes(const std::string_view* parts, size_t count, size_t skip);
  void HoldFile(int file, long long offset, long long end);
  // Sends everything held back, waiting as reads and writes do.
  void FlushWaiting();
  void Push();

  // The socket, closed by Close under close_lock_; fd_ keeps its number for
  // the calls made meanwhile on other threads.
  FileDescriptor socket_;
  const int fd_;
  int timeout_ms_;
  bool hold_back_ = false;
  Clock::time_point deadline_ = Clock::time_point::max();
  std::deque<Held> pending_;
  std::mutex close_lock_;
  bool closed_ = false;
  std::atomic<bool> aborted_{false};
};

}  // namespace qv
