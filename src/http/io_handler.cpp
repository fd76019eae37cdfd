#include "http/io_handler.h"

#include <algorithm>
#include <cstring>

#include "http/exceptions.h"

namespace qv {

bool TIdIOHandler::Fill() {
  if (start_ > 0 && start_ == in_.size()) {
    in_.clear();
    start_ = 0;
  } else if (start_ >= kRecvBufferSize) {
    in_.erase(0, start_);
    start_ = 0;
  }
  const size_t old = in_.size();
  in_.resize(old + kRecvBufferSize);
  size_t n = 0;
  try {
    n = transport_.Receive(in_.data() + old, kRecvBufferSize);
  } catch (...) {
    in_.resize(old);
    throw;
  }
  in_.resize(old + n);
  return n > 0;
}

std::string TIdIOHandler::ReadLn(size_t max_length) {
  size_t searched = start_;
  for (;;) {
    const size_t lf = in_.find('\n', searched);
    if (lf != std::string::npos) {
      if (lf - start_ > max_length) throw EIdReadLnMaxLineLengthExceeded();
      size_t end = lf;
      if (end > start_ && in_[end - 1] == '\r') --end;
      std::string line(in_, start_, end - start_);
      start_ = lf + 1;
      return line;
    }
    if (Buffered() > max_length) throw EIdReadLnMaxLineLengthExceeded();
    const size_t offset = in_.size() - start_;
    if (!Fill()) throw EConnectionClosed();
    searched = start_ + offset;
  }
}

void TIdIOHandler::ReadBytes(size_t count, std::string& out) {
  while (count > 0) {
    if (Buffered() == 0 && !Fill()) throw EConnectionClosed();
    const size_t n = std::min(count, Buffered());
    out.append(in_, start_, n);
    start_ += n;
    count -= n;
  }
}

bool TIdIOHandler::ReadToEnd(size_t limit, std::string& out) {
  size_t taken = 0;
  for (;;) {
    const size_t n = Buffered();
    if (taken + n > limit) return false;
    out.append(in_, start_, n);
    taken += n;
    start_ += n;
    if (!Fill()) return true;
  }
}

}  // namespace qv
