// The engine's request path alone, without sockets: a keep-alive connection
// over memory carries a stream of requests (browser-like GETs with a session
// cookie, form POSTs, chunked POSTs), served by ServeConnection with a
// fixed-answer handler and sessions on. Prints requests per second and the
// nanoseconds each request takes, for each kind (the best of seven rounds).
//   qv_http_request_path_bench [REQUESTS [--old]]   (default 100000 of each kind;
//                                                   --old: only the kinds any engine reads)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/http_server.h"

namespace {

// Fixed input handed out in pieces of at most 32 KiB; output counted only.
class MemoryTransport final : public qv::Transport {
 public:
  explicit MemoryTransport(const std::string& input) : input_(input) {}
  size_t Receive(char* buffer, size_t count) override {
    const size_t n = std::min({count, size_t{32768}, input_.size()});
    input_.copy(buffer, n);
    input_.remove_prefix(n);
    return n;
  }
  void Send(const std::string_view* parts, size_t count) override {
    for (size_t i = 0; i < count; ++i) written += parts[i].size();
  }
  void Close(bool) override {}
  size_t written = 0;

 private:
  std::string_view input_;
};

std::string Repeat(const std::string& request, int count, const std::string& last) {
  std::string out;
  out.reserve(request.size() * static_cast<size_t>(count) + last.size());
  for (int i = 1; i < count; ++i) out += request;
  return out + last;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int kRounds = 7;
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  qv::HttpServer::Events events;
  const std::string page(2048, 'p');
  events.on_command_get = [&](qv::ConnectionContext*, qv::Request&, qv::Response& response) {
    response.content_text = page;
  };
  qv::HttpServer server(std::move(events));
  server.SetKeepAlive(true);
  server.SetKeepAliveByDefault(true);
  server.SetSessionState(true);
  server.SetAutoStartSession(true);
  server.SetSessionTimeOut(600000);

  // A visitor's session, found by every request.
  const std::string session = server.SessionList().CreateUniqueSession("10.0.0.1")->SessionID();
  const std::string browser =
      "GET /propinfo?PROPID=1234 HTTP/1.1\r\n"
      "Host: quorvale.example\r\n"
      "User-Agent: Mozilla/5.0 (X11; Linux x86_64) Gecko/20100101 Firefox/115.0\r\n"
      "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
      "Accept-Language: en-US,en;q=0.5\r\n"
      "Accept-Encoding: gzip, deflate\r\n"
      "Referer: http://quorvale.example/list?PAGE=2\r\n"
      "Cookie: IDHTTPSESSIONID=" + session + "\r\n"
      "Connection: keep-alive\r\n"
      "Upgrade-Insecure-Requests: 1\r\n\r\n";
  const std::string form_body = "uName=someone&uPass=secret&AreaName=NORTH&ADDRESS=12+Main+St";
  const std::string form = "POST /dologin HTTP/1.1\r\nHost: quorvale.example\r\nCookie: IDHTTPSESSIONID=" + session +
                           "\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: " + std::to_string(form_body.size()) + "\r\n\r\n" + form_body;
  const std::string chunked = "POST /dologin HTTP/1.1\r\nHost: quorvale.example\r\nCookie: IDHTTPSESSIONID=" +
                              session + "\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\n"
                              "Transfer-Encoding: chunked\r\n\r\n"
                              "1e\r\n" + form_body.substr(0, 30) + "\r\n" +
                              "1e\r\n" + form_body.substr(30, 30) + "\r\n0\r\n\r\n";
  struct Kind {
    const char* name;
    std::string request;
    bool old_engine_too;
  } const kinds[] = {{"browser GET", browser, true}, {"form POST", form, true}, {"chunked POST", chunked, false}};
  const bool only_old = argc > 2 && std::string(argv[2]) == "--old";
  for (const Kind& kind : kinds) {
    if (only_old && !kind.old_engine_too) continue;
    // The last request closes the connection, which ends the loop.
    std::string last = kind.request;
    last.insert(last.find("\r\n") + 2, "Connection: close\r\n");
    const std::string input = Repeat(kind.request, count, last);
    // The best of a few rounds: the machine is shared, and only the fastest
    // round shows what the code costs.
    double best = 1e9;
    size_t written = 0;
    for (int round = 0; round < kRounds; ++round) {
      MemoryTransport transport(input);
      qv::ConnectionContext context(transport, "10.0.0.1", 1234);
      const auto start = std::chrono::steady_clock::now();
      server.ServeConnection(context);
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      written = transport.written;
    }
    std::printf("%-13s %8d requests  %9.0f requests/s  %6.0f ns each  (%zu bytes out; best of %d)\n", kind.name,
                count, count / best, best * 1e9 / count, written, kRounds);
  }
  server.SessionList().Clear();
  return 0;
}
