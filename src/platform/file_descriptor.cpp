#include "platform/file_descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace qv {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

int FileDescriptor::Release() noexcept {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::Reset(int fd) noexcept {
  const int old = fd_;
  fd_ = fd < 0 ? -1 : fd;
  // Linux frees the descriptor even when close reports an error (EINTR
  // included), so it is never closed twice.
  if (old >= 0) ::close(old);
}

int FileDescriptor::Close() noexcept {
  const int fd = Release();
  if (fd < 0) return 0;
  return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace qv
