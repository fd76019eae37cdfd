// One statement prepared on an attachment: its text, its described output
// row and parameters, binding typed values, execution, and fetching row by
// row from a forward-only server cursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/column_text.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/statement_handle.h"
#include "db/transaction.h"

namespace qv {

// How a text value meets a parameter the server described shorter.
enum class TextFit {
  kAsGiven,         // sent whole: the server refuses what does not fit
  kNullWhenLonger,  // sent as NULL: a query's text that cannot fit matches nothing
};

class PreparedStatement {
 public:
  // Not prepared yet. The text's line feeds reach the server as CR LF. The
  // connection must outlive the statement.
  PreparedStatement(DbConnection& connection, std::string_view text);
  ~PreparedStatement();  // frees the handle; errors are swallowed
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;

  // The text as given.
  const std::string& Text() const { return text_; }

  // Prepares the text unless it is prepared on the connection's current
  // attachment; describes its columns and parameters. `names` and `count`
  // say which described columns the caller reads, in its order (see
  // QueryText); a count of 0 reads them all as described. A statement whose
  // columns do not match raises, and stays unprepared.
  void Prepare(Transaction& transaction, std::span<const std::string_view> names = {},
               size_t count = 0);
  bool Prepared() const;

  // Binds the values, in order, to the parameters; raises when their number
  // differs from the statement's.
  void Bind(std::span<const ParamValue> values, Transaction& transaction, TextFit fit);
  // Runs the statement with the bound values; a query opens its server cursor.
  void Execute(Transaction& transaction);
  // The next row of the open cursor; false at its end, where every column
  // reads as NULL.
  bool Fetch();
  // Closes the server cursor when it is open; raises what the server says.
  void CloseCursor();
  bool CursorOpen() const { return cursor_open_; }

  // The caller's columns (see Prepare), by its positions.
  size_t ColumnCount() const { return positions_.size(); }
  const ColumnSlot& Column(size_t index) const { return columns_[positions_[index]]; }
  std::string& Scratch(size_t index) { return scratch_[index]; }

  // The SQL type codes of the parameters, in order.
  std::vector<int16_t> ParameterTypes() const;
  // The server's plan (prepared: see Prepare).
  std::string Plan();

  // How often this statement has been prepared and executed.
  uint64_t Prepares() const { return prepares_; }
  uint64_t Executions() const { return executions_; }

 private:
  void Describe(std::span<const std::string_view> names, size_t count);

  DbConnection& connection_;
  const std::string text_;
  const std::string shown_;  // the text with CR LF line ends, as errors show it
  const std::string sent_;   // and as the server gets it: parameters as "?"
  StatementHandle handle_;
  uint64_t attachment_ = 0;  // the attachment the handle was prepared on
  bool prepared_ = false;
  bool is_query_ = false;
  bool cursor_open_ = false;

  // The client's descriptor areas and the buffers they point into.
  std::unique_ptr<char[]> out_area_;
  std::unique_ptr<char[]> in_area_;
  std::vector<char> out_buffer_;
  std::vector<char> in_buffer_;
  std::vector<ColumnSlot> columns_;   // every described column
  std::vector<size_t> positions_;     // the caller's columns among them
  std::vector<std::string> scratch_;  // one per caller's column
  std::vector<int16_t> param_types_;    // as described
  std::vector<int16_t> param_lengths_;  // as described
  std::vector<std::string> param_text_;  // storage of bound text values

  uint64_t prepares_ = 0;
  uint64_t executions_ = 0;
};

}  // namespace qv
