#include "sessions/session.h"

#include <sys/random.h>

#include <cerrno>
#include <vector>

#include "platform/ascii_text.h"
#include "platform/exception.h"

namespace qv {

namespace {

constexpr std::string_view kAlphabet = "qwertzuiopasdfghjklyxcvbnmQWERTZUIOPASDFGHJKLYXCVBNM1234567890";

void RandomBytes(unsigned char* buffer, size_t count) {
  while (count > 0) {
    const ssize_t n = ::getrandom(buffer, count, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Exception("No random source for session identifiers.");
    }
    buffer += n;
    count -= static_cast<size_t>(n);
  }
}

}  // namespace

std::string GetRandomString(size_t count) {
  std::string out;
  out.reserve(count);
  unsigned char bytes[64];
  while (out.size() < count) {
    RandomBytes(bytes, sizeof bytes);
    for (unsigned char b : bytes) {
      // 248 = 4 * 62: larger bytes are dropped so every character is equally likely.
      if (b < 248 && out.size() < count) out.push_back(kAlphabet[b % 62]);
    }
  }
  return out;
}

bool IsSessionId(std::string_view text) {
  if (text.size() != kSessionIdLength) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

Session::Session(std::string session_id, std::string remote_host, bool tls_only)
    : last_time_stamp_(Clock::now().time_since_epoch().count()),
      session_id_(std::move(session_id)),
      remote_host_(std::move(remote_host)),
      tls_only_(tls_only) {}

std::string Session::ContentValue(std::string_view name) const {
  std::lock_guard lock(lock_);
  return content_.Values(name);
}

void Session::SetContentValue(std::string_view name, std::string_view value) {
  std::lock_guard lock(lock_);
  content_.SetValue(name, value);
}

std::string Session::ContentText() const {
  std::lock_guard lock(lock_);
  return content_.Text();
}

void Session::CopyContentFrom(const Session& other) {
  std::lock_guard lock(other.lock_);
  content_ = other.content_;
}

Session::Clock::time_point Session::LastTimeStamp() const {
  return Clock::time_point(Clock::duration(last_time_stamp_.load(std::memory_order_relaxed)));
}

void Session::Touch(Clock::time_point now) {
  last_time_stamp_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
}

bool Session::IsSessionStale(int timeout_ms, Clock::time_point now) const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - LastTimeStamp());
  return elapsed.count() > timeout_ms;
}

SessionPtr SessionList::GetSession(std::string_view session_id, std::string_view remote_ip) {
  std::lock_guard lock(lock_);
  return Find(session_id, remote_ip);
}

SessionPtr SessionList::FindFirst(const std::vector<std::string>& session_ids, std::string_view remote_ip,
                                  bool tls) {
  const auto now = steady_now();
  std::lock_guard lock(lock_);
  for (const std::string& id : session_ids) {
    const auto it = sessions_.find(ascii::ToUpper(id));
    if (it == sessions_.end()) continue;
    const Session& session = **it->second;
    // Idle too long: it ends now rather than at the cleaner's next pass.
    if (session_timeout > 0 && session.IsSessionStale(session_timeout, now)) {
      EndSession(it->second);
      continue;
    }
    if (session.TlsOnly() && !tls) continue;
    if (SessionPtr found = Find(id, remote_ip)) return found;
  }
  return nullptr;
}

SessionPtr SessionList::Find(std::string_view session_id, std::string_view remote_ip) {
  const std::string key = ascii::ToUpper(session_id);
  const auto it = sessions_.find(key);
  if (it == sessions_.end()) return nullptr;
  const SessionPtr& session = *it->second;
  if (!remote_ip.empty() && !ascii::EqualsNoCase(session->RemoteHost(), remote_ip)) return nullptr;
  session->Touch(steady_now());
  order_.splice(order_.end(), order_, it->second);  // now the most recently used
  return session;
}

bool SessionList::Insert(SessionPtr session) {
  std::string key = ascii::ToUpper(session->SessionID());
  // An identifier already in use (practically never) is not given twice.
  if (sessions_.count(key) != 0) return false;
  // A limit lowered by a reload holds again from the next new session on.
  while (max_sessions != 0 && sessions_.size() >= max_sessions && !order_.empty()) MakeRoom();
  session->Touch(steady_now());  // keeps the list in time order
  order_.push_back(std::move(session));
  sessions_.emplace(std::move(key), std::prev(order_.end()));
  return true;
}

SessionPtr SessionList::CreateUniqueSession(std::string_view remote_ip, bool tls_only) {
  for (;;) {
    auto session = std::make_shared<Session>(GetRandomString(kSessionIdLength), std::string(remote_ip), tls_only);
    if (on_session_start) on_session_start(*session);
    std::lock_guard lock(lock_);
    if (Insert(session)) return session;
  }
}

SessionPtr SessionList::CreateCopy(const Session& from, bool tls_only) {
  for (;;) {
    auto session = std::make_shared<Session>(GetRandomString(kSessionIdLength), from.RemoteHost(), tls_only);
    session->CopyContentFrom(from);
    std::lock_guard lock(lock_);
    if (Insert(session)) return session;
  }
}

void SessionList::Remove(const Session& session) {
  std::lock_guard lock(lock_);
  const auto it = sessions_.find(ascii::ToUpper(session.SessionID()));
  if (it != sessions_.end() && it->second->get() == &session) EndSession(it->second);
}

void SessionList::EndSession(Order::iterator it) {
  const SessionPtr session = *it;
  if (on_session_end) on_session_end(*session);
  sessions_.erase(ascii::ToUpper(session->SessionID()));
  order_.erase(it);
}

void SessionList::MakeRoom() {
  if (order_.empty()) return;
  auto victim = order_.begin();
  if (on_session_expendable) {
    size_t looked = 0;
    for (auto it = order_.begin(); it != order_.end() && looked < kExpendableSearch; ++it, ++looked) {
      if (on_session_expendable(**it)) {
        victim = it;
        break;
      }
    }
  }
  EndSession(victim);
}

void SessionList::PurgeStaleSessions(bool all) {
  const auto now = steady_now();
  std::lock_guard lock(lock_);
  while (!order_.empty()) {
    // The rest were used later than this one.
    if (!all && !order_.front()->IsSessionStale(session_timeout, now)) break;
    EndSession(order_.begin());
  }
}

size_t SessionList::Count() const {
  std::lock_guard lock(lock_);
  return sessions_.size();
}

SessionCleaner::SessionCleaner(SessionList& list)
    : list_(list), thread_([this] { Execute(); }) {}

void SessionCleaner::Execute() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, kInterval, [this] { return terminated_; });
    const bool all = terminated_;
    lock.unlock();
    list_.PurgeStaleSessions(all);
    if (all) return;
    lock.lock();
  }
}

void SessionCleaner::TerminateAndWaitFor() {
  {
    std::lock_guard lock(mutex_);
    terminated_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace qv
