#include "http/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "http/exceptions.h"
#include "http/socket_transport.h"

namespace qv {

namespace {

bool MachineHasIPv6() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void CloseListening(TIdSocketHandle& binding) {
  if (binding.Handle >= 0) ::close(binding.Handle);
  binding.Handle = -1;
}

// Creates, configures and binds the listening socket of one binding.
void BindOne(TIdSocketHandle& binding, ReuseSocketMode reuse, bool defer_accept) {
  const int family = binding.IPVersion == Id_IPv6 ? AF_INET6 : AF_INET;
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET) {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(binding.Port));
    a->sin_addr.s_addr = htonl(INADDR_ANY);
    if (!binding.IP.empty() && ::inet_pton(AF_INET, binding.IP.c_str(), &a->sin_addr) != 1)
      throw ECouldNotBindSocket();
    length = sizeof(sockaddr_in);
  } else {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<uint16_t>(binding.Port));
    a->sin6_addr = in6addr_any;
    if (!binding.IP.empty() && ::inet_pton(AF_INET6, binding.IP.c_str(), &a->sin6_addr) != 1)
      throw ECouldNotBindSocket();
    length = sizeof(sockaddr_in6);
  }
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ECouldNotBindSocket();
  const int on = 1;
  // A stopped server must be able to listen again at once although its closed
  // connections linger in TIME_WAIT; on this system the option never lets two
  // listeners share a port.
  if (reuse != rsFalse) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // The IPv6 socket takes only IPv6 peers; IPv4 has a socket of its own.
  if (family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  // Accepted connections inherit it: answers leave without waiting for ACKs.
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (defer_accept) {
    // The system holds a new connection back until its first bytes arrive
    // (a silent one for about a second), so its thread starts with data.
    const int seconds = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
  }
  // Waiting for a connection gives up after one slice, so waiting threads
  // see a stop and their idle time.
  const auto slice = std::chrono::microseconds(TIdCustomTCPServer::kListenSlice).count();
  const timeval tv{static_cast<time_t>(slice / 1000000), static_cast<suseconds_t>(slice % 1000000)};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    ::close(fd);
    throw ECouldNotBindSocket();
  }
  if (binding.Port == 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    binding.Port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                           : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  binding.Handle = fd;
}

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

template <typename F>
void Quietly(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

TIdCustomTCPServer::~TIdCustomTCPServer() { StopServer(); }

TIdSocketHandle& TIdCustomTCPServer::AddBinding(std::string ip, int port, IPFamily version) {
  TIdSocketHandle& binding = bindings_.emplace_back();
  binding.IP = std::move(ip);
  binding.Port = port;
  binding.IPVersion = version;
  return binding;
}

size_t TIdCustomTCPServer::WorkerThreads() const {
  std::lock_guard lock(listeners_lock_);
  size_t count = 0;
  for (const auto& listener : listeners_) {
    std::lock_guard workers_lock(listener->lock);
    for (const Worker& w : listener->workers) count += w.finished ? 0 : 1;
  }
  return count;
}

void TIdCustomTCPServer::SetActive(bool active) {
  std::lock_guard lock(active_lock_);
  if (active == active_) return;
  if (active)
    Activate();
  else
    Deactivate();
}

void TIdCustomTCPServer::BindAll() {
  for (TIdSocketHandle& binding : bindings_) {
    try {
      BindOne(binding, reuse_socket_, defer_accept_);
    } catch (...) {
      for (TIdSocketHandle& b : bindings_) CloseListening(b);
      throw;
    }
  }
}

void TIdCustomTCPServer::Activate() {
  BeforeActivate();
  try {
    if (bindings_.empty()) {
      AddBinding("", default_port_, Id_IPv4);
      if (MachineHasIPv6()) AddBinding("", default_port_, Id_IPv6);
    }
    BindAll();
    std::lock_guard lock(listeners_lock_);
    for (TIdSocketHandle& binding : bindings_) {
      if (::listen(binding.Handle, listen_queue_) != 0) {
        const int error = errno;
        throw ESocketError(error, std::string("Could not listen on socket. ") + std::strerror(error));
      }
      auto listener = std::make_unique<Listener>();
      listener->binding = &binding;
      listener->number = static_cast<int>(listeners_.size()) + 1;
      Listener& ref = *listener;
      listeners_.push_back(std::move(listener));
      ref.thread = std::thread([this, &ref] { ListenerLoop(ref); });
    }
    active_ = true;
  } catch (...) {
    Deactivate();
    throw;
  }
}

void TIdCustomTCPServer::Deactivate() {
  BeforeDeactivate();
  active_ = false;
  std::lock_guard lock(listeners_lock_);
  // Listeners and waiting threads: the shut-down socket wakes every wait.
  for (auto& listener : listeners_) {
    listener->stop = true;
    if (listener->binding->Handle >= 0) ::shutdown(listener->binding->Handle, SHUT_RDWR);
    std::lock_guard workers_lock(listener->lock);
    listener->no_idle_worker.notify_all();
  }
  for (auto& listener : listeners_)
    if (listener->thread.joinable()) listener->thread.join();
  // Live connections: closing them ends blocked reads and writes.
  for (auto& listener : listeners_) {
    std::lock_guard workers_lock(listener->lock);
    for (Worker& worker : listener->workers) {
      std::lock_guard current_lock(worker.current_lock);
      if (worker.current) worker.current->Connection().Transport().Abort();
    }
  }
  // The threads end when their connections have.
  for (auto& listener : listeners_) {
    std::list<Worker> workers;
    {
      std::lock_guard workers_lock(listener->lock);
      workers.swap(listener->workers);
    }
    for (Worker& worker : workers)
      if (worker.thread.joinable()) worker.thread.join();
  }
  listeners_.clear();
  for (TIdSocketHandle& binding : bindings_) CloseListening(binding);
  AfterDeactivate();
}

void TIdCustomTCPServer::ReportListenError(int error) {
  if (OnListenException)
    Quietly([&] { OnListenException(ESocketError(error, std::string("Accept failed. ") + std::strerror(error))); });
}

void TIdCustomTCPServer::ListenerLoop(Listener& listener) {
  // Thread names are for debuggers only.
  const std::string name = "Listener #" + std::to_string(listener.number);
  ::pthread_setname_np(::pthread_self(), name.c_str());
  std::unique_lock lock(listener.lock);
  while (!listener.stop) {
    if (listener.idle.load() == 0) {
      try {
        StartWorker(listener);
      } catch (const std::exception& e) {
        if (OnListenException) Quietly([&] { OnListenException(e); });
      }
    }
    listener.no_idle_worker.wait_for(lock, kListenSlice,
                                     [&] { return listener.stop || listener.idle.load() == 0; });
    // Threads that ended after standing idle.
    for (auto it = listener.workers.begin(); it != listener.workers.end();) {
      if (it->finished) {
        it->thread.join();
        it = listener.workers.erase(it);
      } else {
        ++it;
      }
    }
  }
}

// Called with the listener's lock held. The new thread counts as waiting
// from the start, so the listener does not start another one for it.
void TIdCustomTCPServer::StartWorker(Listener& listener) {
  Worker& worker = listener.workers.emplace_back();
  ++listener.idle;
  try {
    worker.thread = std::thread([this, &listener, &worker] { WorkerLoop(listener, worker); });
  } catch (...) {
    --listener.idle;
    listener.workers.pop_back();
    throw;
  }
}

void TIdCustomTCPServer::LeaveIdle(Listener& listener) {
  if (listener.idle.fetch_sub(1) == 1) {
    // The last waiting thread is taken: the listener starts another.
    std::lock_guard lock(listener.lock);
    listener.no_idle_worker.notify_one();
  }
}

void TIdCustomTCPServer::WorkerLoop(Listener& listener, Worker& self) {
  ::pthread_setname_np(::pthread_self(), "User");
  const int listen_fd = listener.binding->Handle;
  auto idle_since = std::chrono::steady_clock::now();
  for (;;) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      if (listener.stop) break;
      if (error == EAGAIN || error == EWOULDBLOCK) {
        // A slice went by without a connection. A thread idle for long ends,
        // unless it is the last one waiting.
        if (std::chrono::steady_clock::now() - idle_since < kIdleThreadLifetime) continue;
        int idle = listener.idle.load();
        while (idle > 1 && !listener.idle.compare_exchange_weak(idle, idle - 1)) {
        }
        if (idle > 1) {
          std::lock_guard lock(listener.lock);
          self.finished = true;
          return;
        }
        continue;
      }
      if (error == EINTR || error == ECONNABORTED) continue;
      ReportListenError(error);
      // Out of descriptors or memory: give running connections time to end.
      ::poll(nullptr, 0, static_cast<int>(kListenSlice.count() / 5));
      continue;
    }
    LeaveIdle(listener);
    if (max_connections_ > 0 && live_.load() >= static_cast<size_t>(max_connections_)) {
      ::close(fd);
    } else {
      ++live_;
      RunConnection(listener, self, fd, peer);
      --live_;
    }
    ++listener.idle;
    idle_since = std::chrono::steady_clock::now();
  }
  --listener.idle;
  std::lock_guard lock(listener.lock);
  self.finished = true;
}

void TIdCustomTCPServer::RunConnection(Listener& listener, Worker& self, int fd,
                                       const sockaddr_storage& peer) {
  std::string ip;
  int port = 0;
  PeerText(peer, ip, port);
  TIdSocketTransport transport(fd, read_timeout_ms_);
  TIdContext context(transport, std::move(ip), port, listener.binding);
  {
    std::lock_guard lock(self.current_lock);
    self.current = &context;
    // A stop that has already looked at this thread will not close it.
    if (listener.stop) transport.Abort();
  }
  try {
    if (OnConnect) OnConnect(context);
    DoExecute(context);
  } catch (const std::exception& e) {
    if (OnException) Quietly([&] { OnException(context, e); });
  } catch (...) {
  }
  Quietly([&] { context.Connection().Disconnect(); });
  if (OnDisconnect) Quietly([&] { OnDisconnect(context); });
  std::lock_guard lock(self.current_lock);
  self.current = nullptr;
}

}  // namespace qv
