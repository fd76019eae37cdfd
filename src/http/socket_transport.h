// The transport of an accepted TCP connection: a blocking-free socket used with
// readiness waits, so that reads and writes give up after the time-out.
#pragma once

#include <mutex>

#include "http/transport.h"

namespace qv {

class TIdSocketTransport final : public TIdTransport {
 public:
  // Takes ownership of fd. timeout_ms bounds every wait for input or for
  // room to write; 0 waits without limit.
  TIdSocketTransport(int fd, int timeout_ms) : fd_(fd), timeout_ms_(timeout_ms) {}
  ~TIdSocketTransport() override { Close(false); }
  TIdSocketTransport(const TIdSocketTransport&) = delete;
  TIdSocketTransport& operator=(const TIdSocketTransport&) = delete;

  size_t Receive(char* buffer, size_t count) override;
  void Send(const std::string_view* parts, size_t count) override;
  bool SendFile(std::string_view header, int fd, long long offset) override;
  bool InputPending() override;
  void Close(bool lingering) override;

  // Shuts the socket down, so that blocked reads and writes on it end.
  void Abort() override;

 private:
  // Waits until the socket is ready for events; false on time-out.
  bool Wait(short events, int timeout_ms);
  void Push();

  int fd_;
  int timeout_ms_;
  std::mutex close_lock_;
  bool closed_ = false;
};

}  // namespace qv
