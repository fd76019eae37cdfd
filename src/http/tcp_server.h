// The TCP side of the server: listening sockets for the bindings, a front
// that owns every connection while it is idle or its request is arriving,
// a pool of worker threads that run requests once they have wholly arrived,
// and an orderly stop.
//
// The front is one I/O thread waiting on all sockets at once (epoll). It
// accepts, reads and frames requests, enforces the connection caps and the
// time limits, sends what a peer could not take at once, and lingers over
// unread input before closing. A slow or idle client therefore costs a
// socket and a little memory, never a thread. The processor work of TLS
// handshakes runs on a few low-priority threads of its own, so a flood of
// handshakes slows neither the front nor the requests being served.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "http/context.h"
#include "http/request_limits.h"
#include "http/request_memory.h"
#include "http/tls_context.h"
#include "platform/file_descriptor.h"

namespace qv {

class Front;

// The address and port as a log line shows them ("127.0.0.1:80", "[::]:80").
std::string BindingText(const Binding& binding);
// Whether the system refuses to bind one beside the other listening: the
// same family and port, and one address taking in the other (an IPv6
// listener takes IPv6 peers only, so "::" and "0.0.0.0" do not overlap).
bool BindingsOverlap(const Binding& a, const Binding& b);

// What the server it runs for gives a TcpServer at construction. Only serve
// is required; none of them may raise but serve.
struct TcpHooks {
  // Runs one request of a connection whose request has wholly arrived
  // (parsed); true when the connection stays open for the next one.
  std::function<bool(ConnectionContext&)> serve;
  // Whether MaxConnectionsPerAddress leaves connections from an address alone.
  std::function<bool(const std::string& ip)> uncapped;
  // What one request may take; the front parses requests by them.
  std::function<RequestLimits()> limits;
  // Around the TCP start and stop: the HTTP layer prepares and ends sessions.
  std::function<void()> before_activate;
  std::function<void()> before_deactivate;
  // Before a restart's new front takes over: settings that take effect in place.
  std::function<void()> before_restart;
  std::function<void()> after_deactivate;
  // Told, on the front's thread, of each connection taken in.
  std::function<void(ConnectionContext&)> on_connect;
  // Told, on the thread that ran it, of a failure other than the engine's own
  // that ended a connection.
  std::function<void(ConnectionContext&, const std::exception&)> on_exception;
  // Told, on the front's thread, of a failure to accept or to start a thread.
  std::function<void(const std::exception&)> on_listen_exception;
};

class TcpServer {
 public:
  static constexpr std::chrono::seconds kIdleThreadLifetime{10};

  explicit TcpServer(TcpHooks hooks);
  // Stops the server.
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  bool Active() const { return active_; }
  // Starts or stops the server; setting the current value does nothing.
  // Activation fails with BindError when an address is taken, and
  // then leaves nothing bound. Stopping closes every live connection and waits
  // for every running request (see StopTimeout), so a handler must never stop
  // its own server.
  void SetActive(bool active);
  // While active: brings the bindings and settings set since the activation
  // into force without a moment in which a connection is refused. A new front
  // takes over the listening sockets of the bindings that stay (the same
  // sockets, their queues included) and listens on the new ones, bound
  // before anything closes; then the old front closes the sockets of the
  // bindings that went, hands every connection that waits for a request (or
  // for the rest of one) to the new front, and finishes the requests it runs
  // within drain_ms. A binding that cannot be bound raises and leaves all
  // as it ran. Does nothing while inactive.
  void Restart(int drain_ms);

  // Filled at the first activation when empty (IPv4 any-address and, where the
  // machine has IPv6, the IPv6 any-address, both at DefaultPort) and kept.
  // Change them while the server is inactive, or before a Restart.
  std::vector<Binding>& Bindings() { return bindings_; }
  const std::vector<Binding>& Bindings() const { return bindings_; }
  Binding& AddBinding(std::string ip, int port, IpFamily version = kIPv4);

  // A TLS listener beside the plain one, made with the default bindings at
  // the first activation when set (0: none); it needs TlsContext.
  int TlsPort() const { return tls_port_; }
  void SetTlsPort(int port) { tls_port_ = port; }
  const std::shared_ptr<qv::TlsContext>& TlsContext() const { return tls_context_; }
  void SetTlsContext(std::shared_ptr<qv::TlsContext> context) { tls_context_ = std::move(context); }
  // Milliseconds a TLS connection may take from its accept to the end of its
  // handshake before it is closed; 0: no limit but ReadTimeout.
  static constexpr int kDefaultHandshakeTimeoutMs = 10000;
  int HandshakeTimeout() const { return handshake_timeout_ms_; }
  void SetHandshakeTimeout(int milliseconds) { handshake_timeout_ms_ = milliseconds; }
  // TLS handshakes one client address may have in progress; a TLS connection
  // beyond them is closed at once (0: no limit). Addresses that
  // MaxConnectionsPerAddress leaves alone have no limit here either.
  static constexpr int kDefaultMaxHandshakesPerAddress = 16;
  int MaxHandshakesPerAddress() const { return max_handshakes_per_address_; }
  void SetMaxHandshakesPerAddress(int count) { max_handshakes_per_address_ = count; }

  int DefaultPort() const { return default_port_; }
  void SetDefaultPort(int port) { default_port_ = port; }
  int ListenQueue() const { return listen_queue_; }
  void SetListenQueue(int backlog) { listen_queue_ = backlog; }
  // 0: unlimited; otherwise a connection beyond this many live ones is closed at once.
  int MaxConnections() const { return max_connections_; }
  void SetMaxConnections(int count) { max_connections_ = count; }
  // When set, a new connection is handed over only once its first bytes have
  // arrived, or after about a second when the client stays silent. Saves a
  // wait per connection; off by default.
  bool DeferAccept() const { return defer_accept_; }
  void SetDeferAccept(bool on) { defer_accept_ = on; }
  // Milliseconds a connection may wait for input (or for room to write)
  // before it is closed; 0 waits without limit.
  int ReadTimeout() const { return read_timeout_ms_; }
  void SetReadTimeout(int milliseconds) { read_timeout_ms_ = milliseconds; }
  // Milliseconds from the first byte of a request to its last (body
  // included) before the connection is closed; 0: no limit.
  int RequestTimeout() const { return request_timeout_ms_; }
  void SetRequestTimeout(int milliseconds) { request_timeout_ms_ = milliseconds; }
  // Milliseconds a connection kept open after an answer may wait for the
  // next request; 0: no limit but ReadTimeout.
  int KeepAliveTimeout() const { return keep_alive_timeout_ms_; }
  void SetKeepAliveTimeout(int milliseconds) { keep_alive_timeout_ms_ = milliseconds; }
  // 0: unlimited; otherwise a connection from an address that already has
  // this many live ones is closed at once.
  int MaxConnectionsPerAddress() const { return max_per_address_; }
  void SetMaxConnectionsPerAddress(int count) { max_per_address_ = count; }
  // Bytes that requests still arriving may hold in all (see RequestMemory);
  // a request that would need more is answered 503 with "Retry-After". 0: no
  // limit. Read at activation and at a restart.
  static constexpr size_t kDefaultMaxRequestMemory = size_t{64} << 20;
  size_t MaxRequestMemory() const { return max_request_memory_; }
  void SetMaxRequestMemory(size_t bytes) { max_request_memory_ = bytes; }
  // What requests hold now, the limit in force and the refusals; one for the
  // server's life, across restarts.
  const std::shared_ptr<qv::RequestMemory>& RequestMemory() const { return request_memory_; }
  // Threads that run requests at most; 0: one for every request running at once.
  int Workers() const { return workers_; }
  void SetWorkers(int count) { workers_ = count; }
  // Milliseconds a stop lets accepted connections finish their request and
  // answer (listeners close at once, and so do connections with no request
  // begun); then what still runs is cut off, and a thread stuck in a handler
  // is left behind. 0: connections close at once and running requests are
  // waited for.
  int StopTimeout() const { return stop_timeout_ms_; }
  void SetStopTimeout(int milliseconds) { stop_timeout_ms_ = milliseconds; }

  // Connections accepted and not yet finished.
  size_t ContextCount() const { return live_->load(); }
  // Threads kept for requests, running or waiting.
  size_t WorkerThreads() const;
  // True while a stop with a drain limit runs: answers close their connections.
  bool Draining() const { return draining_->load(); }

 private:
  void Activate();
  void Deactivate();
  // The listening sockets of the bindings, bound, in order.
  std::vector<FileDescriptor> BindAll();
  // The any-address bindings, when none are set.
  void AddDefaultBindings();
  // Raises when a binding needs TLS and there is no TLS context.
  void CheckTls() const;
  // A front with the current settings, not started.
  std::shared_ptr<Front> MakeFront();

  static void Call(const std::function<void()>& hook) {
    if (hook) hook();
  }

  const TcpHooks hooks_;
  std::vector<Binding> bindings_;
  int default_port_ = 0;
  int tls_port_ = 0;
  std::shared_ptr<qv::TlsContext> tls_context_;
  int handshake_timeout_ms_ = kDefaultHandshakeTimeoutMs;
  int max_handshakes_per_address_ = kDefaultMaxHandshakesPerAddress;
  int listen_queue_ = 15;
  int max_connections_ = 0;
  int read_timeout_ms_ = 0;
  int request_timeout_ms_ = 0;
  int keep_alive_timeout_ms_ = 5000;
  int max_per_address_ = 0;
  int workers_ = 0;
  int stop_timeout_ms_ = 0;
  bool defer_accept_ = false;
  size_t max_request_memory_ = kDefaultMaxRequestMemory;
  // Shared with the fronts: connections keep charging it when a restart hands them over.
  const std::shared_ptr<qv::RequestMemory> request_memory_ =
      std::make_shared<qv::RequestMemory>(kDefaultMaxRequestMemory);

  std::mutex active_lock_;  // one activation or deactivation at a time
  std::atomic<bool> active_{false};
  mutable std::mutex front_lock_;
  std::shared_ptr<Front> front_;
  // Shared with the front, which may outlive a stop that left a thread behind.
  std::shared_ptr<std::atomic<size_t>> live_ = std::make_shared<std::atomic<size_t>>(0);
  std::shared_ptr<std::atomic<bool>> draining_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace qv
