// Sessions kept in Redis, so that several servers behind a load balancer
// share them: one hash per session (identifier, client address, whether it
// is for TLS only, Content) whose time-to-live is the idle timeout, renewed
// on every use, and one sorted set of the session keys by last use, which
// bounds their number. Connections to Redis are pooled; no lock is held
// while talking to Redis.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sessions/redis_client.h"
#include "sessions/session_store.h"

namespace qv {

// Where Redis is: "redis://host:port/N" (port 6379 and database 0 when left out).
struct RedisLocation {
  std::string host;
  int port = 6379;
  int database = 0;

  // Raises std::invalid_argument saying what is wrong with the text.
  static RedisLocation Parse(std::string_view url);
  std::string Text() const;
};

class RedisSessionStore final : public SessionStore {
 public:
  static constexpr int kConnectTimeoutMs = 1000;
  static constexpr size_t kMaxIdleConnections = 32;
  static constexpr std::string_view kKeyPrefix = "qvweb:session:";
  // The sorted set of the session keys, scored by the microsecond of last use.
  static constexpr std::string_view kIndexKey = "qvweb:sessions";
  // Sessions ended at most by one write that finds the store over its limit,
  // so that a lowered limit never holds Redis up for long.
  static constexpr int kMaxEndedAtOnce = 1000;

  explicit RedisSessionStore(RedisLocation location);

  const RedisLocation& Location() const { return location_; }

  // Safe while requests run (a reload changes it).
  void SetIdleTimeout(int milliseconds) override { ttl_ = milliseconds; }
  void SetMaxSessions(size_t count) override { max_sessions_ = count; }
  SessionPtr Find(const std::vector<std::string>& session_ids, std::string_view remote_ip,
                  bool tls) override;
  bool Add(Session& session) override;
  void Save(Session& session) override;
  void Remove(const Session& session) override;

  // The Content list as one text and back: entries joined by line feeds,
  // backslashes and line feeds inside an entry escaped.
  static std::string EncodeContent(const NameValueList& content);
  static void DecodeContent(std::string_view text, NameValueList& content);

 private:
  // Runs the commands on a pooled connection; a connection that failed is
  // dropped, and the failure raised as SessionStoreUnavailable.
  std::vector<RedisReply> Run(const std::vector<std::vector<std::string>>& commands);
  // A pooled connection (reused set) or a new one.
  std::unique_ptr<RedisConnection> Borrow(bool& reused);
  void GiveBack(std::unique_ptr<RedisConnection> connection);
  void DropIdle();
  static std::string Key(std::string_view session_id);
  static std::string EncodedContent(const Session& session);

  const RedisLocation location_;
  std::atomic<int> ttl_{600000};
  std::atomic<size_t> max_sessions_{0};
  std::mutex idle_lock_;  // only around taking and giving back connections
  std::vector<std::unique_ptr<RedisConnection>> idle_;
};

}  // namespace qv
