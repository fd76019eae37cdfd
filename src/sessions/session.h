// Visitor sessions: a random identifier carried in the cookie
// "IDHTTPSESSIONID", bound to the client's address, holding a name=value
// Content list, ended after an idle time by a cleaner thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/name_value_list.h"

namespace qv {

inline constexpr const char* kSessionCookieName = "IDHTTPSESSIONID";
inline constexpr size_t kSessionIdLength = 15;

// count characters, each picked uniformly from the 62 letters and digits of
// the identifier alphabet, from the system's cryptographic random source.
std::string GetRandomString(size_t count);
// Whether text could be a session identifier: kSessionIdLength letters and
// digits. No other text names a session.
bool IsSessionId(std::string_view text);

class Session {
 public:
  using Clock = std::chrono::steady_clock;

  // tls_only: the session is found only by requests over TLS (it began on a
  // TLS connection, where its cookie is marked Secure).
  Session(std::string session_id, std::string remote_host, bool tls_only = false);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& SessionID() const { return session_id_; }
  const std::string& RemoteHost() const { return remote_host_; }
  bool TlsOnly() const { return tls_only_; }

  // Content access under the session's lock: several requests of one visitor
  // may run at once.
  std::string ContentValue(std::string_view name) const;
  void SetContentValue(std::string_view name, std::string_view value);
  // Holds the lock for a longer piece of work on Content().
  std::unique_lock<std::mutex> LockContent() const { return std::unique_lock(lock_); }
  // The list itself: only under LockContent(), or in the session start
  // handler (the session is not visible to other requests yet).
  NameValueList& Content() { return content_; }
  const NameValueList& Content() const { return content_; }
  // Content().Text(), under the lock.
  std::string ContentText() const;

  // For a new session (not visible yet) that takes over other's Content
  // under another identifier.
  void CopyContentFrom(const Session& other);

  // Kept in a session store: read from it or written to it.
  bool Stored() const { return stored_.load(std::memory_order_relaxed); }
  void SetStored() { stored_.store(true, std::memory_order_relaxed); }

  // Set at creation and by every lookup that finds the session. A monotonic
  // clock, so changes of the wall clock neither end nor prolong sessions.
  Clock::time_point LastTimeStamp() const;
  // Idle for more than timeout_ms (whole milliseconds, strictly greater).
  bool IsSessionStale(int timeout_ms, Clock::time_point now) const;

 private:
  friend class SessionList;
  void Touch(Clock::time_point now);

  mutable std::mutex lock_;
  NameValueList content_;
  std::atomic<Clock::rep> last_time_stamp_;
  std::atomic<bool> stored_{false};
  const std::string session_id_;
  const std::string remote_host_;
  const bool tls_only_;
};

using SessionPtr = std::shared_ptr<Session>;

// The server's sessions, found by identifier (case ignored) and address.
class SessionList {
 public:
  using SessionEvent = std::function<void(Session&)>;

  int session_timeout = 0;  // ms of idle time after which a session is stale
  SessionEvent on_session_start;  // a new session, before it is in the list
  // A session leaving the list; runs under the list lock and must not raise.
  SessionEvent on_session_end;
  // Sessions kept at most (0: no limit). A new session beyond it ends the
  // least recently used session that on_session_expendable accepts (runs under
  // the list lock and must not raise), else the least recently used one.
  size_t max_sessions = 0;
  std::function<bool(const Session&)> on_session_expendable;
  // The steady clock that idle ages are read on (tests set a stand-in). A
  // change of the wall clock neither ends sessions nor keeps them longer.
  std::function<Session::Clock::time_point()> steady_now = [] { return Session::Clock::now(); };

  ~SessionList() { Clear(); }

  // Sets SessionTimeout and MaxSessions while the list is in use.
  void SetLimits(int timeout_ms, size_t most_sessions) {
    std::lock_guard lock(lock_);
    session_timeout = timeout_ms;
    max_sessions = most_sessions;
  }

  // The session with that identifier whose RemoteHost equals remote_ip (not
  // checked when remote_ip is empty); refreshes its time stamp. Null if none.
  SessionPtr GetSession(std::string_view session_id, std::string_view remote_ip);
  // The first of the sessions with these identifiers that GetSession would
  // give, looked up under one lock; a session found stale ends instead, and
  // one that is TlsOnly is found only when tls is true. Null if none.
  SessionPtr FindFirst(const std::vector<std::string>& session_ids, std::string_view remote_ip,
                       bool tls = false);
  // A new session under an identifier that no session has; OnSessionStart
  // runs before it is added.
  SessionPtr CreateUniqueSession(std::string_view remote_ip, bool tls_only = false);
  // A new session under an identifier that no session has, holding a copy of
  // from's Content (from keeps its own); OnSessionStart does not run.
  SessionPtr CreateCopy(const Session& from, bool tls_only);
  // Ends the session now, if it is in the list.
  void Remove(const Session& session);
  // Ends every stale session, or every session when all is true.
  void PurgeStaleSessions(bool all);
  // Ends every session.
  void Clear() { PurgeStaleSessions(true); }
  size_t Count() const;

 private:
  using Order = std::list<SessionPtr>;
  // Sessions looked at, from the least recently used, for one to end at the limit.
  static constexpr size_t kExpendableSearch = 4096;

  // Under the lock: GetSession.
  SessionPtr Find(std::string_view session_id, std::string_view remote_ip);
  // Under the lock: adds a session under an identifier no session has yet
  // (false, nothing added, when one has), making room for it at the limit.
  bool Insert(SessionPtr session);
  // Under the lock: ends one session to make room for a new one.
  void MakeRoom();
  // Under the lock: ends the session at it.
  void EndSession(Order::iterator it);

  mutable std::mutex lock_;
  // Sessions from the least to the most recently used, so that a purge looks
  // only at the stale ones; found through the upper-cased identifier.
  Order order_;
  std::unordered_map<std::string, Order::iterator> sessions_;
};

// Wakes every 1000 ms and ends the stale sessions; ends all when it stops.
class SessionCleaner {
 public:
  static constexpr std::chrono::milliseconds kInterval{1000};

  explicit SessionCleaner(SessionList& list);
  ~SessionCleaner() { TerminateAndWaitFor(); }
  void TerminateAndWaitFor();

 private:
  void Execute();

  SessionList& list_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool terminated_ = false;
  std::thread thread_;
};

}  // namespace qv
