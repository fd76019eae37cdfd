// The TCP side of the server: listening sockets for the bindings, one
// listener thread per binding, a thread for every live connection, and an
// orderly stop that closes live connections and waits for their threads.
//
// Threads are reused: a thread whose connection has ended waits for the next
// one on the listening socket itself (in 250 ms slices), so a busy server
// passes no connection from thread to thread. The binding's listener thread
// starts a new thread whenever none is waiting, so any number of connections
// run at once; a thread left waiting for 10 s ends.
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

namespace qv {

enum ReuseSocketMode { rsOSDependent, rsTrue, rsFalse };

class TIdCustomTCPServer {
 public:
  static constexpr std::chrono::milliseconds kListenSlice{250};
  static constexpr std::chrono::seconds kIdleThreadLifetime{10};

  TIdCustomTCPServer() = default;
  virtual ~TIdCustomTCPServer();
  TIdCustomTCPServer(const TIdCustomTCPServer&) = delete;
  TIdCustomTCPServer& operator=(const TIdCustomTCPServer&) = delete;

  bool Active() const { return active_; }
  // Starts or stops the server; setting the current value does nothing.
  // Activation fails with ECouldNotBindSocket when an address is taken, and
  // then leaves nothing bound. Stopping closes every live connection and waits
  // for every connection thread, so a handler must never stop its own server.
  void SetActive(bool active);

  // Filled at the first activation when empty (IPv4 any-address and, where the
  // machine has IPv6, the IPv6 any-address, both at DefaultPort) and kept.
  // Change them only while the server is inactive.
  std::vector<TIdSocketHandle>& Bindings() { return bindings_; }
  const std::vector<TIdSocketHandle>& Bindings() const { return bindings_; }
  TIdSocketHandle& AddBinding(std::string ip, int port, IPFamily version = Id_IPv4);

  int DefaultPort() const { return default_port_; }
  void SetDefaultPort(int port) { default_port_ = port; }
  int ListenQueue() const { return listen_queue_; }
  void SetListenQueue(int backlog) { listen_queue_ = backlog; }
  // 0: unlimited; otherwise a connection beyond this many live ones is closed at once.
  int MaxConnections() const { return max_connections_; }
  void SetMaxConnections(int count) { max_connections_ = count; }
  ReuseSocketMode ReuseSocket() const { return reuse_socket_; }
  void SetReuseSocket(ReuseSocketMode mode) { reuse_socket_ = mode; }
  // When set, a new connection is handed over only once its first bytes have
  // arrived, or after about a second when the client stays silent. Saves a
  // wait per connection; off by default.
  bool DeferAccept() const { return defer_accept_; }
  void SetDeferAccept(bool on) { defer_accept_ = on; }
  // Milliseconds a connection may wait for input (or for room to write)
  // before it is closed; 0 waits without limit.
  int ReadTimeout() const { return read_timeout_ms_; }
  void SetReadTimeout(int milliseconds) { read_timeout_ms_ = milliseconds; }

  // Hooks, all optional; they run on the connection's thread.
  std::function<void(TIdContext&)> OnConnect;
  std::function<void(TIdContext&)> OnDisconnect;
  std::function<void(TIdContext&, const std::exception&)> OnException;
  std::function<void(const std::exception&)> OnListenException;

  // Connections accepted and not yet finished.
  size_t ContextCount() const { return live_.load(); }
  // Threads kept for connections, running or waiting.
  size_t WorkerThreads() const;

 protected:
  // Runs one connection to its end (the request loop); then the engine closes it.
  virtual void DoExecute(TIdContext& context) = 0;
  // Around the TCP start and stop: the HTTP layer prepares and ends sessions.
  virtual void BeforeActivate() {}
  virtual void BeforeDeactivate() {}
  virtual void AfterDeactivate() {}
  // Stops the server; derived classes call it from their destructor.
  void StopServer() { SetActive(false); }

 private:
  struct Worker {
    std::thread thread;
    bool finished = false;       // under the listener's lock
    std::mutex current_lock;     // the connection being run, for the stop
    TIdContext* current = nullptr;
  };
  struct Listener {
    TIdSocketHandle* binding = nullptr;
    int number = 0;              // 1-based, in the order of the bindings
    std::atomic<bool> stop{false};
    std::thread thread;
    std::mutex lock;             // workers list, finished flags
    std::condition_variable no_idle_worker;
    std::atomic<int> idle{0};    // threads waiting on the listening socket
    std::list<Worker> workers;
  };

  void Activate();
  void Deactivate();
  void BindAll();
  void ListenerLoop(Listener& listener);
  void StartWorker(Listener& listener);
  void WorkerLoop(Listener& listener, Worker& self);
  void LeaveIdle(Listener& listener);
  void RunConnection(Listener& listener, Worker& self, int fd, const sockaddr_storage& peer);
  void ReportListenError(int error);

  std::vector<TIdSocketHandle> bindings_;
  int default_port_ = 0;
  int listen_queue_ = 15;
  int max_connections_ = 0;
  ReuseSocketMode reuse_socket_ = rsOSDependent;
  int read_timeout_ms_ = 0;
  bool defer_accept_ = false;

  std::mutex active_lock_;  // one activation or deactivation at a time
  std::atomic<bool> active_{false};
  mutable std::mutex listeners_lock_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::atomic<size_t> live_{0};
};

}  // namespace qv
