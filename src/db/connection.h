// One attachment to a Firebird database: connect string, user name and
// password, attach and detach through the client library.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/strings.h"

namespace qv {

class Transaction;
class Statement;

// The handle type of the client library (attachment, transaction, statement, blob).
using IscHandle = unsigned int;

// How the connect string reaches the database.
enum class DbProtocol { kLocal, kNetBeui, kSpx, kTcpIp };

class DbConnection {
 public:
  DbConnection();
  ~DbConnection();  // detaches if attached; errors are swallowed
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // NAME=VALUE lines: "PATH", "SERVER", "USER NAME", "ROLE NAME", "CHARACTER SET".
  // Changing the list directly bypasses the "connected" check; use SetParam.
  ParamStrings& Params() { return params_; }
  const ParamStrings& Params() const { return params_; }
  std::string Param(std::string_view name) const { return params_.Value(name); }
  // Sets one entry; empty text removes its line.
  void SetParam(std::string_view name, const std::string& value);
  // Indexed setter: 1 "USER NAME", 2 "PASSWORD", 3 "SERVER", 4 "ROLE NAME",
  // 5 "PATH", 9 "CHARACTER SET"; other indexes are ignored.
  void SetParamByIndex(int index, const std::string& value);

  void SetUsername(const std::string& value);
  std::string Username() const { return params_.Value("USER NAME"); }
  // Kept by the connection itself; removes any "PASSWORD" line from Params.
  void SetPassword(const std::string& value);
  const std::string& Password() const { return password_; }

  // A value holding ".", "/", "\", ":" or "@" is split into server, path and
  // protocol; any other value names the connection (an identifier).
  void SetDatabaseName(const std::string& value);
  std::string DatabaseName() const;
  // The string the attach addresses: server and path joined for the protocol.
  std::string ConnectString() const;
  DbProtocol Protocol() const { return protocol_; }
  const std::string& AliasName() const { return alias_; }

  // Called when the connection is about to attach (not when already attached).
  void SetBeforeConnect(std::function<void(DbConnection&)> handler) {
    before_connect_ = std::move(handler);
  }

  // Seconds the attach may take to reach a server (0: the client's default).
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int seconds) { connect_timeout_ = seconds < 0 ? 0 : seconds; }

  void SetConnected(bool value);
  bool Connected() const { return handle_ != 0; }
  void Connect() { SetConnected(true); }
  void Disconnect() { SetConnected(false); }

  // The attachment handle of the client library (0 while detached).
  IscHandle& Handle() { return handle_; }

  // Asks the client library to cancel the call running on this attachment on
  // another thread; that call then fails with the "cancelled" code. Safe from
  // any thread while the attachment stays open; false when the request could
  // not be delivered. With abort set the client drops its connection to the
  // server instead, which ends a call waiting on a server that does not
  // answer; the attachment is lost.
  bool CancelOperation(bool abort = false);

  // How many statements have been executed through this connection: every
  // execution of a prepared statement (a row count's statement included) and
  // every immediate statement, over all its attachments.
  uint64_t ExecuteCount() const { return execute_count_; }
  // Counts one execution (the layer calls it before each execute).
  void CountExecute() { ++execute_count_; }

 private:
  friend class Transaction;
  friend class Statement;
  void CheckNotConnected() const;
  void Attach();
  void Detach();

  ParamStrings params_;
  std::string password_;
  std::string alias_;
  DbProtocol protocol_ = DbProtocol::kLocal;
  IscHandle handle_ = 0;
  int connect_timeout_ = 0;
  uint64_t execute_count_ = 0;
  std::function<void(DbConnection&)> before_connect_;
  // Components that work on this connection; told before the attachment ends.
  std::vector<Transaction*> transactions_;
  std::vector<Statement*> statements_;
};

}  // namespace qv
