#include "web/csv_answer_stream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace qv {

CsvAnswerStream::CsvAnswerStream(PoolLease lease, std::unique_ptr<PropertyListCsv> csv,
                                 std::string first, FailureHandler on_failure, ExportPlace place)
    : lease_(std::move(lease)),
      csv_(std::move(csv)),
      chunk_(std::move(first)),
      on_failure_(std::move(on_failure)),
      place_(std::move(place)) {}

CsvAnswerStream::~CsvAnswerStream() { Finish(false, nullptr); }

void CsvAnswerStream::SetPosition(int64_t position) {
  if (position != position_) throw Exception("The CSV answer is read once, from its start");
}

size_t CsvAnswerStream::Read(char* buffer, size_t count) {
  while (offset_ == chunk_.size() && csv_) {
    offset_ = 0;
    try {
      if (csv_->Next(chunk_) == 0) Finish(true, nullptr);
    } catch (const Exception& error) {
      chunk_.clear();
      Finish(false, &error);
    } catch (const std::exception& error) {
      chunk_.clear();
      const Exception failure(error.what());
      Finish(false, &failure);
    }
  }
  const size_t n = std::min(count, chunk_.size() - offset_);
  std::memcpy(buffer, chunk_.data() + offset_, n);
  offset_ += n;
  position_ += static_cast<int64_t>(n);
  return n;
}

void CsvAnswerStream::Finish(bool complete, const Exception* failure) noexcept {
  if (!csv_) return;
  csv_.reset();  // closes the cursor
  if (failure && on_failure_) on_failure_(*failure);
  if (!lease_) return;
  if (!complete) {
    try {
      lease_.Session().Rollback();
    } catch (...) {
      // The export's own failure, if any, is the one told.
    }
  }
  if (failure && DropsConnection(failure->Kind()))
    lease_.Discard();
  else
    lease_.Release();
}

}  // namespace qv
