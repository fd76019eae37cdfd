#include "service/pid_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "platform/file_descriptor.h"
#include "service/os_error.h"

namespace qv {

namespace {

std::string ThisProcess() { return std::to_string(getpid()) + "\n"; }

}  // namespace

PidFile::PidFile(std::string path) : path_(std::move(path)) {
  FileDescriptor file(open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!file.Valid()) RaiseLastOSError();
  const std::string text = ThisProcess();
  if (write(file.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    const int error = errno != 0 ? errno : EIO;
    file.Reset();
    unlink(path_.c_str());
    RaiseLastOSError(error);
  }
  if (const int error = file.Close(); error != 0) {
    unlink(path_.c_str());
    RaiseLastOSError(error);
  }
}

void PidFile::Remove() {
  if (removed_) return;
  removed_ = true;
  std::ifstream in(path_);
  std::string text;
  std::getline(in, text);
  if (text + "\n" == ThisProcess()) unlink(path_.c_str());
}

}  // namespace qv
