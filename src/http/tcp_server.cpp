#include "http/tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "http/exceptions.h"
#include "http/socket_transport.h"

namespace qv {

namespace {

constexpr int kListenSliceMs = 250;

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
void BindOne(TIdSocketHandle& binding, ReuseSocketMode reuse) {
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
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
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

}  // namespace

TIdCustomTCPServer::TIdCustomTCPServer()
    : pool_([this](PendingConnection& job) { RunConnection(job); }) {}

TIdCustomTCPServer::~TIdCustomTCPServer() { StopServer(); }

void TIdCustomTCPServer::StopServer() { SetActive(false); }

TIdSocketHandle& TIdCustomTCPServer::AddBinding(std::string ip, int port, IPFamily version) {
  TIdSocketHandle& binding = bindings_.emplace_back();
  binding.IP = std::move(ip);
  binding.Port = port;
  binding.IPVersion = version;
  return binding;
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
      BindOne(binding, reuse_socket_);
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
  {
    std::lock_guard lock(listeners_lock_);
    for (auto& listener : listeners_) {
      listener->stop = true;
      // Wakes the listener from its wait at once.
      if (listener->binding->Handle >= 0) ::shutdown(listener->binding->Handle, SHUT_RDWR);
    }
    for (auto& listener : listeners_)
      if (listener->thread.joinable()) listener->thread.join();
    listeners_.clear();
    for (TIdSocketHandle& binding : bindings_) CloseListening(binding);
  }
  {
    std::lock_guard lock(contexts_lock_);
    closing_contexts_ = true;
    for (TIdContext* c = contexts_; c != nullptr; c = c->next_) c->Connection().Transport().Abort();
  }
  pool_.Stop();
  {
    std::lock_guard lock(contexts_lock_);
    closing_contexts_ = false;
  }
  AfterDeactivate();
}

void TIdCustomTCPServer::ListenerLoop(Listener& listener) {
  const int fd = listener.binding->Handle;
  while (!listener.stop) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, kListenSliceMs);
    if (listener.stop) break;
    if (ready <= 0) continue;
    for (;;) {
      PendingConnection job;
      socklen_t length = sizeof job.peer;
      job.fd = ::accept4(fd, reinterpret_cast<sockaddr*>(&job.peer), &length, SOCK_CLOEXEC);
      if (job.fd < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINVAL) break;
        if (error == EINTR || error == ECONNABORTED) continue;
        if (OnListenException) {
          try {
            OnListenException(ESocketError(error, std::string("Accept failed. ") + std::strerror(error)));
          } catch (...) {
          }
        }
        if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
          ::poll(nullptr, 0, 50);  // out of resources: let connections end first
        break;
      }
      if (max_connections_ > 0 && live_.load() >= static_cast<size_t>(max_connections_)) {
        ::close(job.fd);
        continue;
      }
      job.binding = listener.binding;
      ++live_;
      try {
        pool_.Submit(job);
      } catch (const std::exception& e) {
        --live_;
        ::close(job.fd);
        if (OnListenException) {
          try {
            OnListenException(e);
          } catch (...) {
          }
        }
      }
    }
  }
}

void TIdCustomTCPServer::AddContext(TIdContext& context) {
  std::lock_guard lock(contexts_lock_);
  context.next_ = contexts_;
  if (contexts_) contexts_->prev_ = &context;
  contexts_ = &context;
  if (closing_contexts_) context.Connection().Transport().Abort();
}

void TIdCustomTCPServer::RemoveContext(TIdContext& context) {
  std::lock_guard lock(contexts_lock_);
  if (context.prev_)
    context.prev_->next_ = context.next_;
  else
    contexts_ = context.next_;
  if (context.next_) context.next_->prev_ = context.prev_;
  context.prev_ = context.next_ = nullptr;
}

void TIdCustomTCPServer::RunConnection(PendingConnection& job) {
  std::string ip;
  int port = 0;
  PeerText(job.peer, ip, port);
  {
    TIdSocketTransport transport(job.fd, read_timeout_ms_);
    TIdContext context(transport, std::move(ip), port, job.binding);
    AddContext(context);
    try {
      if (OnConnect) OnConnect(context);
      DoExecute(context);
    } catch (const std::exception& e) {
      if (OnException) {
        try {
          OnException(context, e);
        } catch (...) {
        }
      }
    } catch (...) {
    }
    try {
      context.Connection().Disconnect();
    } catch (...) {
    }
    if (OnDisconnect) {
      try {
        OnDisconnect(context);
      } catch (...) {
      }
    }
    RemoveContext(context);
  }
  --live_;
}

}  // namespace qv
