// The front of the TCP server: one I/O thread that waits on the listening
// sockets and on every connection at once, the worker pool it hands
// complete requests to, and the handshake pool it hands TLS handshakes to.
// Made at activation and ended at the stop; on a restart a new front takes over the listening sockets and the connections
// that wait for a request while the old one finishes the requests it runs.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "http/context.h"
#include "http/front_connection.h"
#include "http/handshake_pool.h"
#include "http/request_limits.h"
#include "http/request_memory.h"
#include "http/tls_context.h"
#include "http/worker_pool.h"
#include "platform/file_descriptor.h"

namespace qv {

struct FrontSettings {
  int read_timeout_ms = 0;
  int request_timeout_ms = 0;
  int keep_alive_timeout_ms = 0;
  int max_connections = 0;
  int max_per_address = 0;
  int workers = 0;
  RequestLimits limits;
  // What requests arriving on every connection may hold in all.
  std::shared_ptr<RequestMemory> request_memory;
  // Addresses the per-address cap does not apply to (proxies in front).
  std::function<bool(const std::string&)> uncapped;
  // Certificate and key for connections to bindings marked Tls.
  std::shared_ptr<TlsContext> tls;
  // From its accept to the end of its handshake a TLS connection may take
  // this long (0: no limit but read_timeout_ms), and one address may have
  // this many handshakes in progress (0: no limit; uncapped addresses have none).
  int handshake_timeout_ms = 0;
  int max_handshakes_per_address = 0;
};

struct FrontHooks {
  FrontConnection::ServeFunction serve;
  std::function<void(ConnectionContext&)> on_connect;
  std::function<void(ConnectionContext&, const std::exception&)> on_exception;
  std::function<void(const std::exception&)> on_listen_exception;
};

class SocketTransport;
class TlsTransport;

class Front : public std::enable_shared_from_this<Front> {
 public:
  using Clock = std::chrono::steady_clock;
  // How long accepting pauses when descriptors or threads run out.
  static constexpr std::chrono::milliseconds kPause{250};
  // How long a closing connection waits for the peer to finish sending.
  static constexpr std::chrono::milliseconds kLinger{2000};
  // How long a stop waits for the first bytes of a connection accepted just
  // before it: its client has most likely sent its request already.
  static constexpr std::chrono::milliseconds kFreshGrace{100};
  // How long a stop with a drain limit waits beyond it for running requests.
  static constexpr std::chrono::milliseconds kStopMargin{500};
  // The longest the front sleeps when nothing is due.
  static constexpr std::chrono::milliseconds kLongestSleep{60000};

  Front(FrontSettings settings, FrontHooks hooks, std::shared_ptr<std::atomic<size_t>> live,
           std::shared_ptr<std::atomic<bool>> draining);
  ~Front();
  Front(const Front&) = delete;
  Front& operator=(const Front&) = delete;

  // Takes the listening sockets (already listening, one for each binding,
  // in order; the bindings are copied) and starts the I/O thread. The
  // sockets are the front's to close from the call on, also when it raises.
  void Start(const std::vector<Binding>& listening, std::vector<FileDescriptor> sockets);
  // The listening sockets, Handle being each one's descriptor (still the
  // front's, to be copied at most). Only until Stop.
  std::vector<Binding> Listening() const;
  // Closes the listening sockets at once, and every connection with no
  // request begun (an idle persistent one, or one that sent nothing yet);
  // requests already begun and running finish for drain_ms, then the rest
  // is cut. With drain_ms 0 every connection closes at once and running
  // requests are waited for.
  //
  // With a successor (a front started on duplicates of the same listening
  // sockets) nothing waiting is closed: each connection between requests, or
  // with its request still arriving, moves to the successor, now or once its
  // running request is answered. Returns when done.
  void Stop(int drain_ms, std::shared_ptr<Front> successor = nullptr);
  // Takes over a connection another front gave up while it waited for input;
  // false, leaving it where it is, when this front has no listener like the
  // one it came in on. Safe from any thread before this front stops. A TLS
  // connection whose handshake is not done yet comes with its transport and
  // the deadline of its handshake, and goes on with it here.
  bool Adopt(const std::shared_ptr<FrontConnection>& fc, SocketTransport* socket,
             TlsTransport* handshake = nullptr, Clock::time_point handshake_until = Clock::time_point::max());
  size_t WorkerThreads() const;

 private:
  struct Source;
  struct Listener;
  struct Conn;

  void Loop();
  void Accept(Listener& listener);
  void Admit(FileDescriptor fd, const void* peer, const Binding* binding);
  void Handle(Conn& conn, FrontConnection::Next next, Clock::time_point now);
  void Arm(Conn& conn, unsigned events);
  bool Register(Conn& conn, unsigned events);
  void SetDeadline(Conn& conn, Clock::time_point deadline);
  void SetDeadlineLocked(Conn& conn, Clock::time_point deadline);
  // Worker: puts a persistent connection back in epoll itself; false when
  // it goes back to the front instead.
  bool WaitHere(Conn& conn);
  Clock::time_point WaitDeadline(const Conn& conn, Clock::time_point now) const;
  void Finish(Conn& conn);
  // Moves a waiting connection to the successor; false when it stays.
  bool HandOver(Conn& conn);
  void TakeAdopted(Clock::time_point now);
  // The bookkeeping of a connection's end; under conns_lock_.
  void Forget(Conn& conn);
  // Where a connection is: waiting for input, with a worker, sending held-back
  // output, or lingering before the close.
  enum class ConnState { Waiting, Serving, Flushing, Lingering };
  // Whether the connection is still known, and where it is.
  bool Lookup(Conn* conn, ConnState& state);
  Conn* Due(Clock::time_point now);
  bool NoConnections();
  // The connections not with a worker.
  std::vector<Conn*> Owned();
  void Dispatch(Conn& conn);
  // TLS handshakes: each step runs on the handshake pool, which hands the
  // connection back as workers do.
  void StepHandshake(Conn& conn);
  void RunHandshakeStep(Conn& conn);
  // Whether the address may begin one more handshake; under conns_lock_.
  bool HandshakeAllowed(const std::string& address);
  // The handshake is over (done, or the connection ends); under conns_lock_.
  void EndHandshake(Conn& conn);
  void RunJob(WorkerPool::Job& job);
  void Returned(Conn* conn, FrontConnection::Next next);
  void TakeReturned(Clock::time_point now);
  void PauseAccepting(Clock::time_point now);
  void ResumeAccepting();
  void ReportOnce(int error, const char* what);
  void BeginStop(Clock::time_point now);
  void AbortAll();
  void Wake();
  int Timeout(Clock::time_point now);

  const FrontSettings settings_;
  const FrontHooks hooks_;
  std::shared_ptr<std::atomic<size_t>> live_;
  std::shared_ptr<std::atomic<bool>> draining_;

  FileDescriptor epoll_fd_;
  FileDescriptor wake_fd_;
  std::unique_ptr<Source> wake_source_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  // Workers end the connections they close, and put persistent ones back in
  // epoll, themselves: the records below, the timers and each connection's
  // state are shared with them under this lock.
  std::mutex conns_lock_;
  std::unordered_map<Conn*, std::unique_ptr<Conn>> conns_;
  std::unordered_map<std::string, int> per_address_;
  std::set<std::pair<Clock::time_point, Conn*>> timers_;
  Clock::time_point sleep_until_{};  // when the front's wait ends at the latest
  std::unique_ptr<WorkerPool> pool_;
  // Only with a TLS listener; in progress per address under conns_lock_.
  std::unique_ptr<HandshakePool> handshakes_;
  std::unordered_map<std::string, int> handshakes_per_address_;
  std::atomic<size_t> serving_{0};  // connections handed to the pool and not back or ended yet
  std::atomic<bool> stopping_{false};  // a stop began: workers wake the front as serving_ reaches 0

  // Accepting paused after descriptors or threads ran out.
  bool accept_paused_ = false;
  Clock::time_point resume_at_{};
  bool reported_ = false;     // the current shortage was reported
  bool pool_starved_ = false; // a job waits for a thread that could not be started
  Clock::time_point nudge_at_ = Clock::time_point::max();  // when the pool wants a look

  std::mutex returned_lock_;
  std::vector<std::pair<Conn*, FrontConnection::Next>> returned_;
  // Connections handed over by the front this one replaced.
  struct HandedOver {
    std::shared_ptr<FrontConnection> fc;
    SocketTransport* socket;
    TlsTransport* handshake;  // while its handshake is not done
    Clock::time_point handshake_until;
  };
  std::vector<HandedOver> adopted_;
  bool wake_pending_ = false;

  std::mutex stop_lock_;
  bool stop_requested_ = false;
  int drain_ms_ = 0;
  std::shared_ptr<Front> successor_;  // set with stop_requested_
  bool stop_started_ = false;        // front thread only
  Clock::time_point drain_until_{};  // front thread only
  std::atomic<bool> aborted_{false};

  std::thread thread_;
};

}  // namespace qv
