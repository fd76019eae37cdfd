// Fuzz target: arbitrary bytes as the input of one connection, run through
// the front's steps for a connection (receive and frame, serve on the worker
// side, flush held-back output, linger) over a stream transport that hands
// the input out in pieces with waits between them and holds output back at
// times; the whole request path runs: parsing, sessions (with a small
// session cap), handler, answer writing. The decoders also run on their own,
// and the request parser alone must come to the same outcome whether the
// bytes come whole or in pieces. Built by run_fuzz.sh.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "http/base64.h"
#include "http/exceptions.h"
#include "http/front_connection.h"
#include "http/http_date.h"
#include "http/http_server.h"
#include "http/request_memory.h"
#include "http/request_parser.h"
#include "http/uri.h"
#include "http/url_codec.h"

namespace {

// Hands the input out in pieces of a fixed size, with a "nothing yet" between
// pieces when asked; holds output back for a few flushes when asked.
class StreamTransport final : public qv::Transport {
 public:
  StreamTransport(std::string_view input, size_t piece, bool waits, int holds)
      : input_(input), piece_(piece), waits_(waits), holds_(holds) {}
  size_t Receive(char* buffer, size_t count) override {
    const size_t n = std::min({count, piece_, input_.size()});
    input_.copy(buffer, n);
    input_.remove_prefix(n);
    return n;
  }
  ptrdiff_t TryReceive(char* buffer, size_t count) override {
    if (waits_ && (waited_ = !waited_) && !input_.empty()) return -1;
    if (input_.empty() && !closed_) {
      closed_ = true;
      return -1;  // one wait before the peer's close
    }
    return static_cast<ptrdiff_t>(Receive(buffer, count));
  }
  void Send(const std::string_view* parts, size_t count) override {
    for (size_t i = 0; i < count; ++i) written_ += parts[i].size();
    if (holds_ > 0) pending_ = holds_;
  }
  bool OutputPending() override { return pending_ > 0; }
  bool FlushAvailable() override { return pending_ == 0 || --pending_ == 0; }
  bool InputPending() override { return !input_.empty(); }
  void Close(bool) override {}

 private:
  std::string_view input_;
  size_t piece_;
  bool waits_;
  bool waited_ = false;
  bool closed_ = false;
  int holds_;
  int pending_ = 0;
  size_t written_ = 0;
};

// What the parser made of the input: every request it took, in order.
std::string ParseAll(std::string_view input, size_t piece) {
  qv::RequestLimits limits;
  limits.max_line = 256;
  limits.max_head = 1024;
  limits.max_header_lines = 8;
  limits.max_body = 512;
  limits.max_chunk_line = 16;
  limits.max_chunk_framing = 128;
  limits.max_trailers = 64;
  qv::RequestParser parser(limits);
  std::string unread, outcome;
  size_t from = 0;
  for (;;) {
    const size_t to = std::min(input.size(), from + piece);
    unread.append(input.substr(from, to - from));
    from = to;
    unread.erase(0, parser.Parse(unread, from == input.size()));
    const auto state = parser.State();
    if (state == qv::RequestParser::Status::Incomplete) {
      if (from == input.size()) return outcome + "|incomplete";
      continue;
    }
    const qv::ParsedRequest& r = parser.Request();
    outcome += "|" + std::to_string(static_cast<int>(state)) + " " + std::to_string(parser.Refusal()) + " " +
               std::to_string(static_cast<int>(parser.GetFault())) + " " + r.request_line + " " +
               std::to_string(r.headers.Count()) + " " + r.body;
    if (state == qv::RequestParser::Status::Malformed || parser.Refusal() != 0) return outcome;
    parser.Reset();
  }
}

using FuzzServer = qv::HttpServer;

void Handler(qv::ConnectionContext*, qv::Request& request, qv::Response& response) {
  std::string text = request.document + request.params.Values("PAGE") + request.host;
  if (request.session) {
    request.session->SetContentValue("LoggedIn", request.params.Values("x"));
    text += request.session->ContentValue("LoggedIn");
  }
  if (request.document.find("/err") != std::string::npos) throw qv::Exception("boom");
  if (request.document.find("/stream") != std::string::npos)
    response.content_stream = std::make_unique<qv::MemoryContentStream>(text);
  else if (request.document.find("/404") != std::string::npos)
    response.SetResponseNo(404);
  else
    response.content_text = text;
}

// One connection through the front's steps, until its input and output are done.
void RunConnection(FuzzServer& server, std::string_view input, uint8_t flags,
                   const std::shared_ptr<qv::RequestMemory>& memory) {
  const size_t piece = 1 + ((flags >> 4) & 7) * 97;
  auto transport = std::make_unique<StreamTransport>(input, piece, flags & 0x80, (flags >> 5) & 1 ? 2 : 0);
  qv::FrontConnection connection(std::move(transport), "127.0.0.1", 1, nullptr, server.Limits());
  connection.Context().SetRequestMemory(memory);
  const auto serve = [&server](qv::ConnectionContext& context) { return server.ProcessRequest(context); };

  using Next = qv::FrontConnection::Next;
  const auto now = std::chrono::steady_clock::now();
  Next next = connection.Receive(now);
  // Each step takes input or output; the input is finite.
  for (size_t steps = 0; steps < 4 * input.size() + 64; ++steps) {
    if (next == Next::Wait) {
      next = connection.Receive(now);
    } else if (next == Next::Serve) {
      next = connection.Serve(serve, nullptr);
    } else if (next == Next::Flush) {
      next = connection.Flush();
    } else if (next == Next::Linger) {
      connection.StartLinger();
      while (!connection.Drain()) {
      }
      break;
    } else {
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  // The decoders on their own.
  qv::URLDecode(input);
  qv::NameValueList params;
  qv::DecodeParams(input, params);
  params.Values("a");
  qv::Uri::Parse(input);
  qv::ParseHttpDate(input);
  qv::DecodeBase64(input);

  // The parser alone: whole and in pieces, the same requests.
  if (ParseAll(input, input.size() + 1) != ParseAll(input, 1 + flags % 13)) __builtin_trap();

  // One connection through the front's steps.
  qv::HttpServer::Events events;
  events.on_command_get = Handler;
  if (flags & 8) events.on_command_other = Handler;
  events.on_session_start = [](qv::Session& s) { s.Content().SetValue("LoggedIn", "False"); };
  FuzzServer server(std::move(events));
  server.SetKeepAlive(flags & 1);
  server.SetKeepAliveByDefault(flags & 1);
  server.SetParseParams(!(flags & 2));
  server.SetSessionState(flags & 4);
  server.SetAutoStartSession(true);
  server.SessionList().max_sessions = 3;
  server.SessionList().on_session_expendable = [](const qv::Session& s) {
    return s.ContentValue("LoggedIn") != "True";
  };
  // Memory for requests: none to speak of for some inputs, plenty for others;
  // whatever happens, all of it is given back once the connection is gone.
  const auto memory = std::make_shared<qv::RequestMemory>(size % 2 ? size_t{1} << 20 : 64 + size);
  RunConnection(server, input, flags, memory);
  if (memory->Held() != 0) __builtin_trap();
  server.SessionList().Clear();
  return 0;
}
