#include "service/counting_session_store.h"

namespace qv {

CountingSessionStore::CountingSessionStore(std::shared_ptr<TSessionStore> inner,
                                           std::function<void()> failed)
    : inner_(std::move(inner)), failed_(std::move(failed)) {}

template <typename Call>
auto CountingSessionStore::Counted(Call call) -> decltype(call()) {
  try {
    return call();
  } catch (const ESessionStoreUnavailable&) {
    if (failed_) failed_();
    throw;
  }
}

void CountingSessionStore::SetIdleTimeout(int milliseconds) { inner_->SetIdleTimeout(milliseconds); }

TIdHTTPSessionPtr CountingSessionStore::Find(const std::vector<std::string>& session_ids,
                                             std::string_view remote_ip) {
  return Counted([&] { return inner_->Find(session_ids, remote_ip); });
}

TIdHTTPSessionPtr CountingSessionStore::Create(std::string_view remote_ip, const SessionEvent& start) {
  return Counted([&] { return inner_->Create(remote_ip, start); });
}

void CountingSessionStore::Save(TIdHTTPSession& session) {
  Counted([&] { inner_->Save(session); });
}

}  // namespace qv
