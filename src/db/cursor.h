// Statements and forward-only cursors: SQL text as lines, prepare, parameters,
// open, fetch row by row, close, and the row count of a query.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/column.h"
#include "db/connection.h"
#include "db/statement_handle.h"
#include "db/strings.h"
#include "db/transaction.h"

namespace qv {

// A statement on one connection and transaction: its text, its prepared
// handle, its output columns (Fields) and its parameters (Params).
class Statement {
 public:
  Statement(DbConnection& connection, qv::Transaction& transaction);
  virtual ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  DbConnection& Connection() const { return connection_; }
  qv::Transaction& Transaction() const { return transaction_; }

  // The text as lines; every change unprepares the statement (closing it first).
  SqlLines& SQL() { return sql_; }
  const SqlLines& SQL() const { return sql_; }

  // Prepares the current text unless prepared; describes Fields and Params.
  void Prepare();
  // Releases the prepared statement (closing it first); nothing when unprepared.
  void Unprepare();
  bool Prepared() const { return prepared_; }

  // Output columns and parameters; both prepare the statement when needed.
  Row& Fields() {
    if (!prepared_ && sql_.Count() > 0) Prepare();
    return fields_;
  }
  Row& Params() {
    if (!prepared_ && sql_.Count() > 0) Prepare();
    return params_;
  }
  // Prepares when needed; raises "FieldName: <name> not found".
  Column& FieldByName(std::string_view name);
  // Prepares when needed; nullptr when there is no such output column.
  Column* FindField(std::string_view name);
  Column& ParamByName(std::string_view name);

  // The statement handle of the client library (layer use).
  IscHandle& Handle() { return handle_.Get(); }

  // The server's plan of the prepared statement (prepares when needed).
  std::string Plan();

 protected:
  // Runs the prepared statement with the current parameter values.
  void ExecuteStatement();
  // Called before the text changes and before the attachment or the
  // transaction ends; a cursor closes its server cursor here.
  virtual void CloseForChange() {}
  // Releases statement handles a derived class keeps besides Handle().
  virtual void FreeExtraHandles() {}
  void FreeHandle();
  bool IsSelect() const;

  DbConnection& connection_;
  qv::Transaction& transaction_;
  SqlLines sql_;
  Row fields_;
  Row params_;
  StatementHandle handle_;
  bool prepared_ = false;
  int statement_type_ = 0;
  // A parameter value was set since the statement last ran.
  bool params_changed_ = false;

 private:
  friend class DbConnection;
  friend class Transaction;
  friend class Column;
  void DescribeFields();
  void DescribeParams();
  void DetachNotice();       // the attachment is about to end
  void TransactionEnding();  // the server transaction is about to end
  std::string text_;         // the text as last sent, parameters as '?'

 protected:
  // Set when the connection or the transaction is destroyed first.
  bool connection_gone_ = false;
  bool transaction_gone_ = false;
};

// A statement that yields rows: open, fetch forward, close, count.
class Dataset : public Statement {
 public:
  using Statement::Statement;
  ~Dataset() override;

  // Nothing when open; else prepares when needed, executes, fetches the first row.
  void Open();
  // Executes anew and makes the first row current.
  void First();
  // Raises "At end of Dataset" at Eof; else fetches the next row.
  void Next();
  // Closes the server cursor when open.
  void Close();
  bool Eof() const { return eof_; }
  bool Active() const { return active_; }
  // The number of rows the query yields, from a derived count statement run
  // in the same transaction with the same parameter values.
  int32_t RecordCount();

 protected:
  void CloseForChange() override;
  void FreeExtraHandles() override;

 private:
  void Execute();
  void Fetch();

  bool active_ = false;
  bool eof_ = true;
  bool cursor_open_ = false;   // a server cursor is open
  bool at_first_row_ = false;   // the first row is current and unchanged since
  uint64_t executed_in_ = 0;   // the transaction serial the query last ran in
  StatementHandle count_;
  std::string count_text_;     // the count statement prepared on count_
};

// The forward-only, unbuffered query cursor the pages use.
class Cursor : public Dataset {
 public:
  Cursor(DbConnection& connection, qv::Transaction& transaction);
};

// The count statement derived from a query: the select list replaced by
// "COUNT( * )" and PLAN, ORDER BY and FOR UPDATE removed; queries the
// replacement cannot count exactly (DISTINCT, FIRST/SKIP/ROWS, UNION,
// parameters in the select list) are counted as a derived table.
std::string CountStatementText(std::string_view sql);

}  // namespace qv
