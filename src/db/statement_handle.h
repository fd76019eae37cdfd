// A statement handle of the client library owned by one statement: allocated
// and prepared on one path (with the one check of the text's length), closed
// and dropped, and dropped at the latest when the owner goes away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/connection.h"

namespace qv {

class Transaction;

class StatementHandle {
 public:
  StatementHandle() = default;
  ~StatementHandle() { Drop(); }  // errors are swallowed
  StatementHandle(const StatementHandle&) = delete;
  StatementHandle& operator=(const StatementHandle&) = delete;

  // Allocates the handle on the connection when there is none yet, then
  // prepares `text` in the transaction and describes the output into `out`
  // (the client's descriptor area, an XSQLDA).
  // A text longer than the client's 16-bit length raises "Statement text too
  // long" before anything reaches the server; `shown` is the text errors carry.
  void Prepare(DbConnection& connection, Transaction& transaction, const std::string& text,
               void* out, std::string_view shown);
  // Closes an open server cursor; raises what the server reports.
  void CloseCursor();
  // Frees the handle (nothing when there is none); errors are swallowed.
  void Drop() noexcept;
  // Gives the handle up without freeing it: its attachment has ended, and
  // the client freed it then.
  void Forget() noexcept { handle_ = 0; }

  explicit operator bool() const { return handle_ != 0; }
  // The handle of the client library (0 when none).
  IscHandle& Get() { return handle_; }

 private:
  IscHandle handle_ = 0;
};

}  // namespace qv
