#include "http/tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
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

bool MachineHasIPv6() { return FileDescriptor(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0)).Valid(); }

// A binding's address in network byte order (the any-address when IP is
// empty); empty when IP is not an address of its family.
std::string AddressBytes(const Binding& binding) {
  const bool v6 = binding.ip_version == kIPv6;
  unsigned char bytes[16] = {};
  if (!binding.ip.empty() && ::inet_pton(v6 ? AF_INET6 : AF_INET, binding.ip.c_str(), bytes) != 1)
    return {};
  return std::string(reinterpret_cast<const char*>(bytes), v6 ? 16 : 4);
}

bool IsAnyAddress(const std::string& bytes) {
  return bytes.find_first_not_of('\0') == std::string::npos;
}

// Whether a listener of the running server serves a binding as it is: the
// same address, family and protocol, and the same port (or any port).
bool Serves(const Binding& running, const Binding& binding) {
  const std::string address = AddressBytes(binding);
  return !address.empty() && running.ip_version == binding.ip_version && running.tls == binding.tls &&
         AddressBytes(running) == address && (running.port == binding.port || binding.port == 0);
}

void Listen(int fd, int backlog) {
  if (::listen(fd, backlog) != 0) {
    const int error = errno;
    throw SocketError(error, std::string("Could not listen on socket. ") + std::strerror(error));
  }
}

// Creates, configures and binds the listening socket of one binding; a port
// of 0 becomes the one the system chose.
FileDescriptor BindOne(Binding& binding, bool defer_accept) {
  const int family = binding.ip_version == kIPv6 ? AF_INET6 : AF_INET;
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET) {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(binding.port));
    a->sin_addr.s_addr = htonl(INADDR_ANY);
    if (!binding.ip.empty() && ::inet_pton(AF_INET, binding.ip.c_str(), &a->sin_addr) != 1)
      throw BindError();
    length = sizeof(sockaddr_in);
  } else {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<uint16_t>(binding.port));
    a->sin6_addr = in6addr_any;
    if (!binding.ip.empty() && ::inet_pton(AF_INET6, binding.ip.c_str(), &a->sin6_addr) != 1)
      throw BindError();
    length = sizeof(sockaddr_in6);
  }
  // Non-blocking: the front accepts until nothing is waiting.
  FileDescriptor socket(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) throw BindError();
  const int fd = socket.Get();
  const int on = 1;
  // A stopped server must be able to listen again at once although its closed
  // connections linger in TIME_WAIT; on this system the option never lets two
  // listeners share a port.
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
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
    const std::string port = std::to_string(binding.port);
    if (error == EACCES)
      throw BindError("Could not bind socket. Permission denied for port " + port +
                                ": a port below 1024 needs root or the CAP_NET_BIND_SERVICE "
                                "capability (or choose a port of 1024 or more).");
    if (error == EADDRNOTAVAIL)
      throw BindError("Could not bind socket. Address " + binding.ip +
                                " is not an address of this machine.");
    // Which of the listeners it was, for the administrator to look for.
    throw BindError("Could not bind socket. Address and port are already in use: " +
                    BindingText(binding) + ".");
  }
  if (binding.port == 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    binding.port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                           : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return socket;
}

}  // namespace

std::string BindingText(const Binding& binding) {
  std::string ip = binding.ip;
  if (binding.ip_version == kIPv6)
    ip = "[" + (ip.empty() ? std::string("::") : ip) + "]";
  else if (ip.empty())
    ip = "0.0.0.0";
  return ip + ":" + std::to_string(binding.port);
}

bool BindingsOverlap(const Binding& a, const Binding& b) {
  if (a.ip_version != b.ip_version || a.port != b.port || a.port == 0) return false;
  const std::string x = AddressBytes(a), y = AddressBytes(b);
  return x == y || IsAnyAddress(x) || IsAnyAddress(y);
}

TcpServer::TcpServer(TcpHooks hooks) : hooks_(std::move(hooks)) {}

TcpServer::~TcpServer() { SetActive(false); }

Binding& TcpServer::AddBinding(std::string ip, int port, IpFamily version) {
  Binding& binding = bindings_.emplace_back();
  binding.ip = std::move(ip);
  binding.port = port;
  binding.ip_version = version;
  return binding;
}

size_t TcpServer::WorkerThreads() const {
  std::lock_guard lock(front_lock_);
  return front_ ? front_->WorkerThreads() : 0;
}

void TcpServer::SetActive(bool active) {
  std::lock_guard lock(active_lock_);
  if (active == active_) return;
  if (active)
    Activate();
  else
    Deactivate();
}

std::vector<FileDescriptor> TcpServer::BindAll() {
  // A binding that fails closes the ones bound before it, as the vector goes.
  std::vector<FileDescriptor> sockets;
  for (Binding& binding : bindings_) sockets.push_back(BindOne(binding, defer_accept_));
  return sockets;
}

void TcpServer::AddDefaultBindings() {
  if (!bindings_.empty()) return;
  AddBinding("", default_port_, kIPv4);
  if (MachineHasIPv6()) AddBinding("", default_port_, kIPv6);
  if (tls_port_ > 0) {
    AddBinding("", tls_port_, kIPv4).tls = true;
    if (MachineHasIPv6()) AddBinding("", tls_port_, kIPv6).tls = true;
  }
}

void TcpServer::CheckTls() const {
  for (const Binding& binding : bindings_) {
    if (binding.tls && !tls_context_)
      throw TlsSetupError("TLS: a TLS listener needs a certificate and a key");
  }
}

std::shared_ptr<Front> TcpServer::MakeFront() {
  FrontSettings settings;
  settings.read_timeout_ms = read_timeout_ms_;
  settings.request_timeout_ms = request_timeout_ms_;
  settings.keep_alive_timeout_ms = keep_alive_timeout_ms_;
  settings.max_connections = max_connections_;
  settings.max_per_address = max_per_address_;
  settings.workers = workers_;
  settings.limits = hooks_.limits ? hooks_.limits() : RequestLimits();
  request_memory_->SetLimit(max_request_memory_);
  settings.request_memory = request_memory_;
  settings.uncapped = hooks_.uncapped;
  settings.tls = tls_context_;
  settings.handshake_timeout_ms = handshake_timeout_ms_;
  settings.max_handshakes_per_address = max_handshakes_per_address_;
  FrontHooks hooks;
  hooks.serve = hooks_.serve;
  hooks.on_connect = hooks_.on_connect;
  hooks.on_exception = hooks_.on_exception;
  hooks.on_listen_exception = hooks_.on_listen_exception;
  return std::make_shared<Front>(std::move(settings), std::move(hooks), live_, draining_);
}

void TcpServer::Activate() {
  Call(hooks_.before_activate);
  try {
    AddDefaultBindings();
    CheckTls();
    std::vector<FileDescriptor> sockets = BindAll();
    for (const FileDescriptor& socket : sockets) Listen(socket.Get(), listen_queue_);
    draining_->store(false);
    auto front = MakeFront();
    front->Start(bindings_, std::move(sockets));
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

void TcpServer::Restart(int drain_ms) {
  std::lock_guard lock(active_lock_);
  if (!active_) return;
  std::shared_ptr<Front> old;
  {
    std::lock_guard guard(front_lock_);
    old = front_;
  }
  const std::vector<Binding> running = old->Listening();
  AddDefaultBindings();
  std::vector<Binding> listening = bindings_;
  // What is opened for the new front closes as the vector goes, or with the
  // front when it does not start.
  std::vector<FileDescriptor> sockets;
  std::shared_ptr<Front> front;
  auto close_new = [&] {
    // The bindings say again where the server listens.
    bindings_ = running;
    for (Binding& binding : bindings_) binding.handle = -1;
  };
  try {
    CheckTls();
    for (Binding& binding : listening) {
      binding.handle = -1;
      const Binding* same = nullptr;
      for (const Binding& r : running)
        if (!same && r.handle >= 0 && Serves(r, binding)) same = &r;
      // A listener that stays in the way of a new one: the system would
      // refuse the new one as long as the old one listens.
      for (const Binding& r : running) {
        if (&r != same && BindingsOverlap(r, binding))
          throw BindError("Could not bind socket. " + BindingText(binding) + " overlaps " +
                                    BindingText(r) +
                                    ", where the server listens now; a restart of the server moves it there.");
      }
      if (same) {
        // The same socket: connections queued on it are never refused.
        binding.port = same->port;
        sockets.emplace_back(::fcntl(same->handle, F_DUPFD_CLOEXEC, 0));
        if (!sockets.back().Valid()) {
          const int error = errno;
          throw SocketError(error, std::string("Could not keep the listening socket. ") + std::strerror(error));
        }
      } else {
        sockets.push_back(BindOne(binding, defer_accept_));
      }
      // Also the backlog of a kept socket, which may have changed.
      Listen(sockets.back().Get(), listen_queue_);
    }
    front = MakeFront();
    front->Start(listening, std::move(sockets));
  } catch (...) {
    close_new();
    throw;
  }
  // The new front owns its listening sockets from here on.
  for (size_t i = 0; i < bindings_.size(); ++i) bindings_[i].port = listening[i].port;
  Call(hooks_.before_restart);
  {
    std::lock_guard guard(front_lock_);
    front_ = front;
  }
  // The old front closes its listening sockets (the new one has its own
  // copies), hands over what waits, and finishes what runs.
  old->Stop(drain_ms, std::move(front));
}

void TcpServer::Deactivate() {
  Call(hooks_.before_deactivate);
  active_ = false;
  std::shared_ptr<Front> front;
  {
    std::lock_guard lock(front_lock_);
    front = front_;
  }
  if (front) front->Stop(stop_timeout_ms_);
  {
    std::lock_guard lock(front_lock_);
    front_.reset();
  }
  draining_->store(false);
  Call(hooks_.after_deactivate);
}

}  // namespace qv
