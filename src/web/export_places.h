// A bound on the exports running at once. An export holds a database session
// until its client has taken the last row, so a few slow downloads could
// otherwise hold every pooled session and leave the pages waiting.
#pragma once

#include <memory>

#include "pool/semaphore.h"

namespace qv {

class ExportPlace;

class ExportPlaces {
 public:
  explicit ExportPlaces(int places)
      : places_(places), free_(std::make_shared<Semaphore>(places, places)) {}

  // A place, or an empty one when all are taken; never waits.
  ExportPlace Take();
  // Places taken now.
  int Taken() const { return places_ - free_->Count(); }

 private:
  const int places_;
  // Shared with the places handed out, which may outlive the bound's owner
  // (an answer still being sent).
  std::shared_ptr<Semaphore> free_;
};

// One export's place; given back when it goes.
class ExportPlace {
 public:
  ExportPlace() = default;
  ExportPlace(ExportPlace&& other) noexcept : free_(std::move(other.free_)) {}
  ExportPlace& operator=(ExportPlace&& other) noexcept;
  ExportPlace(const ExportPlace&) = delete;
  ExportPlace& operator=(const ExportPlace&) = delete;
  ~ExportPlace() { GiveBack(); }

  explicit operator bool() const { return free_ != nullptr; }

 private:
  friend class ExportPlaces;
  explicit ExportPlace(std::shared_ptr<Semaphore> free) : free_(std::move(free)) {}
  void GiveBack() noexcept;

  std::shared_ptr<Semaphore> free_;
};

}  // namespace qv
