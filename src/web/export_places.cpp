#include "web/export_places.h"

namespace qv {

ExportPlace ExportPlaces::Take() {
  int taken = state_->taken.load();
  while (taken < state_->places) {
    if (state_->taken.compare_exchange_weak(taken, taken + 1)) return ExportPlace(state_);
  }
  return ExportPlace();
}

ExportPlace& ExportPlace::operator=(ExportPlace&& other) noexcept {
  if (this != &other) {
    GiveBack();
    state_ = std::move(other.state_);
  }
  return *this;
}

void ExportPlace::GiveBack() noexcept {
  if (state_) state_->taken.fetch_sub(1);
  state_.reset();
}

}  // namespace qv
