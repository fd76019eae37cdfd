// Watches the page calls running on the request threads: one that runs past
// its time limit is cancelled through the client library, and one that the
// cancel cannot end (a server that does not answer) has its connection
// dropped a grace period later, so its request thread gets an error back and
// can answer the visitor. A cancel may come up to a quarter second late.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace qv {

class TQueryWatchdog {
 public:
  // Called while the call is still watched (abort false asks for a cancel,
  // true for the connection to be dropped); returns the action, which runs on
  // a thread of its own and must hold on to whatever it uses.
  using TCancel = std::function<std::function<void()>(bool abort)>;
  using TClock = std::chrono::steady_clock;

  explicit TQueryWatchdog(std::chrono::milliseconds grace);
  ~TQueryWatchdog();
  TQueryWatchdog(const TQueryWatchdog&) = delete;
  TQueryWatchdog& operator=(const TQueryWatchdog&) = delete;

  // Starts watching one call; limit 0 sets no time limit (the call is still
  // reached by AbortAll). Returns the watch's number.
  uint64_t Watch(std::chrono::milliseconds limit, TCancel cancel);
  // Ends the watch; true when its cancel was called (the time-out or a stop
  // came first), so the call's connection must not be used again.
  bool Unwatch(uint64_t id);

  // A stop: every call watched now or from now on has its connection dropped.
  void AbortAll();
  // Calls are watched as usual again.
  void Resume();

 private:
  struct TWatchEntry {
    TClock::time_point deadline;  // max(): no limit
    TCancel cancel;
    bool raised = false;
    bool aborted = false;
  };

  void Run();
  // Under lock_: calls the cancel of an entry on a thread of its own.
  static void Fire(TWatchEntry& entry, bool abort);

  const std::chrono::milliseconds grace_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<uint64_t, TWatchEntry> watches_;
  uint64_t next_ = 1;
  bool aborting_ = false;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace qv
