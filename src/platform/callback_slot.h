// A callback that others replace and call from any thread. It is called
// without any lock held, so it may write to a file or a socket and take as
// long as it takes; replacing it waits until the calls under way have
// returned, so once Set returns the old callback is never called again and
// whatever it refers to may go. A callback must not Set its own slot.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

namespace qv {

template <typename... Args>
class CallbackSlot {
 public:
  using Function = std::function<void(Args...)>;

  CallbackSlot() = default;
  CallbackSlot(const CallbackSlot&) = delete;
  CallbackSlot& operator=(const CallbackSlot&) = delete;

  // An empty function clears the slot.
  void Set(Function function) {
    std::unique_lock lock(lock_);
    ++replacing_;  // new calls wait, so the ones under way come to an end
    idle_.wait(lock, [this] { return calls_ == 0; });
    function_ = std::move(function);
    --replacing_;
    idle_.notify_all();
  }

  // Calls the callback; false, calling nothing, when the slot is empty.
  // What the callback raises passes to the caller.
  template <typename... Given>
  bool Call(Given&&... args) {
    {
      std::unique_lock lock(lock_);
      idle_.wait(lock, [this] { return replacing_ == 0; });
      if (!function_) return false;
      ++calls_;
    }
    struct Done {
      CallbackSlot& slot;
      ~Done() {
        std::lock_guard lock(slot.lock_);
        if (--slot.calls_ == 0) slot.idle_.notify_all();
      }
    } done{*this};
    // Set waits for this call to end before it touches function_.
    function_(std::forward<Given>(args)...);
    return true;
  }

 private:
  std::mutex lock_;
  std::condition_variable idle_;
  Function function_;
  int calls_ = 0;
  int replacing_ = 0;
};

}  // namespace qv
