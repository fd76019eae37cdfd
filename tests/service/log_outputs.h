// Real outputs for the log tests: a pipe (read, or left unread), and a
// datagram socket standing where the system log's socket would be.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace qv::test {

// A pipe whose ends close with it; its capacity as small as the system allows
// (a page) unless told otherwise.
class TestPipe {
 public:
  explicit TestPipe(int capacity = 4096) {
    if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    if (fds_[1] >= 0 && capacity > 0) fcntl(fds_[1], F_SETPIPE_SZ, capacity);
  }
  ~TestPipe() {
    CloseReadEnd();
    if (fds_[1] >= 0) close(fds_[1]);
  }
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;

  int ReadEnd() const { return fds_[0]; }
  int WriteEnd() const { return fds_[1]; }
  void CloseReadEnd() {
    if (fds_[0] >= 0) close(fds_[0]);
    fds_[0] = -1;
  }
  // Whatever waits in the pipe now.
  std::string Drain() const {
    std::string text;
    const int flags = fcntl(fds_[0], F_GETFL);
    fcntl(fds_[0], F_SETFL, flags | O_NONBLOCK);
    char buffer[65536];
    for (ssize_t n; (n = read(fds_[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    fcntl(fds_[0], F_SETFL, flags);
    return text;
  }

 private:
  int fds_[2] = {-1, -1};
};

// A datagram socket bound to a path of its own.
class DatagramReceiver {
 public:
  explicit DatagramReceiver(std::string path) : path_(std::move(path)) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    unlink(path_.c_str());
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~DatagramReceiver() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  DatagramReceiver(const DatagramReceiver&) = delete;
  DatagramReceiver& operator=(const DatagramReceiver&) = delete;

  bool Bound() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // The datagrams waiting now.
  std::vector<std::string> Drain() const {
    std::vector<std::string> messages;
    char buffer[65536];
    for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) >= 0;)
      messages.emplace_back(buffer, n);
    return messages;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace qv::test
