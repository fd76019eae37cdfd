#include "service/health_probe.h"

#include <condition_variable>
#include <thread>

#include "service/database_probe.h"
#include "service/service.h"

namespace qv {

struct HealthProbe::ProbeRun {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  std::string failure;
};

HealthProbe::HealthProbe(std::function<void()> check) : check_(std::move(check)) {}

std::string HealthProbe::Run(std::chrono::milliseconds limit) {
  std::shared_ptr<ProbeRun> run;
  {
    std::lock_guard guard(lock_);
    if (running_) {
      std::lock_guard run_guard(running_->lock);
      if (!running_->done) run = running_;
    }
    if (!run) {
      run = std::make_shared<ProbeRun>();
      running_ = run;
      // Left to itself: a check stuck in the database must not hold the answer.
      std::thread([run, check = check_] {
        std::string failure;
        try {
          check();
        } catch (const std::exception& e) {
          failure = OneLine(ExceptionMessage(e));
          if (failure.empty()) failure = "the check failed";
        } catch (...) {
          failure = "the check failed";
        }
        std::lock_guard run_guard(run->lock);
        run->failure = std::move(failure);
        run->done = true;
        run->ended.notify_all();
      }).detach();
    }
  }
  std::unique_lock run_lock(run->lock);
  if (!run->ended.wait_for(run_lock, limit, [&] { return run->done; })) {
    return "no answer from the database within " + std::to_string(limit.count()) + " ms";
  }
  return run->failure;
}

}  // namespace qv
