// One attachment to a Firebird database: connect string, user name and
// password, attach and detach through the client library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/strings.h"

namespace qv {

// The handle type of the client library (attachment, transaction, statement, blob).
using IscHandle = unsigned int;

// How the connect string reaches the database.
enum class DbProtocol { kLocal, kNetBeui, kSpx, kTcpIp };

class DbConnection {
 public:
  DbConnection();
  // Detaches if attached; errors are swallowed. Transactions on the
  // connection end first (their owner ends them: see Transaction).
  ~DbConnection();
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // NAME=VALUE lines: "PATH", "SERVER", "USER NAME", "ROLE NAME", "CHARACTER SET".
  const ParamStrings& Params() const { return params_; }
  std::string Param(std::string_view name) const { return params_.Value(name); }
  // Sets one entry; empty text removes its line.
  void SetParam(std::string_view name, const std::string& value);

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

  // Seconds the attach may take to reach a server (0: the client's default).
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int seconds) { connect_timeout_ = seconds < 0 ? 0 : seconds; }

  void SetConnected(bool value);
  bool Connected() const { return handle_ != 0; }
  void Connect() { SetConnected(true); }
  void Disconnect() { SetConnected(false); }

  // The attachment handle of the client library (0 while detached).
  IscHandle Handle() const { return handle_; }
  // Names the current attachment: it changes with every attach, so a
  // statement prepared on an earlier attachment is known as gone.
  uint64_t Attachment() const { return attachment_; }

  // Asks the client library to cancel the call running on this attachment on
  // another thread; that call then fails with the "cancelled" code. Safe from
  // any thread while the attachment stays open; false when the request could
  // not be delivered. With abort set the client drops its connection to the
  // server instead, which ends a call waiting on a server that does not
  // answer; the attachment is lost.
  bool CancelOperation(bool abort = false);

 private:
  void CheckNotConnected() const;
  void Attach();
  void Detach();

  ParamStrings params_;
  std::string password_;
  std::string alias_;
  DbProtocol protocol_ = DbProtocol::kLocal;
  IscHandle handle_ = 0;
  int connect_timeout_ = 0;
  uint64_t attachment_ = 0;
};

}  // namespace qv
