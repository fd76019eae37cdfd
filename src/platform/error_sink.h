// A process-wide place a layer hands failures it does not let pass: the
// service sets a handler (its log); until then messages go to standard error
// as log lines.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace qv {

class TErrorSink {
 public:
  using Handler = std::function<void(const std::string& message)>;

  // Replaces the handler; an empty one restores standard error.
  void SetHandler(Handler handler);
  void Report(const std::string& message);

 private:
  std::mutex lock_;
  Handler handler_;
};

}  // namespace qv
