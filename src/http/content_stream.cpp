#include "http/content_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http/exceptions.h"

namespace qv {

void MemoryContentStream::SetPosition(int64_t position) {
  position_ = std::clamp<int64_t>(position, 0, Size());
}

size_t MemoryContentStream::Read(char* buffer, size_t count) {
  const size_t n = std::min(count, data_.size() - static_cast<size_t>(position_));
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

FileContentStream::FileContentStream(const std::string& path)
    : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (!fd_.Valid())
    throw ContentStreamError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0 || S_ISDIR(st.st_mode))
    throw ContentStreamError("Cannot open file \"" + path + "\". Not a regular file");
  size_ = static_cast<int64_t>(st.st_size);
}

std::unique_ptr<FileContentStream> FileContentStream::OpenRegular(const std::string& path) {
  // Non-blocking, so that a FIFO put in the file's place cannot hold the open.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.Valid()) {
    const int error = errno;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    throw ContentStreamError("Cannot open file \"" + path + "\". " + std::strerror(error));
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  // O_NONBLOCK stays: reads of a regular file (pread, sendfile) do not heed it.
  return std::unique_ptr<FileContentStream>(
      new FileContentStream(path, std::move(fd), static_cast<int64_t>(st.st_size)));
}

void FileContentStream::SetPosition(int64_t position) { position_ = std::max<int64_t>(position, 0); }

size_t FileContentStream::Read(char* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::pread(fd_.Get(), buffer, count, position_);
    if (n >= 0) {
      position_ += n;
      return static_cast<size_t>(n);
    }
    if (errno != EINTR)
      throw ContentStreamError("Cannot read file \"" + path_ + "\". " + std::strerror(errno));
  }
}

}  // namespace qv
