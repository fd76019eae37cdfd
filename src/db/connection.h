// One attachment to a Firebird database: connect string, user name and
// password, attach and detach through the client library.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/strings.h"

namespace qv {

class TIB_Transaction;
class TIB_Statement;

// The handle type of the client library (attachment, transaction, statement, blob).
using IscHandle = unsigned int;

// How the connect string reaches the database.
enum class TIB_Protocol { cpLocal, cpNetBEUI, cpSPX, cpTCP_IP };

class TIB_Connection {
 public:
  TIB_Connection();
  ~TIB_Connection();  // detaches if attached; errors are swallowed
  TIB_Connection(const TIB_Connection&) = delete;
  TIB_Connection& operator=(const TIB_Connection&) = delete;

  // NAME=VALUE lines: "PATH", "SERVER", "USER NAME", "ROLE NAME", "CHARACTER SET".
  // Changing the list directly bypasses the "connected" check; use SetParam.
  TStringsNV& Params() { return params_; }
  const TStringsNV& Params() const { return params_; }
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
  TIB_Protocol Protocol() const { return protocol_; }
  const std::string& AliasName() const { return alias_; }

  // Called when the connection is about to attach (not when already attached).
  void SetBeforeConnect(std::function<void(TIB_Connection&)> handler) {
    beforeConnect_ = std::move(handler);
  }

  // Seconds the attach may take to reach a server (0: the client's default).
  int ConnectTimeout() const { return connectTimeout_; }
  void SetConnectTimeout(int seconds) { connectTimeout_ = seconds < 0 ? 0 : seconds; }

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

 private:
  friend class TIB_Transaction;
  friend class TIB_Statement;
  void CheckNotConnected() const;
  void Attach();
  void Detach();

  TStringsNV params_;
  std::string password_;
  std::string alias_;
  TIB_Protocol protocol_ = TIB_Protocol::cpLocal;
  IscHandle handle_ = 0;
  int connectTimeout_ = 0;
  std::function<void(TIB_Connection&)> beforeConnect_;
  // Components that work on this connection; told before the attachment ends.
  std::vector<TIB_Transaction*> transactions_;
  std::vector<TIB_Statement*> statements_;
};

}  // namespace qv
