// A session store that hands every call on to another and tells of each
// failure, so that the metrics count every session-store error, not only the
// ones the server's rate-limited log shows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sessions/session_store.h"

namespace qv {

class CountingSessionStore final : public SessionStore {
 public:
  // failed is called once for every call of inner that raised
  // SessionStoreUnavailable (the store could not be reached or answered wrong).
  CountingSessionStore(std::shared_ptr<SessionStore> inner, std::function<void()> failed);

  void SetIdleTimeout(int milliseconds) override;
  void SetMaxSessions(size_t count) override;
  SessionPtr Find(const std::vector<std::string>& session_ids, std::string_view remote_ip,
                  bool tls) override;
  bool Add(Session& session) override;
  void Save(Session& session) override;
  void Remove(const Session& session) override;

 private:
  template <typename Call>
  auto Counted(Call call) -> decltype(call());

  std::shared_ptr<SessionStore> inner_;
  std::function<void()> failed_;
};

}  // namespace qv
