// The forward cursor: fetching and closing.
#include "db/cursor.h"

#include <utility>

#include "db/errors.h"

namespace qv {

RowCursor::RowCursor(PreparedStatement& statement, BlobSource blobs)
    : statement_(&statement), blobs_(blobs) {
  try {
    at_end_ = !statement_->Fetch();
  } catch (...) {
    try {
      statement_->CloseCursor();
    } catch (const DbError&) {
      // The fetch's failure is the one raised; the cursor goes either way.
    }
    throw;
  }
}

RowCursor::RowCursor(RowCursor&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)),
      blobs_(other.blobs_),
      at_end_(other.at_end_) {}

RowCursor::~RowCursor() {
  if (statement_ == nullptr) return;
  try {
    statement_->CloseCursor();
  } catch (const DbError&) {
    // A cursor of a lost attachment or an ended transaction is gone already.
  }
}

void RowCursor::Next() {
  if (at_end_) throw DbError("At end of Dataset");
  at_end_ = !statement_->Fetch();
}

}  // namespace qv
