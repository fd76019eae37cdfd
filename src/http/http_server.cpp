#include "http/http_server.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "http/exceptions.h"
#include "http/failure_status.h"
#include "http/request_reader.h"
#include "http/response_writer.h"
#include "platform/ascii_text.h"

namespace qv {

namespace {

// The answer to a request that is not run: status, a small page naming it,
// and the connection closed (its input may not be read to its end).
void RefuseRequest(Response& response, int code) {
  response.SetResponseNo(code);
  response.SetCloseConnection(true);
  if (code == 431) response.response_text = "Request Header Fields Too Large";
  if (code == 501) response.custom_headers.SetValue("Allow", "GET, HEAD, POST");
  // The server had no memory left for the request: another try soon may find some.
  if (code == 503) response.custom_headers.SetValue("Retry-After", "5");
  response.content_text = "<HTML><BODY><B>" + std::to_string(code) + " " + response.response_text +
                         "</B></BODY></HTML>\r\n";
}

// Ends a connection whose input is malformed, with the failure that says how.
[[noreturn]] void RaiseMalformed(RequestParser::Fault fault) {
  switch (fault) {
    case RequestParser::Fault::NoBlank:
      throw BadRequestLine();
    case RequestParser::Fault::None:
    case RequestParser::Fault::CutShort:
      break;
  }
  throw ConnectionClosed();
}

// Parses on, waiting for input as needed, until the head (head_only) or the
// whole request is in. The front has usually parsed it all already.
void ReadRequest(BufferedIo& io, RequestParser& parser, bool head_only) {
  bool closed = false;
  for (;;) {
    io.Consume(parser.Parse(io.Unread(), closed));
    const RequestParser::Status status = parser.State();
    if (status == RequestParser::Status::Malformed) RaiseMalformed(parser.GetFault());
    if (status == RequestParser::Status::Complete || (head_only && parser.HeadDone())) return;
    if (closed) throw ConnectionClosed();
    closed = !io.ReceiveMore();
    // No memory for more of the request: it is answered 503.
    if (io.Starved()) parser.OutOfMemory();
  }
}

}  // namespace

HttpServer::HttpServer(Events events)
    : events_(std::move(events)),
      tcp_(TcpHooks{
          .serve = [this](ConnectionContext& context) { return ProcessRequest(context); },
          .uncapped = [this](const std::string& ip) { return UncappedAddress(ip); },
          .limits = [this] { return Limits(); },
          .before_activate = [this] { BeforeActivate(); },
          .before_deactivate = [this] { BeforeDeactivate(); },
          .before_restart = [this] { BeforeRestart(); },
          .after_deactivate = [this] { AfterDeactivate(); },
          .on_connect = events_.on_connect,
          .on_exception = events_.on_exception,
          .on_listen_exception = events_.on_listen_exception,
      }) {
  SetDefaultPort(80);
}

HttpServer::~HttpServer() { SetActive(false); }

void HttpServer::SetSessionState(bool on) {
  if (Active()) throw SessionStateLocked();
  session_state_ = on;
}

void HttpServer::BeforeActivate() {
  if (session_time_out_ != 0)
    sessions_.session_timeout = session_time_out_;
  else
    session_state_ = false;
  sessions_.on_session_start = events_.on_session_start;
  sessions_.on_session_end = events_.on_session_end;
  sessions_.on_session_expendable = events_.on_session_expendable;
  sessions_.max_sessions = max_sessions_;
  tls_port_in_force_ = TlsPort();
  proxies_in_force_.store(std::make_shared<const qv::TrustedProxies>(trusted_proxies_));
  if (session_store_) {
    // The store ends idle sessions itself.
    session_store_->SetIdleTimeout(session_time_out_);
    session_store_->SetMaxSessions(max_sessions_);
    // What every new session holds, which is not worth storing.
    Session blank("", "");
    if (events_.on_session_start) events_.on_session_start(blank);
    start_content_ = blank.Content().Text();
  }
  // With a store too: it holds the sessions not worth storing yet.
  if (session_state_) cleaner_ = std::make_unique<SessionCleaner>(sessions_);
}

void HttpServer::BeforeDeactivate() {
  // The cleaner's last pass ends every session; a request still running
  // keeps its own reference to its session until it has finished.
  cleaner_.reset();
  sessions_.Clear();
}

void HttpServer::BeforeRestart() {
  // Sessions are kept. Whether there are sessions, and where they are kept,
  // stays as it was at the activation.
  if (session_state_ && session_time_out_ != 0) {
    sessions_.SetLimits(session_time_out_, max_sessions_);
    if (session_store_) {
      session_store_->SetIdleTimeout(session_time_out_);
      session_store_->SetMaxSessions(max_sessions_);
    }
  }
  proxies_in_force_.store(std::make_shared<const qv::TrustedProxies>(trusted_proxies_));
  tls_port_in_force_ = TlsPort();
}

void HttpServer::AfterDeactivate() {
  // Sessions made by requests that were still running during the stop.
  sessions_.Clear();
}

bool HttpServer::UncappedAddress(const std::string& ip) const {
  const std::shared_ptr<const qv::TrustedProxies> proxies = proxies_in_force_.load();
  return !proxies->Empty() && proxies->Contains(ip);
}

RequestLimits HttpServer::Limits() const {
  RequestLimits limits;
  limits.max_header_lines = maximum_header_line_count_;
  return limits;
}

void HttpServer::ServeConnection(ConnectionContext& context) {
  context.Parser().SetLimits(Limits());
  context.SetRequestMemory(RequestMemory());
  while (ProcessRequest(context)) {
  }
}

namespace {

bool OverTls(ConnectionContext& context) { return context.Binding() && context.Binding()->tls; }

// The session cookie of a new session or identifier: path "/", kept from
// scripts, sent along from other sites only on top-level navigation, and
// over TLS only when it came over TLS.
void AddSessionCookie(Response& response, const Session& session, bool tls) {
  response.cookies.Remove(kSessionCookieName);
  Cookie& cookie = response.cookies.Add(kSessionCookieName, session.SessionID());
  cookie.path = "/";
  cookie.http_only = true;
  cookie.same_site = "Lax";
  cookie.secure = tls;
}

}  // namespace

void HttpServer::FindSession(ConnectionContext& context, Request& request,
                                Response& response) {
  SessionPtr session;
  if (session_state_) {
    const bool tls = OverTls(context);
    // One look-up, however many session cookies came: of the first few
    // with a well-formed identifier (no other text names a session).
    std::vector<std::string> candidates;
    for (const Cookie& cookie : request.cookies) {
      if (!ascii::EqualsNoCase(cookie.cookie_name, kSessionCookieName)) continue;
      if (candidates.size() >= kMaxSessionCandidates || !IsSessionId(cookie.value)) continue;
      const bool repeated = std::any_of(candidates.begin(), candidates.end(), [&](const std::string& id) {
        return ascii::EqualsNoCase(id, cookie.value);
      });
      if (!repeated) candidates.push_back(cookie.value);
    }
    if (!candidates.empty()) {
      if (session_store_) session = session_store_->Find(candidates, request.remote_ip, tls);
      if (!session) session = sessions_.FindFirst(candidates, request.remote_ip, tls);
    }
    if (!session && auto_start_session_) {
      session = sessions_.CreateUniqueSession(request.remote_ip, tls);
      AddSessionCookie(response, *session, tls);
    }
  }
  request.session = session;
  response.session = std::move(session);
}

void HttpServer::RenewSession(ConnectionContext& context, Request& request, Response& response) {
  const SessionPtr old = request.session;
  const bool tls = OverTls(context);
  SessionPtr renewed;
  if (session_store_ && WorthStoring(*old)) {
    do {
      renewed = std::make_shared<Session>(GetRandomString(kSessionIdLength), old->RemoteHost(), tls);
      renewed->CopyContentFrom(*old);
    } while (!session_store_->Add(*renewed));
  } else {
    renewed = sessions_.CreateCopy(*old, tls);
  }
  if (old->Stored())
    session_store_->Remove(*old);
  else
    sessions_.Remove(*old);
  AddSessionCookie(response, *renewed, tls);
  request.session = renewed;
  response.session = std::move(renewed);
}

void HttpServer::KeepSession(ConnectionContext& context, Request& request, Response& response,
                             const std::string& content_before) {
  Session& session = *request.session;
  if (response.renew_session) return RenewSession(context, request, response);
  if (!session_store_) return;
  if (session.Stored()) {
    if (session.ContentText() != content_before) session_store_->Save(session);
  } else if (WorthStoring(session)) {
    // Its identifier is taken in the store (practically never): it moves.
    if (!session_store_->Add(session)) return RenewSession(context, request, response);
    sessions_.Remove(session);
  }
}

bool HttpServer::WorthStoring(const Session& session) const {
  return session.ContentText() != start_content_;
}

bool HttpServer::RedirectsToTls(ConnectionContext& context) const {
  if (!redirect_to_tls_ || OverTls(context)) return false;
  // A trusted proxy speaks plain HTTP to the server whatever its visitor spoke.
  const std::shared_ptr<const qv::TrustedProxies> proxies = proxies_in_force_.load();
  return proxies->Empty() || !proxies->Contains(context.PeerIP());
}

namespace {

// The host of a "Host" value without its port, when it is a plain name or
// address (letters, digits, dots, hyphens; an IPv6 address in brackets).
std::optional<std::string> HostWithoutPort(std::string_view host) {
  std::string_view name = host;
  if (!name.empty() && name.front() == '[') {
    const size_t close = name.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    name = name.substr(0, close + 1);
    if (name.find_first_not_of("[]0123456789abcdefABCDEF:.") != std::string_view::npos) return std::nullopt;
  } else {
    name = name.substr(0, name.find(':'));
    if (name.empty() ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") !=
            std::string_view::npos)
      return std::nullopt;
  }
  return std::string(name);
}

}  // namespace

void HttpServer::AnswerWithRedirect(const Request& request, const std::string& target,
                                    Response& response) const {
  const int port = tls_port_in_force_.load();
  const std::optional<std::string> host = HostWithoutPort(request.host);
  if (!host || port == 0 || target.empty() || target.front() != '/') {
    RefuseRequest(response, 400);
    return;
  }
  response.SetResponseNo(301);
  response.location = "https://" + *host + (port == 443 ? "" : ":" + std::to_string(port)) + target;
  response.content_text = "<HTML><BODY><B>301 Moved Permanently</B></BODY></HTML>\r\n";
}

void HttpServer::AnswerFailure(Response& response, FailureKind kind, const std::string& message) {
  if (kind == FailureKind::StoreUnavailable) return StoreUnavailable(response, message);
  // The message is the body: a length the handler set for its own body
  // would not fit it.
  response.SetResponseNo(FailureStatus(kind));
  if (response.response_no == 503) response.custom_headers.SetValue("Retry-After", "5");
  response.content_text = message;
  response.content_length = -1;
}

void HttpServer::StoreUnavailable(Response& response, const std::string& message) {
  response.SetResponseNo(FailureStatus(FailureKind::StoreUnavailable));
  response.custom_headers.SetValue("Retry-After", "5");
  response.content_text = "The session store cannot be reached; please try again shortly.\r\n";
  response.content_stream.reset();
  response.cookies.Clear();  // no cookie for a session that was not stored
  response.session.reset();
  response.content_length = -1;

  int suppressed = 0;
  {
    std::lock_guard<std::mutex> guard(store_error_lock_);
    const auto now = std::chrono::steady_clock::now();
    if (store_error_reported_ != std::chrono::steady_clock::time_point{} &&
        now - store_error_reported_ < std::chrono::seconds(5)) {
      ++store_errors_unreported_;
      return;
    }
    store_error_reported_ = now;
    suppressed = store_errors_unreported_;
    store_errors_unreported_ = 0;
  }
  if (events_.on_session_store_error) {
    events_.on_session_store_error(suppressed == 0 ? message
                                        : message + " (and " + std::to_string(suppressed) +
                                              " more failures since the last report)");
  }
}

bool HttpServer::AcceptHeaders(ConnectionContext& context, Request& request, Response& response) {
  // A request the parser refused (its framing, its version, a body too
  // large to hold) is answered before anything invites its body.
  if (const int refusal = context.Parser().Refusal()) {
    RefuseRequest(response, refusal);
    return false;
  }
  if (const auto expectation = ExpectationOf(request.version, request.raw_headers)) {
    if (!MetByDefault(*expectation)) {
      response.SetResponseNo(417);
      response.response_text.clear();
      response.SetCloseConnection(true);
      return false;
    }
    // The front may have sent it already; it goes out once.
    if (ascii::ContainsNoCase(*expectation, "100-continue")) context.SendContinue(request.version);
  }
  return true;
}

bool HttpServer::ReadBody(ConnectionContext& context, Request& request, Response& response,
                          MemoryCharge& body_charge) {
  RequestParser& parser = context.Parser();
  ReadRequest(context.Connection().IOHandler(), parser, false);
  if (const int refusal = parser.Refusal()) {
    RefuseRequest(response, refusal);
    return false;
  }
  std::string& body = request.post_stream.Data();
  body = std::move(parser.Request().body);
  body_charge = parser.TakeBodyCharge();
  request.form_params = body;
  request.post_stream.SetPosition(0);
  context.RequestDone();
  return true;
}

bool HttpServer::KeepsConnection(const Request& request) const {
  if (!keep_alive_) return false;
  if (ascii::EqualsNoCase(request.connection, "Keep-alive")) return true;
  if (!keep_alive_by_default_ || !IsHttp11OrLater(request.version)) return false;
  // Any "close" among the connection options ends it.
  std::string_view options = request.connection;
  while (!options.empty()) {
    const size_t comma = options.find(',');
    if (ascii::EqualsNoCase(ascii::Trim(options.substr(0, comma)), "close")) return false;
    if (comma == std::string_view::npos) break;
    options.remove_prefix(comma + 1);
  }
  return true;
}

bool HttpServer::ProcessRequest(ConnectionContext& context) {
  BufferedIo& io = context.Connection().IOHandler();
  RequestParser& parser = context.Parser();
  ReadRequest(io, parser, true);
  const auto started = std::chrono::steady_clock::now();

  // The body stays charged while the request holds it (declared first, so
  // that it is given back after the request has gone).
  MemoryCharge body_charge;
  Request request;
  Response response;
  response.server = ascii::Trim(server_software_);
  std::string target = TakeRequestLine(request, parser.Request());
  request.ProcessHeaders();
  // The length the body was read by (a list of equal values gives one).
  if (parser.Refusal() == 0) request.content_length = parser.Request().content_length;
  response.SetCloseConnection(!KeepsConnection(request) || Draining());
  request.remote_ip = proxies_in_force_.load()->ClientAddress(context.PeerIP(), request.raw_headers);
  const bool head_only = request.command_type == HttpCommandType::Head;
  if (redirect_to_tls_ && OverTls(context))
    response.custom_headers.SetValue("Strict-Transport-Security", "max-age=31536000");

  if (!AcceptHeaders(context, request, response) || !ReadBody(context, request, response, body_charge)) {
    // Refused: the response says why, and the connection ends with it.
  } else if (RedirectsToTls(context)) {
    AnswerWithRedirect(request, target, response);
  } else {
    DecodeTarget(request, std::move(target), parse_params_);
    DecodeAuthorization(request);
    RunHandler(context, request, response);
    // A stop that began while the handler ran: the answer says that the
    // connection ends with it.
    if (Draining()) response.SetCloseConnection(true);
  }
  const int64_t body_bytes = WriteResponse(io, response, head_only);
  // Told once the last byte of the answer has been handed to the socket.
  if (events_.on_response_sent)
    events_.on_response_sent(context, request, response, body_bytes, std::chrono::steady_clock::now() - started);
  return !response.CloseConnection();
}

void HttpServer::RunHandler(ConnectionContext& context, Request& request, Response& response) {
  try {
    FindSession(context, request, response);
    std::string content_before;
    if (session_store_ && request.session) content_before = request.session->ContentText();
    const bool get = request.command_type == HttpCommandType::Head ||
                     request.command_type == HttpCommandType::Get ||
                     request.command_type == HttpCommandType::Post;
    const CommandEvent& handler = get ? events_.on_command_get : events_.on_command_other;
    if (handler) handler(&context, request, response);
    if (request.session) KeepSession(context, request, response, content_before);
  } catch (const Exception& e) {
    // The client is gone: there is no one to answer, and the connection ends.
    if (e.Kind() == FailureKind::ClientGone) throw;
    AnswerFailure(response, e.Kind(), e.Message());
  } catch (const std::exception& e) {
    AnswerFailure(response, FailureKind::Internal, e.what());
  } catch (...) {
    AnswerFailure(response, FailureKind::Internal, "");
  }
}

}  // namespace qv
