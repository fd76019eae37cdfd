// Fuzz target: arbitrary bytes as the input of one connection, run through the
// whole request loop (parsing, sessions, handler, response writing) on a
// memory transport, plus the decoders on their own. Built by run_fuzz.sh.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/base64.h"
#include "http/exceptions.h"
#include "http/http_date.h"
#include "http/http_server.h"
#include "http/uri.h"
#include "http/url_codec.h"

namespace {

// Hands the input out in pieces of a fixed size; collects (and drops) output.
class MemoryTransport final : public qv::TIdTransport {
 public:
  MemoryTransport(std::string_view input, size_t piece) : input_(input), piece_(piece) {}
  size_t Receive(char* buffer, size_t count) override {
    const size_t n = std::min({count, piece_, input_.size()});
    input_.copy(buffer, n);
    input_.remove_prefix(n);
    return n;
  }
  void Send(const std::string_view* parts, size_t count) override {
    for (size_t i = 0; i < count; ++i) written_ += parts[i].size();
  }
  void Close(bool) override {}

 private:
  std::string_view input_;
  size_t piece_;
  size_t written_ = 0;
};

void Handler(qv::TIdContext*, qv::TIdHTTPRequestInfo& request, qv::TIdHTTPResponseInfo& response) {
  std::string text = request.Document + request.Params.Values("PAGE") + request.Host;
  if (request.Session) {
    request.Session->SetContentValue("LoggedIn", request.Params.Values("x"));
    text += request.Session->ContentValue("LoggedIn");
  }
  if (request.Document.find("/err") != std::string::npos) throw qv::Exception("boom");
  if (request.Document.find("/stream") != std::string::npos)
    response.ContentStream = std::make_unique<qv::TMemoryContentStream>(text);
  else if (request.Document.find("/404") != std::string::npos)
    response.SetResponseNo(404);
  else
    response.ContentText = text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  // The decoders on their own.
  qv::URLDecode(input);
  qv::TNameValueList params;
  qv::DecodeParams(input, params);
  params.Values("a");
  qv::TIdURI::Parse(input);
  qv::ParseHttpDate(input);
  qv::DecodeBase64(input);

  // The whole request loop.
  qv::TIdHTTPServer server;
  server.SetKeepAlive(flags & 1);
  server.SetParseParams(!(flags & 2));
  server.SetSessionState(flags & 4);
  server.SetAutoStartSession(true);
  server.OnCommandGet = Handler;
  if (flags & 8) server.OnCommandOther = Handler;
  server.OnSessionStart = [](qv::TIdHTTPSession& s) { s.Content().SetValue("LoggedIn", "False"); };
  MemoryTransport transport(input, 1 + (flags >> 4) * 97);
  qv::TIdContext context(transport, "127.0.0.1", 1);
  try {
    server.ServeConnection(context);
  } catch (const qv::EHttpEngineError&) {
    // Malformed input ends the connection: expected.
  }
  return 0;
}
