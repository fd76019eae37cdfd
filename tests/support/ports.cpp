// Ports held by plain sockets.
#include "ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qv::test {

int FreePort() { return HeldPort().Port(); }

HeldPort::HeldPort(Use use, const char* address, int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address, &a.sin_addr);
  socklen_t length = sizeof a;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      (use == Use::kListening && ::listen(fd_, 16) != 0) ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    const std::string error = std::string(address) + " port " + std::to_string(port) + ": " +
                              std::strerror(errno);
    Release();
    throw std::runtime_error(error);
  }
  port_ = ntohs(a.sin_port);
}

void HeldPort::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace qv::test
