// The tests' HTTP client: raw request bytes sent over TCP to a server on this
// machine, and the answer read back as bytes and split into its parts.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qv::test {

// How long a read waits for the next byte before it gives up: a safety net
// so that a broken server cannot hang the run.
inline constexpr std::chrono::milliseconds kSilenceLimit{20000};

// An answer as received, and its parts.
struct HttpAnswer {
  std::string raw;          // every byte received
  int status = 0;           // 0 unless an "HTTP/1.1 " status line and a blank line came
  std::string status_line;  // "HTTP/1.1 200 OK"; empty when no blank line came
  std::string headers;      // the header lines after the status line, each ending in CR LF
  std::string body;         // what follows the blank line
  bool complete = false;    // a status, and a body of exactly Content-Length bytes

  // The value of the first header line of that name (exact case), or empty.
  std::string Header(std::string_view name) const;
};

HttpAnswer ParseAnswer(std::string raw);

// The head of an answer with the CR LF of its last header line (all of it
// when no blank line came), and what follows the blank line (or nothing).
std::string HeadOf(std::string_view answer);
std::string BodyOf(std::string_view answer);

// A TCP connection to a server on this machine; closed with the object.
class LoopbackClient {
 public:
  // Connects to host:port (an IPv4 or IPv6 address), from source_ip (IPv4)
  // when given; throws std::runtime_error when that fails.
  explicit LoopbackClient(int port, const char* host = "127.0.0.1",
                          const char* source_ip = nullptr);
  // The same, nothing when the connection cannot be made.
  static std::optional<LoopbackClient> TryConnect(int port, const char* host = "127.0.0.1",
                                                  const char* source_ip = nullptr);
  ~LoopbackClient();
  LoopbackClient(LoopbackClient&& other) noexcept;
  LoopbackClient& operator=(LoopbackClient&& other) noexcept;
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  // Sends every byte; false when the server took fewer (it may close early:
  // what it answered can still be read).
  bool Send(std::string_view bytes);
  // Ends what the client sends; the server reads the end of its input.
  void HalfClose();

  // Everything up to the server's close (or a reset), or up to `silence`
  // without a byte.
  std::string ReadAll(std::chrono::milliseconds silence = kSilenceLimit);
  // Reads until text has come (or the server closes), nothing past it.
  std::string ReadUntil(std::string_view text);
  // Reads count bytes, fewer when the server closes first.
  std::string ReadExactly(size_t count);
  // One answer on a kept connection: its head, then Content-Length bytes of
  // body; nothing of a following answer is read.
  HttpAnswer ReadAnswer();
  // Whether the server closes the connection (or resets it) within limit;
  // what it sends meanwhile is appended to received.
  bool ClosedWithin(std::chrono::milliseconds limit, std::string* received = nullptr);

  int fd() const { return fd_; }
  // Hands the descriptor to the caller, who closes it.
  int Release();

 private:
  struct Connected {};
  LoopbackClient(Connected, int fd) : fd_(fd) {}

  int fd_ = -1;
};

struct ExchangeOptions {
  bool half_close = false;          // the client sends nothing more after the request
  const char* source_ip = nullptr;  // the client's IPv4 address, or the system's choice
  std::chrono::milliseconds silence = kSilenceLimit;  // the longest wait for the next byte
};

// Sends request on a new connection to 127.0.0.1:port and reads until the
// server closes; throws std::runtime_error when the connection fails.
HttpAnswer Exchange(int port, std::string_view request, const ExchangeOptions& options = {});
// The same, nothing when the connection cannot be made (the server is gone).
std::optional<HttpAnswer> TryExchange(int port, std::string_view request,
                                      const ExchangeOptions& options = {});

// Requests as a browser on 127.0.0.1 sends them, with the cookie when given.
std::string GetRequest(const std::string& path, const std::string& cookie = "");
std::string PostFormRequest(const std::string& path, const std::string& form,
                            const std::string& cookie = "");
// The "name=value" of the answer's Set-Cookie header, for the next request.
std::string SessionCookie(const HttpAnswer& answer);

}  // namespace qv::test
