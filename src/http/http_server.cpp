#include "http/http_server.h"

#include <algorithm>
#include <vector>

#include "http/exceptions.h"
#include "http/request_reader.h"
#include "http/text.h"

namespace qv {

namespace {

// The answer to a request that is not run: status, a small page naming it,
// and the connection closed (its input may not be read to its end).
void RefuseRequest(TIdHTTPResponseInfo& response, int code) {
  response.SetResponseNo(code);
  response.SetCloseConnection(true);
  if (code == 501) response.CustomHeaders.SetValue("Allow", "GET, HEAD, POST");
  response.ContentText = "<HTML><BODY><B>" + std::to_string(code) + " " + response.ResponseText +
                         "</B></BODY></HTML>\r\n";
  response.Finish();
}

// A handler error: status 500 with the message as the body. A length the
// handler set for its own body would not fit the message.
void FailResponse(TIdHTTPResponseInfo& response, const char* message) {
  response.SetResponseNo(500);
  response.ContentText = message;
  if (!response.HeaderHasBeenWritten()) response.ContentLength = -1;
}

// Ends a connection whose input is malformed, with the failure that says how.
[[noreturn]] void RaiseMalformed(RequestParser::Fault fault) {
  switch (fault) {
    case RequestParser::Fault::NoBlank:
      throw EIdHTTPErrorParsingCommand();
    case RequestParser::Fault::LineTooLong:
      throw EIdReadLnMaxLineLengthExceeded();
    case RequestParser::Fault::TooManyLines:
      throw EIdMaxCaptureLineExceeded();
    case RequestParser::Fault::None:
    case RequestParser::Fault::CutShort:
      break;
  }
  throw EConnectionClosed();
}

// Parses on, waiting for input as needed, until the head (head_only) or the
// whole request is in. The front has usually parsed it all already.
void ReadRequest(TIdIOHandler& io, RequestParser& parser, bool head_only) {
  bool closed = false;
  for (;;) {
    io.Consume(parser.Parse(io.Unread(), closed));
    const RequestParser::Status status = parser.State();
    if (status == RequestParser::Status::Malformed) RaiseMalformed(parser.GetFault());
    if (status == RequestParser::Status::Complete || (head_only && parser.HeadDone())) return;
    if (closed) throw EConnectionClosed();
    closed = !io.ReceiveMore();
  }
}

}  // namespace

TIdHTTPServer::TIdHTTPServer() { SetDefaultPort(80); }

TIdHTTPServer::~TIdHTTPServer() { StopServer(); }

void TIdHTTPServer::SetSessionState(bool on) {
  if (Active()) throw EIdHTTPCannotSwitchSessionStateWhenActive();
  session_state_ = on;
}

void TIdHTTPServer::BeforeActivate() {
  if (session_time_out_ != 0)
    sessions_.SessionTimeout = session_time_out_;
  else
    session_state_ = false;
  sessions_.OnSessionStart = OnSessionStart;
  sessions_.OnSessionEnd = OnSessionEnd;
  sessions_.OnSessionExpendable = OnSessionExpendable;
  sessions_.MaxSessions = max_sessions_;
  proxies_in_force_.store(std::make_shared<const TTrustedProxies>(trusted_proxies_));
  if (session_store_) {
    // The store ends idle sessions itself.
    session_store_->SetIdleTimeout(session_time_out_);
  } else if (session_state_) {
    cleaner_ = std::make_unique<TIdHTTPSessionCleanerThread>(sessions_);
  }
}

void TIdHTTPServer::BeforeDeactivate() {
  // The cleaner's last pass ends every session; a request still running
  // keeps its own reference to its session until it has finished.
  cleaner_.reset();
  sessions_.Clear();
}

void TIdHTTPServer::BeforeRestart() {
  // Sessions are kept. Whether there are sessions, and where they are kept,
  // stays as it was at the activation.
  if (session_state_ && session_time_out_ != 0) {
    sessions_.SetLimits(session_time_out_, max_sessions_);
    if (session_store_) session_store_->SetIdleTimeout(session_time_out_);
  }
  proxies_in_force_.store(std::make_shared<const TTrustedProxies>(trusted_proxies_));
}

void TIdHTTPServer::AfterDeactivate() {
  // Sessions made by requests that were still running during the stop.
  sessions_.Clear();
}

bool TIdHTTPServer::DoRequest(TIdContext& context) { return ProcessRequest(context); }

bool TIdHTTPServer::UncappedAddress(const std::string& ip) const {
  const std::shared_ptr<const TTrustedProxies> proxies = proxies_in_force_.load();
  return !proxies->Empty() && proxies->Contains(ip);
}

RequestLimits TIdHTTPServer::Limits() const {
  RequestLimits limits;
  limits.max_header_lines = maximum_header_line_count_;
  return limits;
}

bool TIdHTTPServer::HeadsGoToWorkers() const { return OnHeadersAvailable || OnHeaderExpectations; }

void TIdHTTPServer::ServeConnection(TIdContext& context) {
  context.Parser().SetLimits(Limits());
  while (ProcessRequest(context)) {
  }
}

void TIdHTTPServer::FindSession(TIdContext& context, TIdHTTPRequestInfo& request,
                                TIdHTTPResponseInfo& response) {
  TIdHTTPSessionPtr session;
  if (session_state_) {
    // One look-up, however many session cookies came: of the first few
    // with a well-formed identifier (no other text names a session).
    std::vector<std::string> candidates;
    for (const TIdCookieRFC2109& cookie : request.Cookies) {
      if (!http_text::EqualsNoCase(cookie.CookieName, kSessionCookieName)) continue;
      if (candidates.size() >= kMaxSessionCandidates || !IsSessionId(cookie.Value)) continue;
      const bool repeated = std::any_of(candidates.begin(), candidates.end(), [&](const std::string& id) {
        return http_text::EqualsNoCase(id, cookie.Value);
      });
      if (!repeated) candidates.push_back(cookie.Value);
    }
    if (!candidates.empty())
      session = session_store_ ? session_store_->Find(candidates, request.RemoteIP)
                               : sessions_.FindFirst(candidates, request.RemoteIP);
    if (!session && auto_start_session_) {
      session = session_store_ ? session_store_->Create(request.RemoteIP, OnSessionStart)
                               : sessions_.CreateUniqueSession(request.RemoteIP);
      TIdCookieRFC2109& cookie = response.Cookies.Add(kSessionCookieName, session->SessionID());
      cookie.Path = "/";
      cookie.HttpOnly = true;
      cookie.SameSite = "Lax";
      cookie.Secure = context.Binding() && context.Binding()->Tls;
    }
  }
  request.Session = session;
  response.Session = std::move(session);
}

void TIdHTTPServer::SaveSession(TIdHTTPSession& session, const std::string& content_before) {
  std::string content_after;
  {
    auto lock = session.LockContent();
    content_after = session.Content().Text();
  }
  if (content_after != content_before) session_store_->Save(session);
}

void TIdHTTPServer::StoreUnavailable(TIdHTTPResponseInfo& response, const std::string& message) {
  response.SetResponseNo(503);
  response.CustomHeaders.SetValue("Retry-After", "5");
  response.ContentText = "The session store cannot be reached; please try again shortly.\r\n";
  response.ContentStream.reset();
  response.Cookies.Clear();  // no cookie for a session that was not stored
  if (!response.HeaderHasBeenWritten()) response.ContentLength = -1;

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
  if (OnSessionStoreError) {
    OnSessionStoreError(suppressed == 0 ? message
                                        : message + " (and " + std::to_string(suppressed) +
                                              " more failures since the last report)");
  }
}

bool TIdHTTPServer::AcceptHeaders(TIdContext& context, const std::string& target,
                                  TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
  if (OnHeadersAvailable && !OnHeadersAvailable(&context, target, request.RawHeaders)) {
    int code = 403;
    std::string text, content;
    if (OnHeadersBlocked) OnHeadersBlocked(&context, request.RawHeaders, code, text, content);
    response.SetResponseNo(code);
    if (!text.empty()) response.ResponseText = text;
    response.ContentText = content;
    response.SetCloseConnection(true);
    response.Finish();
    return false;
  }
  // A request the parser refused (its framing, its version, a body too
  // large to hold) is answered before anything invites its body.
  if (const int refusal = context.Parser().Refusal()) {
    RefuseRequest(response, refusal);
    return false;
  }
  if (const auto expectation = ExpectationOf(request.Version, request.RawHeaders)) {
    const bool accepted =
        OnHeaderExpectations ? OnHeaderExpectations(&context, *expectation) : MetByDefault(*expectation);
    if (!accepted) {
      response.SetResponseNo(417);
      response.ResponseText.clear();
      response.SetCloseConnection(true);
      response.Finish();
      return false;
    }
    // The front may have sent it already; it goes out once.
    if (http_text::ContainsNoCase(*expectation, "100-continue")) context.SendContinue(request.Version);
  }
  return true;
}

bool TIdHTTPServer::ReadBody(TIdContext& context, TIdHTTPRequestInfo& request,
                             TIdHTTPResponseInfo& response) {
  RequestParser& parser = context.Parser();
  ReadRequest(context.Connection().IOHandler(), parser, false);
  if (const int refusal = parser.Refusal()) {
    RefuseRequest(response, refusal);
    return false;
  }
  std::string& body = request.PostStream.Data();
  body = std::move(parser.Request().body);
  request.FormParams = body;
  request.PostStream.SetPosition(0);
  context.RequestDone();
  return true;
}

bool TIdHTTPServer::KeepsConnection(const TIdHTTPRequestInfo& request) const {
  if (!keep_alive_) return false;
  if (http_text::EqualsNoCase(request.Connection, "Keep-alive")) return true;
  if (!keep_alive_by_default_ || !IsHttp11OrLater(request.Version)) return false;
  // Any "close" among the connection options ends it.
  std::string_view options = request.Connection;
  while (!options.empty()) {
    const size_t comma = options.find(',');
    if (http_text::EqualsNoCase(http_text::Trim(options.substr(0, comma)), "close")) return false;
    if (comma == std::string_view::npos) break;
    options.remove_prefix(comma + 1);
  }
  return true;
}

bool TIdHTTPServer::ProcessRequest(TIdContext& context) {
  TIdIOHandler& io = context.Connection().IOHandler();
  RequestParser& parser = context.Parser();
  ReadRequest(io, parser, true);
  const auto started = std::chrono::steady_clock::now();

  TIdHTTPRequestInfo request;
  TIdHTTPResponseInfo response(&io);
  response.Server = http_text::Trim(server_software_);
  std::string target = TakeRequestLine(request, parser.Request());
  request.ProcessHeaders();
  // The length the body was read by (a list of equal values gives one).
  if (parser.Refusal() == 0) request.ContentLength = parser.Request().content_length;
  response.SetCloseConnection(!KeepsConnection(request) || Draining());
  request.RemoteIP = proxies_in_force_.load()->ClientAddress(context.PeerIP(), request.RawHeaders);
  response.SetHeadOnly(request.CommandType == HttpCommandType::Head);

  // Told once the last byte of an answer has been handed to the socket.
  auto sent = [&] {
    if (OnResponseSent)
      OnResponseSent(context, request, response, response.BodyBytesSent(),
                     std::chrono::steady_clock::now() - started);
  };
  if (!AcceptHeaders(context, target, request, response)) {
    sent();
    return false;
  }
  if (!ReadBody(context, request, response)) {
    sent();
    return false;
  }
  DecodeTarget(request, std::move(target), parse_params_);
  DecodeAuthorization(request);

  try {
    FindSession(context, request, response);
    std::string content_before;
    if (session_store_ && request.Session) {
      auto lock = request.Session->LockContent();
      content_before = request.Session->Content().Text();
    }
    const bool get = request.CommandType == HttpCommandType::Head ||
                     request.CommandType == HttpCommandType::Get ||
                     request.CommandType == HttpCommandType::Post;
    const CommandEvent& handler = get ? OnCommandGet : OnCommandOther;
    if (handler) handler(&context, request, response);
    if (session_store_ && request.Session) SaveSession(*request.Session, content_before);
  } catch (const ESessionStoreUnavailable& e) {
    StoreUnavailable(response, e.what());
  } catch (const ESocketError&) {
    throw;
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const EReadTimeout&) {
    throw;
  } catch (const std::exception& e) {
    FailResponse(response, e.what());
  } catch (...) {
    FailResponse(response, "");
  }
  // A stop that began while the handler ran: the answer says that the
  // connection ends with it.
  if (Draining() && !response.HeaderHasBeenWritten()) response.SetCloseConnection(true);
  response.Finish();
  sent();
  return !response.CloseConnection();
}

}  // namespace qv
