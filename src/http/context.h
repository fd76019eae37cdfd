// One accepted connection as the engine and its handlers see it: the
// connection with its buffered reader/writer, the parser of its current
// request, the peer's address and the binding it came in on.
#pragma once

#include <memory>
#include <string>

#include "http/io_handler.h"
#include "http/request_parser.h"
#include "http/transport.h"

namespace qv {

enum IpFamily { kIPv4, kIPv6 };

// One listening address of the server. An empty IP means every local address
// of the family; Port 0 lets the system choose (the chosen port is stored).
struct Binding {
  std::string ip;
  int port = 0;
  IpFamily ip_version = kIPv4;
  // The listening socket's descriptor, only in what a running front reports
  // (Front::Listening); never closed through it.
  int handle = -1;
  bool tls = false;  // connections to it speak TLS (the server's TlsContext)
};

class TcpConnection {
 public:
  explicit TcpConnection(qv::Transport& transport) : transport_(transport), io_(transport) {}
  BufferedIo& IOHandler() { return io_; }
  qv::Transport& Transport() { return transport_; }
  // Shuts the send side down and closes. When input is still waiting unread,
  // the peer is given a moment to finish sending, so it still reads the answer.
  void Disconnect() { transport_.Close(io_.InputPending()); }

 private:
  qv::Transport& transport_;
  BufferedIo io_;
};

class ConnectionContext {
 public:
  ConnectionContext(qv::Transport& transport, std::string peer_ip, int peer_port,
             const qv::Binding* binding = nullptr)
      : connection_(transport), peer_ip_(std::move(peer_ip)), peer_port_(peer_port), binding_(binding) {}
  ConnectionContext(const ConnectionContext&) = delete;
  ConnectionContext& operator=(const ConnectionContext&) = delete;

  TcpConnection& Connection() { return connection_; }
  const std::string& PeerIP() const { return peer_ip_; }
  int PeerPort() const { return peer_port_; }
  const qv::Binding* Binding() const { return binding_; }
  // The request being read on this connection: begun by the front, or by
  // the engine itself when it reads the connection alone.
  RequestParser& Parser() { return parser_; }
  // Where the connection's input buffer and its requests are charged
  // (see RequestMemory); set before the first byte is read.
  void SetRequestMemory(const std::shared_ptr<RequestMemory>& memory) {
    connection_.IOHandler().SetMemory(memory);
    parser_.SetMemory(memory);
  }
  // Sends the interim "100 Continue" that invites the current request's
  // body, once: the engine sends no other for it.
  void SendContinue(const std::string& version) {
    if (continue_sent_) return;
    continue_sent_ = true;
    connection_.IOHandler().Write(version + " 100 Continue\r\n\r\n");
  }
  // A restarted server's listener like the one the connection came in on.
  void SetBinding(const qv::Binding* binding) { binding_ = binding; }
  bool ContinueSent() const { return continue_sent_; }
  // The current request is done with: parsing and the invitation start
  // afresh for the next one.
  void RequestDone() {
    parser_.Reset();
    continue_sent_ = false;
  }

 private:
  TcpConnection connection_;
  RequestParser parser_;
  std::string peer_ip_;
  int peer_port_;
  const qv::Binding* binding_;
  bool continue_sent_ = false;
};

}  // namespace qv
