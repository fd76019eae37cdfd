// A place for sessions outside the server's own memory, shared by several
// servers: found by identifier and client address, written when they first
// hold something worth keeping (a log-on), written back when a request
// changed them, ended at once or by idle time, and bounded in number. A
// store that cannot be reached raises SessionStoreUnavailable; the server
// answers 503 then.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"
#include "sessions/session.h"

namespace qv {

class SessionStoreUnavailable : public Exception {
 public:
  explicit SessionStoreUnavailable(const std::string& message)
      : Exception(message, FailureKind::StoreUnavailable) {}
};

class SessionStore {
 public:
  virtual ~SessionStore() = default;

  // Idle milliseconds after which a session ends; safe while requests run.
  virtual void SetIdleTimeout(int milliseconds) = 0;
  // Sessions kept at most (0: no limit); beyond it the least recently used
  // ones end. Safe while requests run.
  virtual void SetMaxSessions(size_t count) = 0;
  // The first, in their order, of the sessions with these identifiers (case
  // ignored) bound to remote_ip (not checked when empty), in one look-up; one
  // that is TlsOnly only when tls is true. Its idle time starts again, and it
  // comes back Stored. Null if there is none.
  virtual SessionPtr Find(const std::vector<std::string>& session_ids, std::string_view remote_ip,
                          bool tls) = 0;
  // Writes a session that is not in the store yet, with its identifier,
  // address and Content, and marks it Stored; false, and nothing written,
  // when a stored session has that identifier already.
  virtual bool Add(Session& session) = 0;
  // Stores a Stored session's Content again after a request changed it; one
  // that has ended meanwhile stays ended.
  virtual void Save(Session& session) = 0;
  // Ends a Stored session now.
  virtual void Remove(const Session& session) = 0;
};

}  // namespace qv
