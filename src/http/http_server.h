// The HTTP server: reads each request on a connection into a
// Request, finds the visitor's session, calls the command handler
// and writes its Response. The handlers and event callbacks are given at
// construction (Events); properties are set while inactive;
// a Restart brings the keep-alive settings, the trusted proxies, the session
// time-out, MaxSessions and the redirect to TLS into force while the server
// runs, and keeps the sessions.
//
// Handlers run on worker threads, several at once. A handler error is
// answered with the status of its failure kind (see failure_status.h) and
// the error's message as the body.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "http/request_info.h"
#include "http/response_info.h"
#include "http/tcp_server.h"
#include "http/trusted_proxies.h"
#include "platform/exception.h"
#include "sessions/session.h"
#include "sessions/session_store.h"

namespace qv {

// The server owns its listener, a TcpServer, and tells it how to run a
// request; the listener's settings are set through the server.
class HttpServer {
 public:
  using CommandEvent = std::function<void(ConnectionContext*, Request&, Response&)>;
  using SessionEvent = std::function<void(Session&)>;
  using ResponseSentEvent =
      std::function<void(ConnectionContext&, const Request&, const Response&,
                         int64_t body_bytes, std::chrono::steady_clock::duration elapsed)>;

  // What the server calls, given at construction; each may be left empty.
  struct Events {
    CommandEvent on_command_get;    // HEAD, GET and POST
    CommandEvent on_command_other;  // every other method
    SessionEvent on_session_start;
    SessionEvent on_session_end;  // must not raise
    // Whether a session may go first when the session list is full; must not raise.
    std::function<bool(const Session&)> on_session_expendable;
    // After an answer has been written to the end (also the engine's own
    // refusals and failures): the request, the answer, the body bytes sent and
    // the time from the request line to the last byte. Runs on the thread that
    // answered, once per answered request; must not raise.
    ResponseSentEvent on_response_sent;
    // The session store failed: its message, at most once every 5 s (the
    // failures in between are counted into the next message).
    std::function<void(const std::string& message)> on_session_store_error;
    // The listener's: a connection taken in, a connection ended by a failure
    // other than the engine's own, a failure to accept or to start a thread.
    std::function<void(ConnectionContext&)> on_connect;
    std::function<void(ConnectionContext&, const std::exception&)> on_exception;
    std::function<void(const std::exception&)> on_listen_exception;
  };

  explicit HttpServer(Events events = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // The listener: see TcpServer for each.
  bool Active() const { return tcp_.Active(); }
  void SetActive(bool active) { tcp_.SetActive(active); }
  void Restart(int drain_ms) { tcp_.Restart(drain_ms); }
  std::vector<Binding>& Bindings() { return tcp_.Bindings(); }
  const std::vector<Binding>& Bindings() const { return tcp_.Bindings(); }
  Binding& AddBinding(std::string ip, int port, IpFamily version = kIPv4) {
    return tcp_.AddBinding(std::move(ip), port, version);
  }
  int TlsPort() const { return tcp_.TlsPort(); }
  void SetTlsPort(int port) { tcp_.SetTlsPort(port); }
  const std::shared_ptr<qv::TlsContext>& TlsContext() const { return tcp_.TlsContext(); }
  void SetTlsContext(std::shared_ptr<qv::TlsContext> context) { tcp_.SetTlsContext(std::move(context)); }
  void SetHandshakeTimeout(int milliseconds) { tcp_.SetHandshakeTimeout(milliseconds); }
  void SetMaxHandshakesPerAddress(int count) { tcp_.SetMaxHandshakesPerAddress(count); }
  int DefaultPort() const { return tcp_.DefaultPort(); }
  void SetDefaultPort(int port) { tcp_.SetDefaultPort(port); }
  int ListenQueue() const { return tcp_.ListenQueue(); }
  void SetListenQueue(int backlog) { tcp_.SetListenQueue(backlog); }
  int MaxConnections() const { return tcp_.MaxConnections(); }
  void SetMaxConnections(int count) { tcp_.SetMaxConnections(count); }
  void SetDeferAccept(bool on) { tcp_.SetDeferAccept(on); }
  int ReadTimeout() const { return tcp_.ReadTimeout(); }
  void SetReadTimeout(int milliseconds) { tcp_.SetReadTimeout(milliseconds); }
  void SetRequestTimeout(int milliseconds) { tcp_.SetRequestTimeout(milliseconds); }
  void SetKeepAliveTimeout(int milliseconds) { tcp_.SetKeepAliveTimeout(milliseconds); }
  void SetMaxConnectionsPerAddress(int count) { tcp_.SetMaxConnectionsPerAddress(count); }
  void SetMaxRequestMemory(size_t bytes) { tcp_.SetMaxRequestMemory(bytes); }
  const std::shared_ptr<qv::RequestMemory>& RequestMemory() const { return tcp_.RequestMemory(); }
  int Workers() const { return tcp_.Workers(); }
  void SetWorkers(int count) { tcp_.SetWorkers(count); }
  int StopTimeout() const { return tcp_.StopTimeout(); }
  void SetStopTimeout(int milliseconds) { tcp_.SetStopTimeout(milliseconds); }
  size_t ContextCount() const { return tcp_.ContextCount(); }
  size_t WorkerThreads() const { return tcp_.WorkerThreads(); }

  // With KeepAlive, a request whose "Connection" header is "Keep-alive"
  // leaves the connection open for the next one.
  bool KeepAlive() const { return keep_alive_; }
  void SetKeepAlive(bool on) { keep_alive_ = on; }
  // With KeepAlive as well: HTTP/1.1 (and later) requests leave the connection
  // open unless their "Connection" header says "close"; HTTP/1.0 requests
  // still only with "Keep-alive".
  bool KeepAliveByDefault() const { return keep_alive_by_default_; }
  void SetKeepAliveByDefault(bool on) { keep_alive_by_default_ = on; }
  const std::string& ServerSoftware() const { return server_software_; }
  void SetServerSoftware(std::string text) { server_software_ = std::move(text); }
  bool ParseParams() const { return parse_params_; }
  void SetParseParams(bool on) { parse_params_ = on; }
  int MaximumHeaderLineCount() const { return maximum_header_line_count_; }
  void SetMaximumHeaderLineCount(int count) { maximum_header_line_count_ = count; }

  bool SessionState() const { return session_state_; }
  // Raises SessionStateLocked while active.
  void SetSessionState(bool on);
  bool AutoStartSession() const { return auto_start_session_; }
  void SetAutoStartSession(bool on) { auto_start_session_ = on; }
  // Idle milliseconds after which a session ends; read at activation, where
  // 0 switches sessions off.
  int SessionTimeOut() const { return session_time_out_; }
  void SetSessionTimeOut(int milliseconds) { session_time_out_ = milliseconds; }
  qv::SessionList& SessionList() { return sessions_; }
  // Sessions kept outside this process (null: in SessionList, the default).
  // Set while inactive. A session goes to the store once it holds more than
  // the session start handler put in it (a log-on); until then it stays in
  // SessionList, so visitors who are not logged on cost the store nothing. A
  // request whose session cannot be read or written is answered 503 with
  // "Retry-After: 5", and on_session_store_error is told.
  const std::shared_ptr<qv::SessionStore>& SessionStore() const { return session_store_; }
  void SetSessionStore(std::shared_ptr<qv::SessionStore> store) { session_store_ = std::move(store); }
  // Peers whose X-Forwarded-For names the client: a request's RemoteIP (and
  // so its session's address) is the client address they stand for.
  const qv::TrustedProxies& TrustedProxies() const { return trusted_proxies_; }
  void SetTrustedProxies(qv::TrustedProxies proxies) { trusted_proxies_ = std::move(proxies); }
  // Sessions kept at most (0: no limit), in SessionList and in the store
  // each; read at activation and at a restart. At the limit a new session
  // ends an old one: in SessionList the least recently used one that
  // on_session_expendable accepts, else the least recently used one; in the
  // store the least recently used one.
  size_t MaxSessions() const { return max_sessions_; }
  void SetMaxSessions(size_t count) { max_sessions_ = count; }
  // With a TLS listener (TlsPort): a request on a plain listener (not from a trusted
  // proxy) is answered "301 Moved Permanently" to the same target over TLS,
  // and every answer over TLS carries Strict-Transport-Security.
  bool RedirectToTls() const { return redirect_to_tls_; }
  void SetRedirectToTls(bool on) { redirect_to_tls_ = on; }


  // Session cookies looked up at most for one request (the first ones with a
  // well-formed identifier), all in one look-up.
  static constexpr size_t kMaxSessionCandidates = 4;

  // The request loop of one connection, on any transport: reads and answers
  // requests until a response closes the connection, the peer goes away or
  // the input is malformed. Raises what ends the loop; the caller closes.
  void ServeConnection(ConnectionContext& context);
  // One request of a connection and its answer, as the listener runs it once
  // the request has arrived; true when the connection stays open. Raises
  // what ends the connection.
  bool ProcessRequest(ConnectionContext& context);
  // What one request may take; the front parses requests by them.
  RequestLimits Limits() const;

 private:
  // A trusted proxy carries many clients: its connections are not capped per address.
  bool UncappedAddress(const std::string& ip) const;
  void BeforeActivate();
  void BeforeDeactivate();
  void BeforeRestart();
  void AfterDeactivate();
  bool Draining() const { return tcp_.Draining(); }

  // The session, the handler and what the session needs after it; a failure
  // becomes the answer its kind calls for.
  void RunHandler(ConnectionContext& context, Request& request, Response& response);
  // Whether the request asks (or, by the settings, is taken) to keep the connection.
  bool KeepsConnection(const Request& request) const;
  // The checks after the header block (refusals, expectations); false when
  // they answered the request.
  bool AcceptHeaders(ConnectionContext& context, Request& request, Response& response);
  // The body into PostStream and FormParams, and its charge into body_charge;
  // false when it was refused.
  bool ReadBody(ConnectionContext& context, Request& request, Response& response, MemoryCharge& body_charge);
  void FindSession(ConnectionContext& context, Request& request, Response& response);
  // After the handler: the session moved to a new identifier when the
  // handler asked for it; else, with a store, written to it when the
  // request made it worth keeping or changed a stored one.
  void KeepSession(ConnectionContext& context, Request& request, Response& response,
                   const std::string& content_before);
  // Whether the session holds more than every new session does.
  bool WorthStoring(const Session& session) const;
  // The request's session under a new identifier and cookie; the old one ends.
  void RenewSession(ConnectionContext& context, Request& request, Response& response);
  // Whether the request is answered with a redirect to the TLS listener.
  bool RedirectsToTls(ConnectionContext& context) const;
  // That answer, or 400 when the request names no host to send it to.
  void AnswerWithRedirect(const Request& request, const std::string& target, Response& response) const;
  // The answer to a request whose handling failed, by the failure's kind.
  void AnswerFailure(Response& response, FailureKind kind, const std::string& message);
  // The answer when the session store failed, and the rate-limited report.
  void StoreUnavailable(Response& response, const std::string& message);

  // Read by requests while a restart may change them.
  std::atomic<bool> keep_alive_{false};
  std::atomic<bool> keep_alive_by_default_{false};
  std::atomic<bool> redirect_to_tls_{false};
  std::atomic<int> tls_port_in_force_{0};  // TlsPort, read by requests
  size_t max_sessions_ = 0;
  std::string server_software_;
  bool parse_params_ = true;
  int maximum_header_line_count_ = 1024;
  bool session_state_ = false;
  bool auto_start_session_ = false;
  int session_time_out_ = 0;
  qv::SessionList sessions_;
  std::shared_ptr<qv::SessionStore> session_store_;
  std::string start_content_;  // the Content of a new session, with a store
  std::mutex store_error_lock_;
  std::chrono::steady_clock::time_point store_error_reported_{};
  int store_errors_unreported_ = 0;
  qv::TrustedProxies trusted_proxies_;
  // The trusted proxies in force, taken from the setting at activation and
  // at a restart; requests read it while a restart replaces it.
  std::atomic<std::shared_ptr<const qv::TrustedProxies>> proxies_in_force_{
      std::make_shared<const qv::TrustedProxies>()};
  std::unique_ptr<SessionCleaner> cleaner_;
  const Events events_;
  // Last: it stops first, while what its hooks use is still there.
  TcpServer tcp_;
};

}  // namespace qv
