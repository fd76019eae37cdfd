#include "http/front.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "http/exceptions.h"
#include "http/socket_transport.h"
#include "http/tls_transport.h"

namespace qv {

namespace {

constexpr int kMaxEvents = 256;
constexpr int kAcceptBurst = 256;
// Bursts of accepting at most when a stop takes what is already queued.
constexpr int kStopAcceptRounds = 8;

void PeerText(const sockaddr_storage& peer, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = "";
  if (peer.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&peer);
    ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    port = ntohs(a->sin6_port);
  } else {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&peer);
    ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    port = ntohs(a->sin_port);
  }
  ip = text;
}

}  // namespace

struct Front::Source {
  enum Kind { kWake, kListener, kConn };
  explicit Source(Kind k) : kind(k) {}
  virtual ~Source() = default;
  Kind kind;
};

struct Front::Listener : Source {
  Listener(const Binding& b, FileDescriptor socket)
      : Source(kListener), fd(std::move(socket)), binding(b) {
    binding.handle = -1;
  }
  FileDescriptor fd;  // closed at the stop, or when the front goes
  // The front's own copy: connections point to it for as long as they live.
  Binding binding;
};

namespace {

// Whether a connection that came in on one listener can be taken over by
// another: same address, port, family and protocol.
bool SameListener(const Binding& a, const Binding& b) {
  return a.ip == b.ip && a.port == b.port && a.ip_version == b.ip_version && a.tls == b.tls;
}

}  // namespace

struct Front::Conn : Source {
  using State = ConnState;
  Conn() : Source(kConn) {}
  std::shared_ptr<FrontConnection> fc;
  SocketTransport* socket = nullptr;
  std::string address;
  State state = State::Waiting;
  bool registered = false;
  Clock::time_point deadline = Clock::time_point::max();
  Clock::time_point accepted = Clock::now();
  // An epoll event came while its worker was putting it back in epoll.
  bool event_early = false;
  // While its TLS handshake runs: the transport, when the handshake must be
  // done by, and the address it is counted under (empty: not counted).
  TlsTransport* handshake = nullptr;
  Clock::time_point handshake_until = Clock::time_point::max();
  std::string handshake_address;
};

Front::Front(FrontSettings settings, FrontHooks hooks,
                   std::shared_ptr<std::atomic<size_t>> live, std::shared_ptr<std::atomic<bool>> draining)
    : settings_(std::move(settings)), hooks_(std::move(hooks)), live_(std::move(live)), draining_(std::move(draining)) {}

Front::~Front() {
  if (handshakes_) handshakes_->Stop();
  listeners_.clear();
  for (auto& entry : conns_) entry.second->fc->Transport().Close(false);
  for (auto& handed : adopted_) handed.fc->Transport().Close(false);
}

void Front::Start(const std::vector<Binding>& listening, std::vector<FileDescriptor> sockets) {
  // The listening sockets are the front's from here on, also when it cannot start.
  for (size_t i = 0; i < listening.size() && i < sockets.size(); ++i)
    listeners_.push_back(std::make_unique<Listener>(listening[i], std::move(sockets[i])));
  const auto secured = [](const Binding& binding) { return binding.tls; };
  if (settings_.tls && std::any_of(listening.begin(), listening.end(), secured))
    handshakes_ = std::make_unique<HandshakePool>();
  epoll_fd_.Reset(::epoll_create1(EPOLL_CLOEXEC));
  wake_fd_.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!epoll_fd_.Valid() || !wake_fd_.Valid()) {
    const int error = errno;
    throw SocketError(error, std::string("Could not start the server. ") + std::strerror(error));
  }
  wake_source_ = std::make_unique<Source>(Source::kWake);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.ptr = wake_source_.get();
  ::epoll_ctl(epoll_fd_.Get(), EPOLL_CTL_ADD, wake_fd_.Get(), &ev);
  ResumeAccepting();
  try {
    auto self = shared_from_this();
    pool_ = std::make_unique<WorkerPool>(static_cast<size_t>(std::max(0, settings_.workers)),
                                            [self](WorkerPool::Job& job) { self->RunJob(job); });
    thread_ = std::thread([this] { Loop(); });
  } catch (...) {
    // Ends the pool's hold on this front, which then goes with its sockets.
    pool_.reset();
    throw;
  }
}

size_t Front::WorkerThreads() const { return pool_ ? pool_->Threads() : 0; }

std::vector<Binding> Front::Listening() const {
  std::vector<Binding> listening;
  for (const auto& listener : listeners_) {
    listening.push_back(listener->binding);
    listening.back().handle = listener->fd.Get();
  }
  return listening;
}

void Front::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_fd_.Get(), &one, sizeof one);
}

void Front::Stop(int drain_ms, std::shared_ptr<Front> successor) {
  {
    std::lock_guard lock(stop_lock_);
    stop_requested_ = true;
    drain_ms_ = drain_ms;
    successor_ = std::move(successor);
  }
  Wake();
  if (thread_.joinable()) thread_.join();
  if (handshakes_) handshakes_->Stop();
  const auto until = drain_ms > 0 ? Clock::now() + kStopMargin : Clock::time_point::max();
  if (!pool_) return;
  pool_->Stop(until);
  // Ends the pool's hold on this front. A thread stuck in a handler keeps the
  // pool, and through it this front, alive until it returns, if ever.
  if (pool_->Threads() == 0) pool_.reset();
}

void Front::ResumeAccepting() {
  accept_paused_ = false;
  for (auto& listener : listeners_) {
    if (!listener->fd.Valid()) continue;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = listener.get();
    if (::epoll_ctl(epoll_fd_.Get(), EPOLL_CTL_MOD, listener->fd.Get(), &ev) != 0)
      ::epoll_ctl(epoll_fd_.Get(), EPOLL_CTL_ADD, listener->fd.Get(), &ev);
  }
}

void Front::PauseAccepting(Clock::time_point now) {
  accept_paused_ = true;
  resume_at_ = now + kPause;
  for (auto& listener : listeners_) {
    if (!listener->fd.Valid()) continue;
    epoll_event ev{};
    ev.data.ptr = listener.get();
    ::epoll_ctl(epoll_fd_.Get(), EPOLL_CTL_MOD, listener->fd.Get(), &ev);
  }
}

void Front::ReportOnce(int error, const char* what) {
  if (reported_) return;
  reported_ = true;
  if (hooks_.on_listen_exception)
    hooks_.on_listen_exception(SocketError(error, std::string(what) + std::strerror(error)));
}

void Front::Accept(Listener& listener) {
  for (int i = 0; i < kAcceptBurst; ++i) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    FileDescriptor fd(::accept4(listener.fd.Get(), reinterpret_cast<sockaddr*>(&peer), &length,
                                SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.Valid()) {
      const int error = errno;
      if (error == EAGAIN || error == EWOULDBLOCK) {
        // All that waited is taken: a shortage, if there was one, is over.
        // Not before: room for a few while more wait is the same shortage,
        // and is not reported again.
        if (!pool_starved_) reported_ = false;
        return;
      }
      if (error == EINTR || error == ECONNABORTED || error == EPROTO) continue;
      if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
        // Out of descriptors: wait a moment for connections to end.
        ReportOnce(error, "Accept failed. ");
        PauseAccepting(Clock::now());
        return;
      }
      ReportOnce(error, "Accept failed. ");
      return;
    }
    Admit(std::move(fd), &peer, &listener.binding);
  }
}

void Front::Admit(FileDescriptor fd, const void* peer_address, const Binding* binding) {
  // A connection refused below is closed as fd goes, without a byte written.
  if (settings_.max_connections > 0 && live_->load() >= static_cast<size_t>(settings_.max_connections))
    return;
  std::string ip;
  int port = 0;
  PeerText(*static_cast<const sockaddr_storage*>(peer_address), ip, port);
  const bool exempt = settings_.uncapped && settings_.uncapped(ip);
  const bool capped = settings_.max_per_address > 0 && !exempt;
  const bool tls = binding && binding->tls && settings_.tls;
  const bool handshake_capped = tls && settings_.max_handshakes_per_address > 0 && !exempt;
  std::unique_lock lock(conns_lock_);
  if (handshake_capped && !HandshakeAllowed(ip)) {
    lock.unlock();
    return;
  }
  if (capped) {
    int& count = per_address_[ip];
    if (count >= settings_.max_per_address) {
      lock.unlock();
      return;
    }
    ++count;
  }
  if (handshake_capped) ++handshakes_per_address_[ip];
  lock.unlock();
  ++*live_;
  auto owned = std::make_unique<Conn>();
  Conn& conn = *owned;
  auto transport = std::make_unique<SocketTransport>(std::move(fd), settings_.read_timeout_ms);
  transport->SetHoldBack(true);
  conn.socket = transport.get();
  conn.address = capped ? ip : std::string();
  std::unique_ptr<Transport> channel = std::move(transport);
  // TLS runs over the socket in memory. Its handshake advances on the
  // handshake pool as bytes arrive, never on this thread and never holding
  // a worker, and must end in time.
  if (tls) {
    auto secured = std::make_unique<TlsTransport>(std::move(channel), settings_.tls->Current());
    conn.handshake = secured.get();
    conn.handshake_address = handshake_capped ? ip : std::string();
    if (settings_.handshake_timeout_ms > 0)
      conn.handshake_until = Clock::now() + std::chrono::milliseconds(settings_.handshake_timeout_ms);
    channel = std::move(secured);
  }
  conn.fc = std::make_shared<FrontConnection>(std::move(channel), std::move(ip), port, binding,
                                                 settings_.limits);
  conn.fc->Context().SetRequestMemory(settings_.request_memory);
  conn.fc->tag = &conn;
  lock.lock();
  conns_.emplace(&conn, std::move(owned));
  lock.unlock();
  if (hooks_.on_connect) hooks_.on_connect(conn.fc->Context());
  const auto now = Clock::now();
  // A handshake's first bytes are read off this thread, once epoll has them.
  if (conn.handshake) return Handle(conn, FrontConnection::Next::Wait, now);
  // The request is often there already.
  Handle(conn, conn.fc->Receive(now), now);
}

bool Front::Register(Conn& conn, unsigned events) {
  epoll_event ev{};
  ev.events = events | EPOLLONESHOT;
  ev.data.ptr = &conn;
  const int fd = conn.socket->Handle();
  if (::epoll_ctl(epoll_fd_.Get(), conn.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) != 0) return false;
  conn.registered = true;
  return true;
}

void Front::Arm(Conn& conn, unsigned events) {
  if (!Register(conn, events)) Finish(conn);
}

void Front::SetDeadline(Conn& conn, Clock::time_point deadline) {
  std::lock_guard lock(conns_lock_);
  SetDeadlineLocked(conn, deadline);
}

void Front::SetDeadlineLocked(Conn& conn, Clock::time_point deadline) {
  if (conn.deadline != Clock::time_point::max()) timers_.erase({conn.deadline, &conn});
  conn.deadline = deadline;
  if (deadline != Clock::time_point::max()) timers_.emplace(deadline, &conn);
}

Front::Clock::time_point Front::WaitDeadline(const Conn& conn, Clock::time_point now) const {
  using std::chrono::milliseconds;
  auto deadline = Clock::time_point::max();
  const FrontConnection& fc = *conn.fc;
  if (fc.RequestUnderway()) {
    if (settings_.read_timeout_ms > 0)
      deadline = std::min(deadline, fc.LastInput() + milliseconds(settings_.read_timeout_ms));
    if (settings_.request_timeout_ms > 0)
      deadline = std::min(deadline, fc.RequestBegan() + milliseconds(settings_.request_timeout_ms));
  } else if (fc.Answered() > 0 && settings_.keep_alive_timeout_ms > 0) {
    deadline = now + milliseconds(settings_.keep_alive_timeout_ms);
  } else if (settings_.read_timeout_ms > 0) {
    deadline = now + milliseconds(settings_.read_timeout_ms);
  }
  return std::min(deadline, conn.handshake_until);
}

void Front::Handle(Conn& conn, FrontConnection::Next next, Clock::time_point now) {
  using Next = FrontConnection::Next;
  switch (next) {
    case Next::Wait:
      if (stop_started_) {
        // A restart: the front that took over the listeners takes it too.
        if (successor_ && HandOver(conn)) return;
        // A stop: a connection with no request begun is done, unless it was
        // accepted a moment ago and its request may be on its way.
        if (!conn.fc->RequestUnderway()) {
          const auto grace = conn.accepted + kFreshGrace;
          if (conn.fc->Answered() > 0 || now >= grace) return Finish(conn);
          conn.state = Conn::State::Waiting;
          SetDeadline(conn, std::min(grace, WaitDeadline(conn, now)));
          return Arm(conn, EPOLLIN);
        }
      }
      conn.state = Conn::State::Waiting;
      SetDeadline(conn, WaitDeadline(conn, now));
      return Arm(conn, EPOLLIN);
    case Next::Serve:
      return Dispatch(conn);
    case Next::Flush:
      conn.state = Conn::State::Flushing;
      SetDeadline(conn, settings_.read_timeout_ms > 0
                            ? now + std::chrono::milliseconds(settings_.read_timeout_ms)
                            : Clock::time_point::max());
      return Arm(conn, EPOLLOUT);
    case Next::Linger:
      conn.state = Conn::State::Lingering;
      conn.fc->StartLinger();
      if (conn.fc->Drain()) return Finish(conn);
      SetDeadline(conn, now + kLinger);
      return Arm(conn, EPOLLIN);
    case Next::Close:
      return Finish(conn);
  }
}

void Front::Dispatch(Conn& conn) {
  conn.state = Conn::State::Serving;
  SetDeadline(conn, Clock::time_point::max());
  // A worker that has to wait for more of the request waits no longer than
  // the request may take.
  if (settings_.request_timeout_ms > 0)
    conn.socket->SetDeadline(conn.fc->RequestBegan() + std::chrono::milliseconds(settings_.request_timeout_ms));
  ++serving_;
  const bool posted = pool_->Post(conn.fc);
  nudge_at_ = std::min(nudge_at_, Clock::now() + WorkerPool::kWaitBeforeMore);
  if (!posted) {
    // No thread could be started: the job waits; accepting pauses meanwhile.
    pool_starved_ = true;
    ReportOnce(EAGAIN, "Could not start a thread. ");
    PauseAccepting(Clock::now());
  }
}

void Front::StepHandshake(Conn& conn) {
  // Like a request handed to a worker: the front neither reads it nor times
  // it out until the step hands it back.
  conn.state = Conn::State::Serving;
  SetDeadline(conn, Clock::time_point::max());
  ++serving_;
  handshakes_->Post([this, step = &conn] { RunHandshakeStep(*step); });
}

void Front::RunHandshakeStep(Conn& conn) {
  using Next = FrontConnection::Next;
  Next next = Next::Close;
  if (!aborted_.load()) {
    try {
      // Reads what has arrived and advances the handshake; when it is done,
      // also the request that may have come with its last message.
      next = conn.fc->Receive(Clock::now());
    } catch (const HttpError&) {
      next = Next::Close;  // a handshake that failed: the connection just ends
    } catch (const std::exception& e) {
      next = Next::Close;
      if (hooks_.on_exception) hooks_.on_exception(conn.fc->Context(), e);
    }
    if (conn.handshake->HandshakeDone()) {
      std::lock_guard lock(conns_lock_);
      EndHandshake(conn);
    }
  }
  Returned(&conn, next);
}

bool Front::HandshakeAllowed(const std::string& address) {
  const auto it = handshakes_per_address_.find(address);
  return it == handshakes_per_address_.end() || it->second < settings_.max_handshakes_per_address;
}

void Front::EndHandshake(Conn& conn) {
  conn.handshake = nullptr;
  conn.handshake_until = Clock::time_point::max();
  if (conn.handshake_address.empty()) return;
  const auto it = handshakes_per_address_.find(conn.handshake_address);
  if (it != handshakes_per_address_.end() && --it->second <= 0) handshakes_per_address_.erase(it);
  conn.handshake_address.clear();
}

void Front::RunJob(WorkerPool::Job& job) {
  auto* conn = static_cast<Conn*>(job->tag);
  using Next = FrontConnection::Next;
  Next next = Next::Close;
  if (!aborted_.load()) next = job->Serve(hooks_.serve, hooks_.on_exception);
  if (next == Next::Wait && WaitHere(*conn)) return;
  if (next != Next::Close) return Returned(conn, next);
  // Ended here, without a round trip through the front: a connection being
  // served has no timer and no place in epoll, so nothing else of it is the
  // front's.
  job->Transport().Close(false);
  {
    std::lock_guard lock(conns_lock_);
    Forget(*conn);
  }
  if (--serving_ == 0 && stopping_.load()) Wake();
}

bool Front::WaitHere(Conn& conn) {
  // A persistent connection waits for its next request in epoll, put there
  // by its worker: the front sees it again only when that request comes.
  // It stays Serving until it is in epoll, so the front neither ends it nor
  // reads it meanwhile; an event that comes first is kept for the worker.
  const auto now = Clock::now();
  conn.socket->SetDeadline(Clock::time_point::max());
  const auto deadline = WaitDeadline(conn, now);
  bool wake;
  {
    std::lock_guard lock(conns_lock_);
    // While stopping, the front decides what becomes of it.
    if (stopping_.load()) return false;
    conn.event_early = false;
    SetDeadlineLocked(conn, deadline);
    // The front sleeps past the new deadline: it has to look again.
    wake = deadline < sleep_until_;
  }
  const bool registered = Register(conn, EPOLLIN);
  bool handed_over;
  {
    std::lock_guard lock(conns_lock_);
    // A stop that began meanwhile may already have looked for connections
    // between requests: this one goes back to the front, which ends it.
    handed_over = registered && !conn.event_early && !stopping_.load();
    if (handed_over)
      conn.state = Conn::State::Waiting;
    else
      SetDeadlineLocked(conn, Clock::time_point::max());
  }
  // The front takes it back: it waits afresh (the event comes again while
  // input is there), or it ends when epoll would not take it.
  if (!handed_over) return false;
  // From here on the connection is the front's, and may already be gone.
  --serving_;
  if (wake) Wake();
  return true;
}

void Front::Returned(Conn* conn, FrontConnection::Next next) {
  bool wake = false;
  {
    std::lock_guard lock(returned_lock_);
    returned_.emplace_back(conn, next);
    wake = !wake_pending_;
    wake_pending_ = true;
  }
  if (wake) Wake();
}

bool Front::Adopt(const std::shared_ptr<FrontConnection>& fc, SocketTransport* socket,
                     TlsTransport* handshake, Clock::time_point handshake_until) {
  const Binding* came_in = fc->Context().Binding();
  const Binding* binding = nullptr;
  for (const auto& listener : listeners_) {
    if (!came_in || SameListener(listener->binding, *came_in)) {
      binding = &listener->binding;
      break;
    }
  }
  if (!binding) return false;
  // The old front's listener goes with it; this front's stands in for it.
  fc->Context().SetBinding(binding);
  bool wake = false;
  {
    std::lock_guard lock(returned_lock_);
    adopted_.push_back({fc, socket, handshake, handshake_until});
    wake = !wake_pending_;
    wake_pending_ = true;
  }
  if (wake) Wake();
  return true;
}

bool Front::HandOver(Conn& conn) {
  // Nothing of it may be left in this front's epoll when the successor
  // puts it in its own.
  if (conn.registered && ::epoll_ctl(epoll_fd_.Get(), EPOLL_CTL_DEL, conn.socket->Handle(), nullptr) != 0)
    return false;
  conn.registered = false;
  if (!successor_->Adopt(conn.fc, conn.socket, conn.handshake, conn.handshake_until)) {
    // Stays here; Handle arms it again.
    return false;
  }
  SetDeadline(conn, Clock::time_point::max());
  std::lock_guard lock(conns_lock_);
  Forget(conn);
  return true;
}

void Front::TakeAdopted(Clock::time_point now) {
  std::vector<HandedOver> adopted;
  {
    std::lock_guard lock(returned_lock_);
    adopted.swap(adopted_);
  }
  for (HandedOver& handed : adopted) {
    const std::shared_ptr<FrontConnection>& fc = handed.fc;
    const std::string& ip = fc->Context().PeerIP();
    const bool exempt = settings_.uncapped && settings_.uncapped(ip);
    const bool capped = settings_.max_per_address > 0 && !exempt;
    // Its handshake goes on where handshakes run, by the deadline it had.
    const bool handshake = handed.handshake && handshakes_;
    auto owned = std::make_unique<Conn>();
    Conn& conn = *owned;
    conn.fc = fc;
    conn.socket = handed.socket;
    conn.address = capped ? ip : std::string();
    if (handshake) {
      conn.handshake = handed.handshake;
      conn.handshake_until = handed.handshake_until;
      if (settings_.max_handshakes_per_address > 0 && !exempt) conn.handshake_address = ip;
    }
    handed.socket->SetTimeout(settings_.read_timeout_ms);
    fc->tag = &conn;
    ++*live_;
    {
      // Counted against the caps, never refused: it was admitted before.
      std::lock_guard lock(conns_lock_);
      if (capped) ++per_address_[ip];
      if (!conn.handshake_address.empty()) ++handshakes_per_address_[ip];
      conns_.emplace(&conn, std::move(owned));
    }
    // Its next handshake step is read off this thread, once epoll has input.
    Handle(conn, handshake ? FrontConnection::Next::Wait : fc->Receive(now), now);
  }
}

void Front::TakeReturned(Clock::time_point now) {
  std::vector<std::pair<Conn*, FrontConnection::Next>> returned;
  {
    std::lock_guard lock(returned_lock_);
    returned.swap(returned_);
    wake_pending_ = false;
  }
  TakeAdopted(now);
  for (auto& [conn, next] : returned) {
    --serving_;
    conn->socket->SetDeadline(Clock::time_point::max());
    if (aborted_.load())
      Finish(*conn);
    else
      Handle(*conn, next, now);
  }
}

void Front::Finish(Conn& conn) {
  SetDeadline(conn, Clock::time_point::max());
  conn.fc->Transport().Close(false);
  std::lock_guard lock(conns_lock_);
  Forget(conn);
}

bool Front::Lookup(Conn* conn, ConnState& state) {
  std::lock_guard lock(conns_lock_);
  if (conns_.find(conn) == conns_.end()) return false;
  state = conn->state;
  // Its worker is still putting it in epoll: the event is the worker's to see.
  if (state == Conn::State::Serving) conn->event_early = true;
  return true;
}

Front::Conn* Front::Due(Clock::time_point now) {
  std::lock_guard lock(conns_lock_);
  while (!timers_.empty() && timers_.begin()->first <= now) {
    Conn* conn = timers_.begin()->second;
    if (conn->state != Conn::State::Serving) return conn;
    // Its worker is still putting it in epoll; it is looked at again shortly.
    SetDeadlineLocked(*conn, now + kPause);
  }
  return nullptr;
}

bool Front::NoConnections() {
  std::lock_guard lock(conns_lock_);
  return conns_.empty();
}

std::vector<Front::Conn*> Front::Owned() {
  std::vector<Conn*> owned;
  std::lock_guard lock(conns_lock_);
  for (auto& entry : conns_)
    if (entry.first->state != Conn::State::Serving) owned.push_back(entry.first);
  return owned;
}

void Front::Forget(Conn& conn) {
  EndHandshake(conn);
  if (!conn.address.empty()) {
    const auto it = per_address_.find(conn.address);
    if (it != per_address_.end() && --it->second <= 0) per_address_.erase(it);
  }
  --*live_;
  conns_.erase(&conn);
}

void Front::BeginStop(Clock::time_point now) {
  stop_started_ = true;
  stopping_ = true;
  int drain_ms;
  {
    std::lock_guard lock(stop_lock_);
    drain_ms = drain_ms_;
  }
  // Connections the front before this one handed over may still wait to be
  // taken (this thread was busy when they came): they are this front's, and
  // go on as the others below; left in the queue they would be closed with
  // the front, unanswered.
  TakeAdopted(now);
  // Connections the system has already set up but this front has not
  // accepted yet sent their request to this server: they are taken, and
  // then dealt with as the others below. A successor takes them itself.
  if (!successor_ && drain_ms > 0) {
    for (auto& listener : listeners_)
      for (int round = 0; round < kStopAcceptRounds && listener->fd.Valid() && !accept_paused_; ++round)
        Accept(*listener);
  }
  // The listening sockets close at once (a successor has copies of its own).
  // Out of epoll first: a copy elsewhere would keep them reported here.
  for (auto& listener : listeners_) {
    if (listener->fd.Valid()) ::epoll_ctl(epoll_fd_.Get(), EPOLL_CTL_DEL, listener->fd.Get(), nullptr);
    listener->fd.Reset();
  }
  if (successor_) {
    for (Conn* conn : Owned())
      if (conn->state == Conn::State::Waiting) HandOver(*conn);
  }
  if (drain_ms <= 0) return AbortAll();
  if (!successor_) draining_->store(true);
  drain_until_ = now + std::chrono::milliseconds(drain_ms);
  // Whatever has arrived is looked at once more: a connection with no
  // request begun is done (Handle), one whose request is here is served.
  for (Conn* conn : Owned())
    if (conn->state == Conn::State::Waiting) Handle(*conn, conn->fc->Receive(now), now);
}

void Front::AbortAll() {
  aborted_ = true;
  // Requests not yet taken by a thread are not run.
  for (auto& job : pool_->TakeQueued()) {
    --serving_;
    Finish(*static_cast<Conn*>(job->tag));
  }
  {
    // Held, so that no worker ends its connection meanwhile.
    std::lock_guard lock(conns_lock_);
    for (auto& [conn, owned] : conns_)
      if (conn->state == Conn::State::Serving) conn->fc->Transport().Abort();  // ends its blocked reads and writes
  }
  for (Conn* conn : Owned()) Finish(*conn);
}

int Front::Timeout(Clock::time_point now) {
  auto next = Clock::time_point::max();
  std::lock_guard lock(conns_lock_);
  if (!timers_.empty()) next = timers_.begin()->first;
  if (accept_paused_ || pool_starved_) next = std::min(next, resume_at_);
  next = std::min(next, nudge_at_);
  if (stop_started_ && !aborted_.load()) next = std::min(next, drain_until_);
  if (stop_started_ && aborted_.load() && drain_until_ != Clock::time_point()) next = std::min(next, drain_until_ + kStopMargin);
  if (next <= now) {
    sleep_until_ = now;
    return 0;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
  if (next == Clock::time_point::max() || ms > kLongestSleep.count()) {
    sleep_until_ = now + kLongestSleep;
    return static_cast<int>(kLongestSleep.count());
  }
  sleep_until_ = now + std::chrono::milliseconds(ms);
  return static_cast<int>(ms);
}

void Front::Loop() {
  ::pthread_setname_np(::pthread_self(), "Front");
  epoll_event events[kMaxEvents];
  for (;;) {
    auto now = Clock::now();
    bool stop;
    {
      std::lock_guard lock(stop_lock_);
      stop = stop_requested_;
    }
    if (stop && !stop_started_) BeginStop(now);
    if (stop_started_) {
      if (!aborted_.load() && (NoConnections() || now >= drain_until_)) AbortAll();
      if (aborted_.load() && serving_ == 0) break;
      // A stop with a limit leaves a request stuck in its handler behind.
      if (aborted_.load() && drain_until_ != Clock::time_point() && now >= drain_until_ + kStopMargin) break;
    }
    const int n = ::epoll_wait(epoll_fd_.Get(), events, kMaxEvents, Timeout(now));
    if (n < 0 && errno != EINTR) break;
    now = Clock::now();
    for (int i = 0; i < n; ++i) {
      auto* source = static_cast<Source*>(events[i].data.ptr);
      if (source->kind == Source::kWake) {
        uint64_t count;
        [[maybe_unused]] const ssize_t r = ::read(wake_fd_.Get(), &count, sizeof count);
        TakeReturned(now);
      } else if (source->kind == Source::kListener) {
        auto* listener = static_cast<Listener*>(source);
        if (listener->fd.Valid() && !stop_started_ && !accept_paused_) Accept(*listener);
      } else {
        auto* conn = static_cast<Conn*>(source);
        // A connection finished earlier in this round is no longer known.
        Conn::State state;
        if (!Lookup(conn, state)) continue;
        switch (state) {
          case Conn::State::Waiting:
            if (conn->handshake)
              StepHandshake(*conn);
            else
              Handle(*conn, conn->fc->Receive(now), now);
            break;
          case Conn::State::Flushing:
            Handle(*conn, conn->fc->Flush(), now);
            break;
          case Conn::State::Lingering:
            if (conn->fc->Drain())
              Finish(*conn);
            else
              Arm(*conn, EPOLLIN);
            break;
          case Conn::State::Serving:
            break;
        }
      }
    }
    // Jobs waiting too long get one more thread.
    nudge_at_ = pool_->Nudge(now);
    // Time limits: the connection is closed without an answer.
    while (Conn* due = Due(now)) Finish(*due);
    if ((accept_paused_ || pool_starved_) && now >= resume_at_) {
      if (pool_starved_ && pool_->Retry()) pool_starved_ = false;
      if (pool_starved_) {
        resume_at_ = now + kPause;
      } else if (accept_paused_ && !stop_started_) {
        ResumeAccepting();
      }
    }
  }
}

}  // namespace qv
