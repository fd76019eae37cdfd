#include "http/http_server.h"

#include "http/exceptions.h"
#include "http/request_reader.h"
#include "http/text.h"

namespace qv {

namespace {

// The answer to a request that is not read to its end: status, a small page
// naming it, and the connection closed.
void RefuseRequest(TIdHTTPResponseInfo& response, int code) {
  response.SetResponseNo(code);
  response.SetCloseConnection(true);
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

TIdFramerLimits TIdHTTPServer::FramerLimits() const {
  TIdFramerLimits limits;
  limits.max_line = TIdIOHandler::kMaxLineLength;
  limits.max_head = kMaxRequestHead;
  limits.max_header_lines = maximum_header_line_count_;
  limits.max_body = kMaxRequestBody;
  // A hook that may stop a request after its head sees the head alone.
  limits.hand_over_at_head = static_cast<bool>(OnHeadersAvailable);
  // A hook of its own decides on expectations on the worker.
  limits.continue_here = !OnHeaderExpectations;
  return limits;
}

void TIdHTTPServer::ServeConnection(TIdContext& context) {
  while (ProcessRequest(context)) {
  }
}

void TIdHTTPServer::FindSession(TIdContext& context, TIdHTTPRequestInfo& request,
                                TIdHTTPResponseInfo& response, bool& continue_processing) {
  TIdHTTPSessionPtr session;
  if (session_state_) {
    for (const TIdCookieRFC2109& cookie : request.Cookies) {
      if (session || !continue_processing) break;
      if (!http_text::EqualsNoCase(cookie.CookieName, kSessionCookieName)) continue;
      session = session_store_ ? session_store_->Find(cookie.Value, request.RemoteIP)
                               : sessions_.GetSession(cookie.Value, request.RemoteIP);
      if (!session && OnInvalidSession)
        OnInvalidSession(&context, request, response, continue_processing, cookie.Value);
    }
    if (!session && auto_start_session_ && continue_processing) {
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
  // The front may have told the client to go on already.
  const bool continued = context.TakeContinueSent();
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
  // A body too large to hold is refused before anything invites it.
  if (request.ContentLength > kMaxRequestBody) {
    RefuseRequest(response, 413);
    return false;
  }
  if (IsHttp11OrLater(request.Version) && request.RawHeaders.IndexOfName("Expect") >= 0) {
    const std::string expect = request.RawHeaders.Values("Expect");
    const bool accepted = OnHeaderExpectations ? OnHeaderExpectations(&context, expect)
                                               : http_text::EqualsNoCase(expect, "100-continue");
    if (!accepted) {
      response.SetResponseNo(417);
      response.ResponseText.clear();
      response.SetCloseConnection(true);
      response.Finish();
      return false;
    }
    if (http_text::ContainsNoCase(expect, "100-continue") && !continued)
      context.Connection().IOHandler().Write(request.Version + " 100 Continue\r\n\r\n");
  }
  return true;
}

bool TIdHTTPServer::ReadBody(TIdIOHandler& io, TIdHTTPRequestInfo& request,
                             TIdHTTPResponseInfo& response) {
  std::string& body = request.PostStream.Data();
  if (request.ContentLength > 0) {
    io.ReadBytes(static_cast<size_t>(request.ContentLength), body);
  } else if (request.CommandType == HttpCommandType::Post && !request.HasContentLength()) {
    if (!io.ReadToEnd(static_cast<size_t>(kMaxRequestBody), body)) {
      RefuseRequest(response, 413);
      return false;
    }
  }
  request.FormParams = body;
  request.PostStream.SetPosition(0);
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
  const size_t head_start = io.Consumed();
  std::string line = io.ReadLn();
  const auto started = std::chrono::steady_clock::now();
  const size_t last_blank = line.rfind(' ');
  if (last_blank == std::string::npos) throw EIdHTTPErrorParsingCommand();

  TIdHTTPRequestInfo request;
  TIdHTTPResponseInfo response(&io);
  response.Server = http_text::Trim(server_software_);
  request.Version = line.substr(last_blank + 1);
  const std::string_view rest = std::string_view(line).substr(0, last_blank);

  ReadHeaderLines(io, request.RawHeaders, maximum_header_line_count_,
                  kMaxRequestHead - (io.Consumed() - head_start));
  request.ProcessHeaders();
  response.SetCloseConnection(!KeepsConnection(request) || Draining());

  std::string target = SplitCommand(request, rest);
  request.RequestLine = line;
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
  if (!ReadBody(io, request, response)) {
    sent();
    return false;
  }
  DecodeTarget(request, std::move(target), parse_params_);
  DecodeAuthorization(request);

  bool continue_processing = true;
  try {
    FindSession(context, request, response, continue_processing);
    std::string content_before;
    if (session_store_ && request.Session) {
      auto lock = request.Session->LockContent();
      content_before = request.Session->Content().Text();
    }
    if (continue_processing) {
      const bool get = request.CommandType == HttpCommandType::Head ||
                       request.CommandType == HttpCommandType::Get ||
                       request.CommandType == HttpCommandType::Post;
      const CommandEvent& handler = get ? OnCommandGet : OnCommandOther;
      if (handler) handler(&context, request, response);
    }
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
