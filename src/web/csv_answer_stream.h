// The property list's CSV as an answer body the server sends after the
// request's handler has returned: each read makes the next bytes from the
// rows. The stream holds the database session the rows are read on until the
// export ends, fails, or the stream goes (a client that went away): then the
// session goes back to the pool as after a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/content_stream.h"
#include "pages/property_csv.h"
#include "platform/exception.h"
#include "pool/pool_lease.h"
#include "web/export_places.h"

namespace qv {

class CsvAnswerStream final : public ContentStream {
 public:
  // Told of a failure while the rows are read; the body ends there. Must not raise.
  using FailureHandler = std::function<void(const Exception& error)>;

  // `first` is the chunk the export made already (so that a failure before
  // the first byte is still the answer's status); `csv` reads on the lease's
  // session. Without `csv` the stream is `first` alone (the lease goes with
  // the stream).
  // `place` is held until the stream goes.
  CsvAnswerStream(PoolLease lease, std::unique_ptr<PropertyListCsv> csv, std::string first,
                  FailureHandler on_failure, ExportPlace place = {});
  ~CsvAnswerStream() override;
  CsvAnswerStream(const CsvAnswerStream&) = delete;
  CsvAnswerStream& operator=(const CsvAnswerStream&) = delete;

  // Unknown until the last row is read: the answer has no length and the
  // connection's close ends it.
  int64_t Size() const override { return -1; }
  int64_t Position() const override { return position_; }
  // Only where the stream is: it is read once, from its start.
  void SetPosition(int64_t position) override;
  // 0 at the end of the export, and after a failure.
  size_t Read(char* buffer, size_t count) override;

  // Whether the session is still held (the export not yet ended).
  bool Reading() const { return csv_ != nullptr; }

 private:
  // Ends the export: the cursor closes and the session goes back; after a
  // failure (or an export left unfinished) its transaction is rolled back
  // first, and a connection a failure may have broken is not lent again.
  void Finish(bool complete, const Exception* failure) noexcept;

  PoolLease lease_;
  std::unique_ptr<PropertyListCsv> csv_;
  std::string chunk_;
  size_t offset_ = 0;
  int64_t position_ = 0;
  FailureHandler on_failure_;
  ExportPlace place_;
};

}  // namespace qv
