#include "service/counting_session_store.h"

namespace qv {

CountingSessionStore::CountingSessionStore(std::shared_ptr<SessionStore> inner,
                                           std::function<void()> failed)
    : inner_(std::move(inner)), failed_(std::move(failed)) {}

template <typename Call>
auto CountingSessionStore::Counted(Call call) -> decltype(call()) {
  try {
    return call();
  } catch (const SessionStoreUnavailable&) {
    if (failed_) failed_();
    throw;
  }
}

void CountingSessionStore::SetIdleTimeout(int milliseconds) { inner_->SetIdleTimeout(milliseconds); }

void CountingSessionStore::SetMaxSessions(size_t count) { inner_->SetMaxSessions(count); }

SessionPtr CountingSessionStore::Find(const std::vector<std::string>& session_ids,
                                      std::string_view remote_ip, bool tls) {
  return Counted([&] { return inner_->Find(session_ids, remote_ip, tls); });
}

bool CountingSessionStore::Add(Session& session) {
  return Counted([&] { return inner_->Add(session); });
}

void CountingSessionStore::Save(Session& session) {
  Counted([&] { inner_->Save(session); });
}

void CountingSessionStore::Remove(const Session& session) {
  Counted([&] { inner_->Remove(session); });
}

}  // namespace qv
