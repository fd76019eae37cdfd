#include "web/export_places.h"

#include <chrono>

namespace qv {

ExportPlace ExportPlaces::Take() {
  return free_->WaitFor(std::chrono::milliseconds(0)) ? ExportPlace(free_) : ExportPlace();
}

ExportPlace& ExportPlace::operator=(ExportPlace&& other) noexcept {
  if (this != &other) {
    GiveBack();
    free_ = std::move(other.free_);
  }
  return *this;
}

void ExportPlace::GiveBack() noexcept {
  if (free_) free_->Release();
  free_.reset();
}

}  // namespace qv
