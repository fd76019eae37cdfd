#include "http/redis_session_store.h"

#include "http/text.h"

namespace qv {

namespace {

// Identifiers longer than this are never looked up.
constexpr size_t kMaxIdLength = 64;

bool ParsePort(std::string_view text, int maximum, int& value) {
  if (text.empty() || text.size() > 5) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= maximum;
}

void ExpectOk(const RedisReply& reply) {
  if (reply.kind == RedisReply::Kind::Error) throw RedisError("Redis: " + reply.text);
}

}  // namespace

RedisLocation RedisLocation::Parse(std::string_view url) {
  constexpr std::string_view kScheme = "redis://";
  if (url.size() < kScheme.size() || !http_text::EqualsNoCase(url.substr(0, kScheme.size()), kScheme))
    throw std::invalid_argument("expected memory or redis://host:port/N, not \"" + std::string(url) + "\"");
  std::string_view rest = url.substr(kScheme.size());
  RedisLocation location;
  const size_t slash = rest.find('/');
  std::string_view host_port = rest.substr(0, slash);
  if (slash != std::string_view::npos) {
    const std::string_view database = rest.substr(slash + 1);
    if (!database.empty() && !ParsePort(database, 1000000, location.database))
      throw std::invalid_argument("\"" + std::string(database) + "\" is not a database number");
  }
  size_t colon = std::string_view::npos;
  if (!host_port.empty() && host_port.front() == '[') {
    const size_t close = host_port.find(']');
    if (close == std::string_view::npos) throw std::invalid_argument("unclosed \"[\" in the host");
    location.host = std::string(host_port.substr(1, close - 1));
    if (close + 1 < host_port.size()) {
      if (host_port[close + 1] != ':') throw std::invalid_argument("text after the host");
      colon = close + 1;
    }
  } else {
    colon = host_port.rfind(':');
    location.host = std::string(host_port.substr(0, colon));
  }
  if (location.host.empty()) throw std::invalid_argument("no host in \"" + std::string(url) + "\"");
  if (colon != std::string_view::npos &&
      (!ParsePort(host_port.substr(colon + 1), 65535, location.port) || location.port == 0))
    throw std::invalid_argument("\"" + std::string(host_port.substr(colon + 1)) + "\" is not a port");
  return location;
}

std::string RedisLocation::Text() const {
  const bool v6 = host.find(':') != std::string::npos;
  return "redis://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" +
         std::to_string(database);
}

RedisSessionStore::RedisSessionStore(RedisLocation location) : location_(std::move(location)) {}

std::string RedisSessionStore::Key(std::string_view session_id) {
  return std::string(kKeyPrefix) + http_text::ToUpper(session_id);
}

std::string RedisSessionStore::EncodeContent(const NameValueList& content) {
  std::string text;
  for (size_t i = 0; i < content.Count(); ++i) {
    if (i > 0) text += '\n';
    for (char c : content[i]) {
      if (c == '\\') text += "\\\\";
      else if (c == '\n') text += "\\n";
      else text += c;
    }
  }
  return text;
}

void RedisSessionStore::DecodeContent(std::string_view text, NameValueList& content) {
  content.Clear();
  if (text.empty()) return;
  std::string entry;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      content.Add(std::move(entry));
      entry.clear();
    } else if (c == '\\' && i + 1 < text.size()) {
      entry += text[++i] == 'n' ? '\n' : text[i];
    } else {
      entry += c;
    }
  }
  content.Add(std::move(entry));
}

std::unique_ptr<RedisConnection> RedisSessionStore::Borrow(bool& reused) {
  {
    std::lock_guard<std::mutex> guard(idle_lock_);
    if (!idle_.empty()) {
      std::unique_ptr<RedisConnection> connection = std::move(idle_.back());
      idle_.pop_back();
      reused = true;
      return connection;
    }
  }
  reused = false;
  auto connection =
      std::make_unique<RedisConnection>(location_.host, location_.port, kConnectTimeoutMs);
  if (location_.database != 0)
    ExpectOk(connection->Command({"SELECT", std::to_string(location_.database)}));
  return connection;
}

void RedisSessionStore::GiveBack(std::unique_ptr<RedisConnection> connection) {
  std::lock_guard<std::mutex> guard(idle_lock_);
  if (idle_.size() < kMaxIdleConnections) idle_.push_back(std::move(connection));
}

void RedisSessionStore::DropIdle() {
  std::vector<std::unique_ptr<RedisConnection>> stale;
  std::lock_guard<std::mutex> guard(idle_lock_);
  stale.swap(idle_);
}

std::vector<RedisReply> RedisSessionStore::Run(
    const std::vector<std::vector<std::string>>& commands) {
  for (int attempt = 0;; ++attempt) {
    bool reused = false;
    try {
      std::unique_ptr<RedisConnection> connection = Borrow(reused);
      std::vector<RedisReply> replies = connection->Pipeline(commands);
      GiveBack(std::move(connection));
      for (const RedisReply& reply : replies) ExpectOk(reply);
      return replies;
    } catch (const RedisError& e) {
      // A pooled connection may have died with a Redis that restarted since:
      // the others are as old, so all go, and a fresh connection is tried
      // once. The next request connects afresh too, which is how the store
      // recovers by itself when Redis is back.
      if (reused && attempt == 0) {
        DropIdle();
        continue;
      }
      throw SessionStoreUnavailable(std::string("Session store ") + location_.Text() + ": " +
                                     e.what());
    }
  }
}

SessionPtr RedisSessionStore::Find(const std::vector<std::string>& session_ids,
                                           std::string_view remote_ip) {
  // One round trip for them all: read each session in turn, check its
  // address (case ignored, as the sessions in memory do), and renew the
  // time-to-live of the first that is the visitor's.
  static const std::string kLookUp =
      "for _, key in ipairs(KEYS) do\n"
      "  local v = redis.call('HMGET', key, 'id', 'addr', 'content')\n"
      "  if v[1] and v[2] and (ARGV[1] == '' or string.upper(v[2]) == string.upper(ARGV[1])) then\n"
      "    redis.call('PEXPIRE', key, ARGV[2])\n"
      "    return v\n"
      "  end\n"
      "end\n"
      "return false\n";
  std::vector<std::string> command = {"EVAL", kLookUp, "0"};
  for (const std::string& session_id : session_ids)
    if (!session_id.empty() && session_id.size() <= kMaxIdLength) command.push_back(Key(session_id));
  if (command.size() == 3) return nullptr;
  command[2] = std::to_string(command.size() - 3);
  command.emplace_back(remote_ip);
  command.push_back(std::to_string(ttl_.load()));
  const RedisReply fields = Run({command}).front();
  if (fields.kind != RedisReply::Kind::Array || fields.elements.size() != 3) return nullptr;
  const RedisReply& id = fields.elements[0];
  const RedisReply& address = fields.elements[1];
  if (id.kind != RedisReply::Kind::Bulk || address.kind != RedisReply::Kind::Bulk) return nullptr;
  auto session = std::make_shared<Session>(id.text, address.text);
  DecodeContent(fields.elements[2].text, session->Content());
  return session;
}

SessionPtr RedisSessionStore::Create(std::string_view remote_ip, const SessionEvent& start) {
  for (;;) {
    auto session = std::make_shared<Session>(GetRandomString(kSessionIdLength),
                                                    std::string(remote_ip));
    if (start) start(*session);
    const std::string key = Key(session->SessionID());
    // An identifier already in use (practically never) is not given twice.
    if (Run({{"HSETNX", key, "id", session->SessionID()}}).front().integer == 0) continue;
    std::string content;
    {
      auto lock = session->LockContent();
      content = EncodeContent(session->Content());
    }
    Run({{"HSET", key, "addr", std::string(remote_ip), "content", content}, {"PEXPIRE", key, std::to_string(ttl_.load())}});
    return session;
  }
}

void RedisSessionStore::Save(Session& session) {
  std::string content;
  {
    auto lock = session.LockContent();
    content = EncodeContent(session.Content());
  }
  const std::string key = Key(session.SessionID());
  // A session that ended meanwhile comes back only as fields without its
  // identifier and address, which no look-up accepts; it expires again.
  Run({{"HSET", key, "content", content}, {"PEXPIRE", key, std::to_string(ttl_.load())}});
}

}  // namespace qv
