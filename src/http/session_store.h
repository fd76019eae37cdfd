// A place for sessions outside the server's own memory, shared by several
// servers: found by identifier and client address, written back when a
// request changed them, ended by idle time. A store that cannot be reached
// raises SessionStoreUnavailable; the server answers 503 then.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "http/session.h"
#include "platform/exception.h"

namespace qv {

class SessionStoreUnavailable : public Exception {
 public:
  explicit SessionStoreUnavailable(const std::string& message)
      : Exception(message, FailureKind::StoreUnavailable) {}
};

class SessionStore {
 public:
  using SessionEvent = std::function<void(Session&)>;

  virtual ~SessionStore() = default;

  // Idle milliseconds after which a session ends; set when the server starts.
  virtual void SetIdleTimeout(int milliseconds) = 0;
  // The first, in their order, of the sessions with these identifiers (case
  // ignored) bound to remote_ip (not checked when empty), in one look-up; its
  // idle time starts again. Null if there is none.
  virtual SessionPtr Find(const std::vector<std::string>& session_ids, std::string_view remote_ip) = 0;
  // A new session under an unused identifier; start fills it before it is stored.
  virtual SessionPtr Create(std::string_view remote_ip, const SessionEvent& start) = 0;
  // Stores the session's Content again after a request changed it.
  virtual void Save(Session& session) = 0;
};

}  // namespace qv
