// The local clock that pages read, behind a small interface so tests can fix the time.
#pragma once

#include "platform/datetime.h"

namespace qv {

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time of the host.
  virtual DateTimeParts Now() const = 0;
};

// The host's local clock.
class SystemClock final : public Clock {
 public:
  DateTimeParts Now() const override;
  static const SystemClock& Instance();
};

// A clock that always reads the time it was given (tests).
class FixedClock final : public Clock {
 public:
  explicit FixedClock(DateTimeParts now) : now_(now) {}
  DateTimeParts Now() const override { return now_; }
  void Set(DateTimeParts now) { now_ = now; }

 private:
  DateTimeParts now_;
};

}  // namespace qv
