// The running server's process id in a file, for tools that signal it
// without a service manager (the log rotation's SIGUSR1). Written at start,
// removed at the end while it still names this process.
#pragma once

#include <string>

namespace qv {

class PidFile {
 public:
  // Writes the id ("1234\n"), replacing the file. Raises OsError when it
  // cannot be written.
  explicit PidFile(std::string path);
  ~PidFile() { Remove(); }
  PidFile(const PidFile&) = delete;
  PidFile& operator=(const PidFile&) = delete;

  // Removes the file when it holds this process's id (another server may
  // have taken it over meanwhile).
  void Remove();

 private:
  std::string path_;
  bool removed_ = false;
};

}  // namespace qv
