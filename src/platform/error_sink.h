// Where a layer hands failures it does not let pass, given to it by its
// owner: the service sets a handler (its log); without one, messages go to
// standard error as log lines. The handler is called without a lock held;
// once SetHandler returns, the handler it replaced is not called any more.
#pragma once

#include <functional>
#include <string>

#include "platform/callback_slot.h"

namespace qv {

class ErrorSink {
 public:
  using Handler = std::function<void(const std::string& message)>;

  // Replaces the handler; an empty one restores standard error.
  void SetHandler(Handler handler);
  void Report(const std::string& message);

 private:
  CallbackSlot<const std::string&> handler_;
};

}  // namespace qv
