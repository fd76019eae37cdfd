// Runs page calls on helper threads with a time limit, so that a request
// thread can stop waiting for a call stuck in the database client and still
// answer its visitor.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace qv {

class TPageRunner {
 public:
  TPageRunner();
  // Calls still running are left to finish on their threads; their end
  // handlers no longer run once the runner is gone.
  ~TPageRunner();
  TPageRunner(const TPageRunner&) = delete;
  TPageRunner& operator=(const TPageRunner&) = delete;

  // Runs body on a helper thread and waits for it. After limit, calls cancel
  // (on a thread of its own, as it may block too) and waits grace more.
  // Returns true when body ended; what it raised is raised here. Returns false
  // when body still runs: the call is abandoned, and whenAbandonedEnds runs on
  // its thread once body ends.
  bool Run(std::function<void()> body, std::function<void()> cancel,
           std::function<void()> whenAbandonedEnds, std::chrono::milliseconds limit,
           std::chrono::milliseconds grace);

  // Every call waited for now or later is abandoned at once (after its cancel
  // is sent): the stop of the server answers its visitors without them.
  void GiveUpWaiting();
  // Waits again as usual (a server started anew).
  void ResumeWaiting();

  // Abandoned calls of the whole process that have not ended yet.
  static int AbandonedCalls();

 private:
  struct TShared;
  std::shared_ptr<TShared> shared_;
};

}  // namespace qv
