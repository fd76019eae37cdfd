// A bound on the exports running at once. An export holds a database session
// until its client has taken the last row, so a few slow downloads could
// otherwise hold every pooled session and leave the pages waiting.
#pragma once

#include <atomic>
#include <memory>

namespace qv {

class ExportPlace;

class ExportPlaces {
 public:
  explicit ExportPlaces(int places) : state_(std::make_shared<State>(places)) {}

  // A place, or an empty one when all are taken.
  ExportPlace Take();
  // Places taken now.
  int Taken() const { return state_->taken.load(); }

 private:
  friend class ExportPlace;
  struct State {
    explicit State(int places) : places(places) {}
    const int places;
    std::atomic<int> taken{0};
  };
  // Shared with the places handed out, which may outlive the bound's owner
  // (an answer still being sent).
  std::shared_ptr<State> state_;
};

// One export's place; given back when it goes.
class ExportPlace {
 public:
  ExportPlace() = default;
  ExportPlace(ExportPlace&& other) noexcept : state_(std::move(other.state_)) {}
  ExportPlace& operator=(ExportPlace&& other) noexcept;
  ExportPlace(const ExportPlace&) = delete;
  ExportPlace& operator=(const ExportPlace&) = delete;
  ~ExportPlace() { GiveBack(); }

  explicit operator bool() const { return state_ != nullptr; }

 private:
  friend class ExportPlaces;
  explicit ExportPlace(std::shared_ptr<ExportPlaces::State> state) : state_(std::move(state)) {}
  void GiveBack() noexcept;

  std::shared_ptr<ExportPlaces::State> state_;
};

}  // namespace qv
