// Watches the page calls running on the request threads: one that runs past
// its time limit is cancelled through the client library, and one that the
// cancel cannot end (a server that does not answer) has its connection
// dropped a grace period later, so its request thread gets an error back and
// can answer the visitor. A cancel may come up to a quarter second late.
//
// One thread watches the time; the cancels run in order on one thread of
// their own and the drops on another, so a drop never waits behind a cancel
// that hangs, and any number of time-outs at once costs no more threads. A
// cancel or drop that fails is reported, never dropped silently.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {

class QueryWatchdog {
 public:
  // Called while the call is still watched (abort false asks for a cancel,
  // true for the connection to be dropped); returns the action, which runs
  // later on a canceller thread and must hold on to whatever it uses. An
  // action that cannot do its work raises, saying what failed.
  using Cancel = std::function<std::function<void()>(bool abort)>;
  using SteadyClock = std::chrono::steady_clock;
  // Told, on a canceller thread, what a failed cancel or drop raised.
  using CancelFailureHandler = std::function<void(const std::string& message)>;

  explicit QueryWatchdog(std::chrono::milliseconds grace);
  ~QueryWatchdog();
  QueryWatchdog(const QueryWatchdog&) = delete;
  QueryWatchdog& operator=(const QueryWatchdog&) = delete;

  // Where failed cancels and drops are told; until set (or when set empty)
  // they go to standard error as log lines.
  void SetOnCancelFailure(CancelFailureHandler handler);

  // Starts watching one call; limit 0 sets no time limit (the call is still
  // reached by AbortAll). Returns the watch's number.
  uint64_t Watch(std::chrono::milliseconds limit, Cancel cancel);
  // Ends the watch; true when its cancel was called (the time-out or a stop
  // came first), so the call's connection must not be used again.
  bool Unwatch(uint64_t id);

  // A stop: every call watched now or from now on has its connection dropped.
  void AbortAll();
  // Calls are watched as usual again.
  void Resume();

  // Threads the watchdog has started and not yet ended: at most three
  // (the watch, the cancels, the drops), however many calls time out.
  int Threads() const;

 private:
  struct WatchEntry {
    SteadyClock::time_point deadline;  // max(): no limit
    Cancel cancel;
    bool raised = false;
    bool aborted = false;
  };
  // Actions made under lock_, to be handed to the canceller threads after.
  struct Due {
    std::vector<std::function<void()>> cancels;
    std::vector<std::function<void()>> drops;
  };
  class Lane;

  void Run();
  // Under lock_: marks the entry and makes its action.
  void Fire(WatchEntry& entry, bool abort, Due& due);
  // Without lock_: hands the actions to their threads.
  void Post(Due& due);
  // Under lock_: starts the watch thread when it is not running yet.
  void StartWatching();

  const std::chrono::milliseconds grace_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::map<uint64_t, WatchEntry> watches_;
  uint64_t next_ = 1;
  bool aborting_ = false;
  bool ending_ = false;
  std::thread thread_;
  // The threads of the cancels and the drops; each may outlive the watchdog
  // while an action that hangs runs on it.
  std::unique_ptr<Lane> cancels_;
  std::unique_ptr<Lane> drops_;
};

}  // namespace qv
