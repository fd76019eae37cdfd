// Throwaway embedded Firebird databases for tests: each one a fresh copy of a
// database built once per process from db/schema.sql, removed afterwards.
#pragma once

#include <string>
#include <string_view>

namespace qv {

class DbConnection;

class TestDatabase {
 public:
  TestDatabase();   // a fresh embedded database built from db/schema.sql in a temp dir
  ~TestDatabase();  // removes it
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& Path() const { return path_; }
  void Exec(std::string_view sql);           // one DML/DDL statement, committed
  void ExecScript(std::string_view script);  // ";"-separated statements, committed

  // Sets database name and user name of a connection to this database.
  void Configure(DbConnection& connection) const;
  // The user name embedded attachments use.
  static const char* User() { return "SYSDBA"; }
  // The schema file of the source tree.
  static std::string SchemaPath();

 private:
  std::string path_;
};

}  // namespace qv
