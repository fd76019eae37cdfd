// One accepted connection as the engine and its handlers see it: the
// connection with its buffered reader/writer, the peer's address and the
// binding it came in on.
#pragma once

#include <string>
#include <utility>

#include "http/io_handler.h"
#include "http/transport.h"

namespace qv {

enum IPFamily { Id_IPv4, Id_IPv6 };

// One listening address of the server. An empty IP means every local address
// of the family; Port 0 lets the system choose (the chosen port is stored).
struct TIdSocketHandle {
  std::string IP;
  int Port = 0;
  IPFamily IPVersion = Id_IPv4;
  int Handle = -1;  // the listening socket while the server is active
  bool Tls = false;  // connections to it speak TLS (the server's TlsContext)
};

class TIdTCPConnection {
 public:
  explicit TIdTCPConnection(TIdTransport& transport) : transport_(transport), io_(transport) {}
  TIdIOHandler& IOHandler() { return io_; }
  TIdTransport& Transport() { return transport_; }
  // Shuts the send side down and closes. When input is still waiting unread,
  // the peer is given a moment to finish sending, so it still reads the answer.
  void Disconnect() { transport_.Close(io_.InputPending()); }

 private:
  TIdTransport& transport_;
  TIdIOHandler io_;
};

class TIdContext {
 public:
  TIdContext(TIdTransport& transport, std::string peer_ip, int peer_port,
             const TIdSocketHandle* binding = nullptr)
      : connection_(transport), peer_ip_(std::move(peer_ip)), peer_port_(peer_port), binding_(binding) {}
  TIdContext(const TIdContext&) = delete;
  TIdContext& operator=(const TIdContext&) = delete;

  TIdTCPConnection& Connection() { return connection_; }
  const std::string& PeerIP() const { return peer_ip_; }
  int PeerPort() const { return peer_port_; }
  const TIdSocketHandle* Binding() const { return binding_; }
  // A restarted server's listener like the one the connection came in on.
  void SetBinding(const TIdSocketHandle* binding) { binding_ = binding; }
  // The interim "100 Continue" of the current request went out before it
  // was handed over; the engine sends no other. Taking it clears it.
  void MarkContinueSent() { continue_sent_ = true; }
  bool ContinueSent() const { return continue_sent_; }
  bool TakeContinueSent() { return std::exchange(continue_sent_, false); }

 private:
  TIdTCPConnection connection_;
  std::string peer_ip_;
  int peer_port_;
  const TIdSocketHandle* binding_;
  bool continue_sent_ = false;
};

}  // namespace qv
