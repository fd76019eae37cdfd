// One accepted connection as the front sees it: its context (which parses
// the current request as it comes), its transport, and what has to happen
// next. The front (one I/O thread) calls Receive, Flush and Drain; a worker
// calls Serve once the request has arrived. It works on any transport, so the
// same steps run over a socket and over memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "http/context.h"
#include "http/request_limits.h"
#include "http/transport.h"

namespace qv {

class FrontConnection {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Next {
    Wait,    // for more input
    Serve,   // the request has arrived: hand it to a worker
    Flush,   // an answer is partly held back: wait until the peer takes it
    Linger,  // input is left unread: send side shut, drop input for a moment, then close
    Close,   // close now
  };
  // Runs one request on the context; true when the connection stays open.
  using ServeFunction = std::function<bool(ConnectionContext&)>;

  FrontConnection(std::unique_ptr<qv::Transport> transport, std::string peer_ip, int peer_port,
                  const Binding* binding, const RequestLimits& limits);
  FrontConnection(const FrontConnection&) = delete;
  FrontConnection& operator=(const FrontConnection&) = delete;

  // The front's own record of the connection.
  void* tag = nullptr;

  ConnectionContext& Context() { return context_; }
  qv::Transport& Transport() { return *transport_; }

  // Front: takes what has arrived and looks at the request.
  Next Receive(Clock::time_point now);
  // Worker: runs the request; a failure other than the engine's own ends
  // the connection and goes to on_exception (which must not raise). Then
  // what comes next.
  Next Serve(const ServeFunction& serve,
             const std::function<void(ConnectionContext&, const std::exception&)>& on_exception);
  // Front: sends what is held back; Flush while some is left.
  Next Flush();
  // Front: starts lingering (send side shut down).
  void StartLinger();
  // Front, lingering: reads and drops input; true when the peer is done or
  // enough was dropped.
  bool Drain();

  // Whether bytes of a request that has not wholly arrived are here.
  bool RequestUnderway() const { return request_began_ != Clock::time_point(); }
  Clock::time_point RequestBegan() const { return request_began_; }
  Clock::time_point LastInput() const { return last_input_; }
  // Requests answered on this connection.
  int Answered() const { return answered_; }

 private:
  // After an answer that ends the connection: close, or linger over unread input.
  Next Ending();
  // Parses the unread input of the current request.
  Next Frame(Clock::time_point now);
  // Invites the body when the head asks for it; Flush when the invitation is held back.
  bool InviteBody(Next& next);

  std::unique_ptr<qv::Transport> transport_;
  ConnectionContext context_;
  RequestLimits limits_;
  Clock::time_point request_began_{};
  Clock::time_point last_input_{};
  bool peer_closed_ = false;
  bool keep_ = false;  // while flushing: the connection stays open afterwards
  int answered_ = 0;
  size_t dropped_ = 0;  // bytes dropped while lingering
};

}  // namespace qv
