// The byte channel under one connection: a connected socket in the server, a
// memory buffer in tests and fuzzing. Failures are raised as engine errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

class Transport {
 public:
  virtual ~Transport() = default;
  // Reads up to count bytes. Returns 0 when the peer has closed (or reset)
  // the connection; raises ReadTimedOut when nothing came in time and
  // SocketError on other failures.
  virtual size_t Receive(char* buffer, size_t count) = 0;
  // Reads up to count bytes of what has already arrived, without waiting:
  // -1 when nothing is waiting, 0 when the peer has closed.
  virtual ptrdiff_t TryReceive(char* buffer, size_t count) {
    return static_cast<ptrdiff_t>(Receive(buffer, count));
  }
  // Sends all parts, in order, as one gathered write; raises SocketError.
  virtual void Send(const std::string_view* parts, size_t count) = 0;
  // Sends header, then the file from offset to its end (at most length
  // bytes when length is not -1), without copying it through memory. False
  // when the transport cannot (nothing is sent then).
  virtual bool SendFile(std::string_view /*header*/, int /*fd*/, long long /*offset*/,
                        long long /*length*/ = -1) {
    return false;
  }
  // True when unread input is known to be waiting.
  virtual bool InputPending() { return false; }
  // Shuts the send side down and closes; further calls do nothing.
  // lingering: input was left unread, so wait briefly for the peer to finish
  // sending before closing, to let it read the answer.
  virtual void Close(bool lingering) = 0;
  // Called from another thread to end blocked reads and writes; the owner
  // still calls Close.
  virtual void Abort() {}

  // The front's part, for transports that hold back what the peer could not
  // take at once. Whether output is held back; sends what the peer takes now
  // and returns true when nothing is held back any more.
  virtual bool OutputPending() { return false; }
  virtual bool FlushAvailable() { return true; }
  // Sends what is held back, waiting for the peer as a blocking write would
  // (ReadTimedOut when it takes nothing in time): a body made as it is sent
  // goes no faster than its reader, so what it makes is not piled up here.
  virtual void FlushHeld() {}
  // Shuts the send side down (before the peer's last bytes are read and dropped).
  virtual void ShutdownSend() {}
};

}  // namespace qv
