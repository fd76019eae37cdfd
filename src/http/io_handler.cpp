#include "http/io_handler.h"

#include <algorithm>
#include <cstring>

#include "http/exceptions.h"

namespace qv {

void TIdIOHandler::MakeRoom() {
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
      std::unique_ptr<char[]> bigger(new char[grown]);
      if (end_ > 0) std::memcpy(bigger.get(), buffer_.get(), end_);
      buffer_ = std::move(bigger);
      capacity_ = grown;
    }
  }
}

bool TIdIOHandler::Fill() {
  MakeRoom();
  const size_t n = transport_.Receive(buffer_.get() + end_, std::min(capacity_ - end_, kRecvBufferSize));
  end_ += n;
  return n > 0;
}

ptrdiff_t TIdIOHandler::ReceiveAvailable(size_t limit, size_t* offered) {
  if (offered) *offered = 0;
  if (Buffered() >= limit) return -1;
  MakeRoom();
  const size_t room = std::min({capacity_ - end_, kRecvBufferSize, limit - Buffered()});
  if (offered) *offered = room;
  const ptrdiff_t n = transport_.TryReceive(buffer_.get() + end_, room);
  if (n > 0) end_ += static_cast<size_t>(n);
  return n;
}

void TIdIOHandler::ReleaseIfEmpty() {
  if (begin_ != end_) return;
  buffer_.reset();
  capacity_ = begin_ = end_ = 0;
}

std::string TIdIOHandler::ReadLn(size_t max_length) {
  size_t searched = 0;  // bytes after begin_ known to hold no LF
  for (;;) {
    const char* data = buffer_.get() + begin_;
    const size_t available = end_ - begin_;
    const void* lf = available > searched ? std::memchr(data + searched, '\n', available - searched) : nullptr;
    if (lf) {
      const size_t length = static_cast<size_t>(static_cast<const char*>(lf) - data);
      if (length > max_length) throw EIdReadLnMaxLineLengthExceeded();
      const size_t text = length > 0 && data[length - 1] == '\r' ? length - 1 : length;
      std::string line(data, text);
      begin_ += length + 1;
      consumed_ += length + 1;
      return line;
    }
    if (available > max_length) throw EIdReadLnMaxLineLengthExceeded();
    searched = available;
    if (!Fill()) throw EConnectionClosed();
  }
}

void TIdIOHandler::ReadBytes(size_t count, std::string& out) {
  while (count > 0) {
    if (Buffered() == 0 && count >= kInitialBuffer) {
      // A large body goes straight into its place.
      const size_t old = out.size();
      out.resize(old + std::min(count, kRecvBufferSize));
      const size_t n = transport_.Receive(out.data() + old, out.size() - old);
      out.resize(old + n);
      if (n == 0) throw EConnectionClosed();
      count -= n;
      consumed_ += n;
      continue;
    }
    if (Buffered() == 0 && !Fill()) throw EConnectionClosed();
    const size_t n = std::min(count, Buffered());
    out.append(buffer_.get() + begin_, n);
    begin_ += n;
    consumed_ += n;
    count -= n;
  }
}

bool TIdIOHandler::ReadToEnd(size_t limit, std::string& out) {
  size_t taken = 0;
  for (;;) {
    const size_t n = Buffered();
    if (taken + n > limit) return false;
    if (n > 0) out.append(buffer_.get() + begin_, n);
    taken += n;
    consumed_ += n;
    begin_ = end_;
    if (!Fill()) return true;
  }
}

}  // namespace qv
