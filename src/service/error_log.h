// The error log of failed pages: one line per failed page with the remote
// address, the path, the status and the message; a message repeated within a
// second is held back and counted; the count goes out with its next line, or
// on its own once the second has passed and any later failure or a flush
// comes along.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

class ErrorLog {
 public:
  using Writer = std::function<void(const std::string& line)>;
  using NowFunction = std::function<std::chrono::steady_clock::time_point()>;

  // writer receives each line (the service passes its event log: standard
  // error and the system log); now is the clock the once-a-second rule uses.
  explicit ErrorLog(Writer writer, NowFunction now = &std::chrono::steady_clock::now);

  // Safe from several threads at once.
  void PageFailed(const std::string& remote_ip, const std::string& path, int status,
                  const std::string& message);

  // Writes the counts of messages held back for more than a second (all of
  // them when all is set, as at a stop), each as
  // "(N more like this not shown) <message>".
  void Flush(bool all = false);

  // The one-line form of a message: each run of line breaks becomes one blank.
  static std::string OneLine(const std::string& text);

 private:
  struct Seen {
    std::chrono::steady_clock::time_point last_written;
    int64_t held_back = 0;
  };

  // Under lock_: the lines of counts due by now, emptied from the table.
  void TakeDueCounts(std::chrono::steady_clock::time_point now, std::vector<std::string>& lines,
                     bool all = false);

  Writer writer_;
  NowFunction now_;
  std::mutex lock_;
  std::map<std::string, Seen> seen_;  // by message
};

}  // namespace qv
