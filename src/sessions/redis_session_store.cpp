#include "sessions/redis_session_store.h"

#include "platform/ascii_text.h"

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
  if (url.size() < kScheme.size() || !ascii::EqualsNoCase(url.substr(0, kScheme.size()), kScheme))
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
  return std::string(kKeyPrefix) + ascii::ToUpper(session_id);
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

std::string RedisSessionStore::EncodedContent(const Session& session) {
  auto lock = session.LockContent();
  return EncodeContent(session.Content());
}

namespace {

// Lua: the microsecond Redis is at now, for the index's scores (exact in a
// double for ages to come), and as the text of a whole number: a number
// handed to Redis as it is would be written with 14 digits only.
constexpr const char* kNow =
    "local t = redis.call('TIME')\n"
    "local now = tonumber(t[1]) * 1000000 + tonumber(t[2])\n"
    "local score = string.format('%.0f', now)\n";

}  // namespace

SessionPtr RedisSessionStore::Find(const std::vector<std::string>& session_ids,
                                   std::string_view remote_ip, bool tls) {
  // One round trip for them all: read each session in turn, check its
  // address (case ignored, as the sessions in memory do) and whether the
  // request may use it, and renew the time-to-live and the index place of
  // the first that is the visitor's.
  static const std::string kLookUp =
      std::string(kNow) +
      "for i, key in ipairs(KEYS) do\n"
      "  if i > 1 then\n"
      "    local v = redis.call('HMGET', key, 'id', 'addr', 'content', 'tls')\n"
      "    if v[1] and v[2] and (ARGV[1] == '' or string.upper(v[2]) == string.upper(ARGV[1]))\n"
      "        and (v[4] ~= '1' or ARGV[3] == '1') then\n"
      "      redis.call('PEXPIRE', key, ARGV[2])\n"
      "      redis.call('ZADD', KEYS[1], score, key)\n"
      "      return v\n"
      "    end\n"
      "  end\n"
      "end\n"
      "return false\n";
  std::vector<std::string> command = {"EVAL", kLookUp, "0", std::string(kIndexKey)};
  for (const std::string& session_id : session_ids)
    if (!session_id.empty() && session_id.size() <= kMaxIdLength) command.push_back(Key(session_id));
  if (command.size() == 4) return nullptr;
  command[2] = std::to_string(command.size() - 3);
  command.emplace_back(remote_ip);
  command.push_back(std::to_string(ttl_.load()));
  command.push_back(tls ? "1" : "0");
  const RedisReply fields = Run({command}).front();
  if (fields.kind != RedisReply::Kind::Array || fields.elements.size() != 4) return nullptr;
  const RedisReply& id = fields.elements[0];
  const RedisReply& address = fields.elements[1];
  if (id.kind != RedisReply::Kind::Bulk || address.kind != RedisReply::Kind::Bulk) return nullptr;
  auto session = std::make_shared<Session>(id.text, address.text, fields.elements[3].text == "1");
  DecodeContent(fields.elements[2].text, session->Content());
  session->SetStored();
  return session;
}

bool RedisSessionStore::Add(Session& session) {
  // The session and its place in the index in one step; then the index
  // forgets the sessions that expired by themselves, and the least recently
  // used ones beyond the limit end.
  static const std::string kAdd =
      "if redis.call('EXISTS', KEYS[1]) == 1 then return 0 end\n"
      "redis.call('HSET', KEYS[1], 'id', ARGV[1], 'addr', ARGV[2], 'tls', ARGV[3], 'content', ARGV[4])\n"
      "redis.call('PEXPIRE', KEYS[1], ARGV[5])\n" +
      std::string(kNow) +
      "redis.call('ZADD', KEYS[2], score, KEYS[1])\n"
      "redis.call('ZREMRANGEBYSCORE', KEYS[2], '-inf', string.format('%.0f', now - 1000 * tonumber(ARGV[5])))\n"
      "local limit = tonumber(ARGV[6])\n"
      "if limit > 0 then\n"
      "  local over = math.min(redis.call('ZCARD', KEYS[2]) - limit, tonumber(ARGV[7]))\n"
      "  if over > 0 then\n"
      "    for _, key in ipairs(redis.call('ZRANGE', KEYS[2], 0, over - 1)) do redis.call('DEL', key) end\n"
      "    redis.call('ZREMRANGEBYRANK', KEYS[2], 0, over - 1)\n"
      "  end\n"
      "end\n"
      "return 1\n";
  const std::string content = EncodedContent(session);
  const RedisReply reply =
      Run({{"EVAL", kAdd, "2", Key(session.SessionID()), std::string(kIndexKey), session.SessionID(),
            session.RemoteHost(), session.TlsOnly() ? "1" : "0", content, std::to_string(ttl_.load()),
            std::to_string(max_sessions_.load()), std::to_string(kMaxEndedAtOnce)}})
          .front();
  if (reply.integer == 0) return false;
  session.SetStored();
  return true;
}

void RedisSessionStore::Save(Session& session) {
  // A session that ended meanwhile (a log-off on another server, the limit)
  // is not brought back.
  static const std::string kSave =
      "if redis.call('EXISTS', KEYS[1]) == 0 then return 0 end\n"
      "redis.call('HSET', KEYS[1], 'content', ARGV[1])\n"
      "redis.call('PEXPIRE', KEYS[1], ARGV[2])\n" +
      std::string(kNow) +
      "redis.call('ZADD', KEYS[2], score, KEYS[1])\n"
      "return 1\n";
  const std::string content = EncodedContent(session);
  Run({{"EVAL", kSave, "2", Key(session.SessionID()), std::string(kIndexKey), content,
        std::to_string(ttl_.load())}});
}

void RedisSessionStore::Remove(const Session& session) {
  const std::string key = Key(session.SessionID());
  Run({{"DEL", key}, {"ZREM", std::string(kIndexKey), key}});
}

}  // namespace qv
