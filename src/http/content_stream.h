// Readable byte streams that a response can send as its body, and that hold a
// request's body: an in-memory stream and a read-only file stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_descriptor.h"

namespace qv {

class ContentStream {
 public:
  virtual ~ContentStream() = default;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
  // Reads up to count bytes at the position and moves past them; 0 at the end.
  virtual size_t Read(char* buffer, size_t count) = 0;
  // The open file behind the stream, which the engine may send without
  // copying it through memory; -1 for other streams.
  virtual int FileHandle() const { return -1; }
};

// Bytes held in memory.
class MemoryContentStream final : public ContentStream {
 public:
  MemoryContentStream() = default;
  explicit MemoryContentStream(std::string data) : data_(std::move(data)) {}
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t position) override;
  size_t Read(char* buffer, size_t count) override;

  const std::string& Data() const { return data_; }
  std::string& Data() { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A file opened read-only; others may go on reading and writing it. Opening a
// file that cannot be read raises ContentStreamError.
class FileContentStream final : public ContentStream {
 public:
  explicit FileContentStream(const std::string& path);
  // The file when it is a regular file, null when there is none or it is
  // something else; a regular file that cannot be opened throws. One open and
  // one fstat, where a check before opening would walk the path twice.
  static std::unique_ptr<FileContentStream> OpenRegular(const std::string& path);
  FileContentStream(const FileContentStream&) = delete;
  FileContentStream& operator=(const FileContentStream&) = delete;

  // The size when the file was opened: the length the answer announces.
  int64_t Size() const override { return size_; }
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t position) override;
  size_t Read(char* buffer, size_t count) override;
  int FileHandle() const override { return fd_.Get(); }

 private:
  std::string path_;
  FileDescriptor fd_;
  int64_t size_ = 0;
  int64_t position_ = 0;

  FileContentStream(std::string path, FileDescriptor fd, int64_t size)
      : path_(std::move(path)), fd_(std::move(fd)), size_(size) {}
};

}  // namespace qv
