#include "http/io_handler.h"

#include <algorithm>
#include <cstring>

namespace qv {

bool BufferedIo::MakeRoom() {
  if (begin_ == end_) begin_ = end_ = 0;
  if (end_ == capacity_) {
    if (begin_ > 0) {
      // Move the unread bytes to the front.
      std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (end_ == capacity_) {
      const size_t grown = capacity_ == 0 ? kInitialBuffer : capacity_ * 2;
      if (!charge_.Resize(grown - kInitialBuffer)) {
        starved_ = true;
        return false;
      }
      std::unique_ptr<char[]> bigger(new char[grown]);
      if (end_ > 0) std::memcpy(bigger.get(), buffer_.get(), end_);
      buffer_ = std::move(bigger);
      capacity_ = grown;
    }
  }
  return true;
}

bool BufferedIo::ReceiveMore() {
  if (!MakeRoom()) return false;
  const size_t n = transport_.Receive(buffer_.get() + end_, std::min(capacity_ - end_, kRecvBufferSize));
  end_ += n;
  return n > 0;
}

ptrdiff_t BufferedIo::ReceiveAvailable(size_t limit, size_t* offered) {
  if (offered) *offered = 0;
  if (Buffered() >= limit || !MakeRoom()) return -1;
  const size_t room = std::min({capacity_ - end_, kRecvBufferSize, limit - Buffered()});
  if (offered) *offered = room;
  const ptrdiff_t n = transport_.TryReceive(buffer_.get() + end_, room);
  if (n > 0) end_ += static_cast<size_t>(n);
  return n;
}

void BufferedIo::ReleaseIfEmpty() {
  if (begin_ != end_) return;
  buffer_.reset();
  charge_.Release();
  capacity_ = begin_ = end_ = 0;
  starved_ = false;
}

}  // namespace qv
