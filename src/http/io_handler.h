// Buffered reading and writing on one connection: received bytes wait in a
// buffer until the request parser takes them; writes go straight out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "http/request_memory.h"
#include "http/transport.h"

namespace qv {

class BufferedIo {
 public:
  static constexpr size_t kRecvBufferSize = 32768;  // most bytes read at once
  static constexpr size_t kInitialBuffer = RequestMemory::kUncounted;  // grows as requests need it

  explicit BufferedIo(qv::Transport& transport) : transport_(transport) {}

  // Where the buffer's growth beyond kInitialBuffer is charged from now on
  // (null: nowhere). When the charge is refused, the buffer does not grow:
  // nothing more is read and Starved says so.
  void SetMemory(std::shared_ptr<RequestMemory> memory) { charge_ = MemoryCharge(std::move(memory)); }
  bool Starved() const { return starved_; }

  // Bytes received and not yet parsed, and a view of them.
  size_t Buffered() const { return end_ - begin_; }
  std::string_view Unread() const { return std::string_view(buffer_.get() + begin_, end_ - begin_); }
  // Drops count bytes from the front of what is unread (they were parsed).
  void Consume(size_t count) { begin_ += count; }
  // Waits for more bytes and adds them to what is unread; false when the
  // peer has closed (or the buffer is starved). Raises what the transport raises.
  bool ReceiveMore();

  // The front's part: receives what has arrived, without waiting, up to
  // limit bytes unread in all. Returns the bytes added, 0 when the peer has
  // closed, -1 when nothing is waiting (or the limit is reached, or the
  // buffer is starved).
  // offered: set to the most bytes that could be taken.
  ptrdiff_t ReceiveAvailable(size_t limit, size_t* offered = nullptr);
  // Gives the buffer back when nothing is unread, so an idle connection holds none.
  void ReleaseIfEmpty();
  bool InputPending() { return Buffered() > 0 || transport_.InputPending(); }

  void Write(std::string_view data) { transport_.Send(&data, 1); }
  void Write(const std::string_view* parts, size_t count) { transport_.Send(parts, count); }

  qv::Transport& Transport() { return transport_; }

 private:
  // Makes room for at least one more byte at end_; false when it is starved.
  bool MakeRoom();

  qv::Transport& transport_;
  MemoryCharge charge_;  // before buffer_, which goes first
  bool starved_ = false;
  // Received bytes are [begin_, end_) of a buffer of capacity_ bytes, made
  // only when the first bytes are read, so a silent connection holds none.
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  size_t begin_ = 0;
  size_t end_ = 0;
};

}  // namespace qv
