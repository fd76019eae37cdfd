// The failures of the database layer: usage errors of its components, and
// errors reported by the Firebird client with their status vector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/exception.h"

namespace qv {

// An error of the layer itself ("Cannot change while connected", ...).
class DbError : public qv::Exception {
 public:
  using qv::Exception::Exception;
};

// A column value that cannot be read as a number.
class DbConversionError : public DbError {
 public:
  using DbError::DbError;
};

// A failing client-library call. The message reads "ISC ERROR CODE:<code>",
// an empty line, "ISC ERROR MESSAGE:" and the interpreted status lines, each
// line ended by CR LF. SQL code and statement text are kept apart. Its kind
// is decided here, from the GDS codes of the status vector alone:
// ConnectionLost when a code says the attachment is gone (or, for an attach,
// that the server cannot be reached); for a failed attach otherwise
// LogonRefused or DatabaseDown; TimedOut for a cancelled call; else
// DatabaseRefused.
class DbStatusError : public DbError {
 public:
  DbStatusError(std::string message, std::vector<intptr_t> status, int32_t sql_code,
               std::string sql);
  // The first status code (the GDS code of the failure).
  int32_t ErrCode() const { return err_code_; }
  int32_t SqlCode() const { return sql_code_; }
  const std::string& Sql() const { return sql_; }
  const std::vector<intptr_t>& Status() const { return status_; }
  // True when a code in the status vector says the attachment is gone.
  bool IsConnectionLost() const;
  // True when the status vector holds the code of a cancelled operation.
  bool IsCancelled() const;
  // True when the status vector holds the GDS code.
  bool HasCode(intptr_t code) const;
  // Marks a failure of the attach itself, which decides the kind afresh.
  void SetAttachFailed();

 private:
  std::vector<intptr_t> status_;
  int32_t err_code_ = 0;
  int32_t sql_code_ = 0;
  std::string sql_;
  bool attach_failed_ = false;

  void DecideKind();
};

// True for a GDS code that says the attachment is gone.
bool IsLostConnectionCode(intptr_t code);

// GDS codes the layer and its callers test for.
inline constexpr int32_t kIscLogin = 335544472;         // authentication failed
inline constexpr int32_t kIscNetworkError = 335544721;  // unable to complete network request
inline constexpr int32_t kIscCancelled = 335544794;     // operation was cancelled
// The database file is open in another process's embedded engine.
inline constexpr int32_t kIscAlreadyOpened = 335545107;

}  // namespace qv
