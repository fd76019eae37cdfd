// The one owner of an open file descriptor (a socket, a file, a pipe, an
// epoll or event descriptor): it closes the descriptor once, when it goes or
// is reset, and nowhere else in the program is a descriptor closed.
#pragma once

namespace qv {

class FileDescriptor {
 public:
  FileDescriptor() noexcept = default;
  // Takes fd (a negative value: none, as a failed system call returns).
  explicit FileDescriptor(int fd) noexcept : fd_(fd < 0 ? -1 : fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  // The descriptor, still owned here; -1 when there is none.
  int Get() const noexcept { return fd_; }
  bool Valid() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() noexcept;
  // Closes the descriptor held (if any) and takes fd.
  void Reset(int fd = -1) noexcept;
  // Closes the descriptor now; 0, or the error number the close reported
  // (a file's last write can fail only here). Nothing is held afterwards.
  int Close() noexcept;

 private:
  int fd_ = -1;
};

}  // namespace qv
