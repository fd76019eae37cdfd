// TCP ports for tests: one that was free a moment ago, and one held by a
// socket of the test's own so that nobody else takes it meanwhile.
#pragma once

namespace qv::test {

// A loopback port that was free a moment ago.
int FreePort();

class HeldPort {
 public:
  enum class Use { kBound, kListening };

  // Binds address (IPv4) at port, 0 for one the system picks, and listens
  // when asked; throws std::runtime_error when that fails.
  explicit HeldPort(Use use = Use::kBound, const char* address = "127.0.0.1", int port = 0);
  ~HeldPort() { Release(); }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

  int Port() const { return port_; }
  // Lets the port go before the object does.
  void Release();

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace qv::test
