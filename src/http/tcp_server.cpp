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
#include "http/front.h"

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
  // Non-blocking: the front accepts until nothing is waiting.
  const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
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
    // (a silent one for about a second), so the front reads it at once.
    const int seconds = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    const int error = errno;
    ::close(fd);
    const std::string port = std::to_string(binding.Port);
    if (error == EACCES)
      throw ECouldNotBindSocket("Could not bind socket. Permission denied for port " + port +
                                ": a port below 1024 needs root or the CAP_NET_BIND_SERVICE "
                                "capability (or choose a port of 1024 or more).");
    if (error == EADDRNOTAVAIL)
      throw ECouldNotBindSocket("Could not bind socket. Address " + binding.IP +
                                " is not an address of this machine.");
    throw ECouldNotBindSocket();
  }
  if (binding.Port == 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    binding.Port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                           : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  binding.Handle = fd;
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
  std::lock_guard lock(front_lock_);
  return front_ ? front_->WorkerThreads() : 0;
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
      if (tls_port_ > 0) {
        AddBinding("", tls_port_, Id_IPv4).Tls = true;
        if (MachineHasIPv6()) AddBinding("", tls_port_, Id_IPv6).Tls = true;
      }
    }
    for (const TIdSocketHandle& binding : bindings_) {
      if (binding.Tls && !tls_context_)
        throw ETlsSetupError("TLS: a TLS listener needs a certificate and a key");
    }
    BindAll();
    std::vector<std::pair<int, const TIdSocketHandle*>> listening;
    for (TIdSocketHandle& binding : bindings_) {
      if (::listen(binding.Handle, listen_queue_) != 0) {
        const int error = errno;
        throw ESocketError(error, std::string("Could not listen on socket. ") + std::strerror(error));
      }
      listening.emplace_back(binding.Handle, &binding);
    }
    TIdFrontSettings settings;
    settings.read_timeout_ms = read_timeout_ms_;
    settings.request_timeout_ms = request_timeout_ms_;
    settings.keep_alive_timeout_ms = keep_alive_timeout_ms_;
    settings.max_connections = max_connections_;
    settings.max_per_address = max_per_address_;
    settings.workers = workers_;
    settings.limits = Limits();
    settings.hand_over_at_head = HeadsGoToWorkers();
    settings.uncapped = [this](const std::string& ip) { return UncappedAddress(ip); };
    settings.tls = tls_context_;
    settings.handshake_timeout_ms = handshake_timeout_ms_;
    settings.max_handshakes_per_address = max_handshakes_per_address_;
    TIdFrontHooks hooks;
    hooks.serve = [this](TIdContext& context) { return DoRequest(context); };
    hooks.on_connect = OnConnect;
    hooks.on_disconnect = OnDisconnect;
    hooks.on_exception = OnException;
    hooks.on_listen_exception = OnListenException;
    draining_->store(false);
    auto front = std::make_shared<TIdFront>(std::move(settings), std::move(hooks), live_, draining_);
    front->Start(listening);
    // The front owns the listening sockets from here on.
    for (TIdSocketHandle& binding : bindings_) binding.Handle = -1;
    {
      std::lock_guard lock(front_lock_);
      front_ = std::move(front);
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
  std::shared_ptr<TIdFront> front;
  {
    std::lock_guard lock(front_lock_);
    front = front_;
  }
  if (front) front->Stop(stop_timeout_ms_);
  {
    std::lock_guard lock(front_lock_);
    front_.reset();
  }
  for (TIdSocketHandle& binding : bindings_) CloseListening(binding);
  draining_->store(false);
  AfterDeactivate();
}

}  // namespace qv
