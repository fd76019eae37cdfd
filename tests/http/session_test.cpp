#include "sessions/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <regex>
#include <set>

#include "http/exceptions.h"
#include "redis_server.h"
#include "sessions/redis_client.h"
#include "sessions/redis_session_store.h"
#include "test_support.h"

namespace qv {
namespace {

// The session cookie value of an answer, or empty text; counts the cookies.
std::string SessionCookie(const std::string& answer, int* count = nullptr) {
  static const std::regex cookie("Set-Cookie: IDHTTPSESSIONID=([A-Za-z0-9]{15}); path=/; HttpOnly; SameSite=Lax\r\n");
  std::string id;
  int n = 0;
  for (auto it = std::sregex_iterator(answer.begin(), answer.end(), cookie); it != std::sregex_iterator();
       ++it, ++n)
    id = (*it)[1];
  if (count) *count = n;
  return id;
}

std::string Request(const std::string& cookies = "") {
  return "GET / HTTP/1.1\r\n" + cookies + "\r\n";
}

// One Redis for every test that keeps its sessions there.
test::RedisServer& SharedRedis() {
  static test::RedisServer redis;
  return redis;
}

// The engine with sessions, in its own memory or (redis_ set) in Redis.
class SessionFixture : public ::testing::Test {
 protected:
  // max_sessions: the server's MaxSessions (0: no limit).
  void Start(int timeout_ms, size_t max_sessions = 0) {
    HttpServer::Events events;
    events.on_session_store_error = [this](const std::string& message) {
      std::lock_guard lock(mutex_);
      store_errors_.push_back(message);
    };
    events.on_session_start = [](Session& s) { s.Content().SetValue("LoggedIn", "False"); };
    events.on_session_end = [this](Session& s) {
      std::lock_guard lock(mutex_);
      ended_.push_back(s.SessionID());
    };
    events.on_command_get = [this](ConnectionContext*, qv::Request& req, Response& r) {
      // The body names the session the handler got and its LoggedIn value.
      if (req.session)
        r.content_text = req.session->SessionID() + "|" + req.session->ContentValue("LoggedIn");
      else
        r.content_text = "none";
      if (req.session && req.document == "/login") req.session->SetContentValue("LoggedIn", "True");
      // A log-on and a log-off as the router makes them: a new identifier.
      if (req.session && (req.document == "/renew" || req.document == "/logout")) {
        req.session->SetContentValue("LoggedIn", req.document == "/renew" ? "True" : "False");
        r.renew_session = true;
      }
    };
    server_.emplace(std::move(events));
    if (redis_) server_->SetSessionStore(std::make_shared<RedisSessionStore>(
                    RedisLocation::Parse(SharedRedis().Url())));
    server_->SetSessionState(true);
    server_->SetAutoStartSession(true);
    server_->SetSessionTimeOut(timeout_ms);
    server_->SetMaxSessions(max_sessions);
    port_ = test::StartOnLoopback(*server_);
  }
  std::string Get(const std::string& request, const char* source = nullptr) {
    return test::Exchange(port_, request, {.source_ip = source}).raw;
  }
  std::vector<std::string> Ended() {
    std::lock_guard lock(mutex_);
    return ended_;
  }

  // The session keys in Redis, and the index's size.
  long long StoredSessions() {
    RedisConnection redis("127.0.0.1", SharedRedis().Port(), 1000);
    const RedisReply keys = redis.Command({"KEYS", std::string(RedisSessionStore::kKeyPrefix) + "*"});
    const long long indexed = redis.Command({"ZCARD", std::string(RedisSessionStore::kIndexKey)}).integer;
    EXPECT_EQ(indexed, static_cast<long long>(keys.elements.size()));
    return static_cast<long long>(keys.elements.size());
  }
  void FlushRedis() { RedisConnection("127.0.0.1", SharedRedis().Port(), 1000).Command({"FLUSHALL"}); }

  std::vector<std::string> StoreErrors() {
    std::lock_guard lock(mutex_);
    return store_errors_;
  }

  bool redis_ = false;
  std::mutex mutex_;
  std::vector<std::string> ended_;
  std::vector<std::string> store_errors_;
  std::optional<HttpServer> server_;  // last: stopped first, while its handlers' data still exists
  int port_ = 0;
};

// The behaviour every session store keeps.
class SessionTest : public SessionFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override { redis_ = GetParam() == "redis"; }
};

INSTANTIATE_TEST_SUITE_P(Stores, SessionTest, ::testing::Values("memory", "redis"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// What only sessions in the server's memory do (end events, the cleaner).
using MemorySessionTest = SessionFixture;

TEST_P(SessionTest, FirstRequestGetsOneCookieAndAStartedSession) {
  Start(600000);
  int count = 0;
  const std::string answer = Get(Request());
  const std::string id = SessionCookie(answer, &count);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(id.size(), 15u);
  EXPECT_EQ(test::BodyOf(answer), id + "|False");
}

TEST_P(SessionTest, CookieLookupTable) {
  Start(600000);
  const std::string id = SessionCookie(Get(Request()));
  ASSERT_FALSE(id.empty());
  std::string other_case = id;
  for (char& c : other_case) c = std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c);
  // Pieces that cannot name a session: never looked up, whatever their number.
  std::string malformed;
  for (int i = 0; i < 100; ++i) malformed += i % 2 ? "IDHTTPSESSIONID=x; " : "IDHTTPSESSIONID=" + id + "!; ";

  struct Case {
    std::string name;
    std::string cookies;
    const char* source;
    bool same_session;
  } const cases[] = {
      {"same cookie", "Cookie: IDHTTPSESSIONID=" + id + "\r\n", nullptr, true},
      {"other letter case", "Cookie: IDHTTPSESSIONID=" + other_case + "\r\n", nullptr, true},
      {"cookie name in lower case", "Cookie: idhttpsessionid=" + id + "\r\n", nullptr, true},
      {"unknown then live", "Cookie: IDHTTPSESSIONID=unknownunknown1; IDHTTPSESSIONID=" + id + "\r\n",
       nullptr, true},
      {"among other cookies", "Cookie: a=1\r\nCookie: b=2; IDHTTPSESSIONID=" + id + "\r\n", nullptr, true},
      {"after malformed pieces", "Cookie: " + malformed + "IDHTTPSESSIONID=" + id + "\r\n", nullptr, true},
      {"the same id twice first", "Cookie: IDHTTPSESSIONID=unknownunknown1; idhttpsessionid=UNKNOWNUNKNOWN1; "
                                  "IDHTTPSESSIONID=" + id + "\r\n", nullptr, true},
      {"other address", "Cookie: IDHTTPSESSIONID=" + id + "\r\n", "127.0.0.2", false},
      {"unknown id", "Cookie: IDHTTPSESSIONID=unknownunknown1\r\n", nullptr, false},
      {"no cookie", "", nullptr, false},
  };
  for (const Case& c : cases) {
    int count = 0;
    const std::string answer = Get(Request(c.cookies), c.source);
    const std::string issued = SessionCookie(answer, &count);
    if (c.same_session) {
      EXPECT_EQ(count, 0) << c.name;
      EXPECT_EQ(test::BodyOf(answer), id + "|False") << c.name;
    } else {
      EXPECT_EQ(count, 1) << c.name;
      EXPECT_NE(issued, id) << c.name;
      EXPECT_EQ(test::BodyOf(answer), issued + "|False") << c.name;
    }
  }
}

TEST_P(SessionTest, ContentPersistsBetweenRequests) {
  Start(600000);
  const std::string id = SessionCookie(Get("GET /login HTTP/1.1\r\n\r\n"));
  EXPECT_EQ(test::BodyOf(Get(Request("Cookie: IDHTTPSESSIONID=" + id + "\r\n"))), id + "|True");
}

// A log-on or a log-off: one new cookie, the Content under it, and the old
// identifier gone at once.
TEST_P(SessionTest, RenewalMovesTheSessionToANewIdentifierAndEndsTheOldOne) {
  Start(600000);
  const std::string first = SessionCookie(Get(Request()));
  int count = 0;
  const std::string logged_on =
      SessionCookie(Get("GET /renew HTTP/1.1\r\nCookie: IDHTTPSESSIONID=" + first + "\r\n\r\n"), &count);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(logged_on.size(), 15u);
  EXPECT_NE(logged_on, first);
  std::string answer = Get(Request("Cookie: IDHTTPSESSIONID=" + logged_on + "\r\n"));
  SessionCookie(answer, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(test::BodyOf(answer), logged_on + "|True");
  // The planted identifier is worth nothing now.
  const std::string again = SessionCookie(answer = Get(Request("Cookie: IDHTTPSESSIONID=" + first + "\r\n")));
  EXPECT_NE(again, first);
  EXPECT_EQ(test::BodyOf(answer), again + "|False");
  const std::vector<std::string> ended = Ended();
  if (!redis_) {
    EXPECT_NE(std::find(ended.begin(), ended.end(), first), ended.end());
  }

  const std::string logged_off =
      SessionCookie(Get("GET /logout HTTP/1.1\r\nCookie: IDHTTPSESSIONID=" + logged_on + "\r\n\r\n"), &count);
  EXPECT_EQ(count, 1);
  EXPECT_NE(logged_off, logged_on);
  EXPECT_EQ(test::BodyOf(Get(Request("Cookie: IDHTTPSESSIONID=" + logged_off + "\r\n"))), logged_off + "|False");
  const std::string after = SessionCookie(answer = Get(Request("Cookie: IDHTTPSESSIONID=" + logged_on + "\r\n")));
  EXPECT_EQ(test::BodyOf(answer), after + "|False");

  // A visitor without a cookie who logs on gets one cookie, the renewed one.
  answer = Get("GET /renew HTTP/1.1\r\n\r\n");
  const std::string direct = SessionCookie(answer, &count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(test::BodyOf(Get(Request("Cookie: IDHTTPSESSIONID=" + direct + "\r\n"))), direct + "|True");
}

TEST_P(SessionTest, IdleSessionsEndAfterTheTimeout) {
  Start(100);
  const std::string id = SessionCookie(Get(Request()));
  if (redis_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // Redis ends it by itself
  } else {
    ASSERT_TRUE(test::WaitFor([&] { return !Ended().empty(); }));
    EXPECT_EQ(Ended(), std::vector<std::string>{id});
  }
  // The old cookie now gets a new session.
  int count = 0;
  const std::string fresh = SessionCookie(Get(Request("Cookie: IDHTTPSESSIONID=" + id + "\r\n")), &count);
  EXPECT_EQ(count, 1);
  EXPECT_NE(fresh, id);
}

TEST_P(SessionTest, SessionsInUseSurviveCleanerPasses) {
  Start(60000);
  const std::string id = SessionCookie(Get(Request()));
  // Two cleaner passes go by.
  std::this_thread::sleep_for(SessionCleaner::kInterval * 2 + std::chrono::milliseconds(100));
  int count = 0;
  const std::string answer = Get(Request("Cookie: IDHTTPSESSIONID=" + id + "\r\n"));
  SessionCookie(answer, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(test::BodyOf(answer), id + "|False");
  EXPECT_TRUE(Ended().empty());
}

TEST_P(SessionTest, ZeroTimeoutSwitchesSessionsOff) {
  Start(0);
  EXPECT_FALSE(server_->SessionState());
  const std::string answer = Get(Request());
  EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 4\r\n\r\nnone");
}

TEST_F(MemorySessionTest, DeactivationEndsEverySessionOnce) {
  Start(600000);
  std::set<std::string> ids;
  for (int i = 0; i < 5; ++i) ids.insert(SessionCookie(Get(Request())));
  server_->SetActive(false);
  const std::vector<std::string> ended = Ended();
  EXPECT_EQ(std::set<std::string>(ended.begin(), ended.end()), ids);
  EXPECT_EQ(ended.size(), ids.size());
  EXPECT_EQ(server_->SessionList().Count(), 0u);
}

TEST_F(MemorySessionTest, SessionStateCannotChangeWhileActive) {
  Start(600000);
  try {
    server_->SetSessionState(false);
    FAIL() << "no exception";
  } catch (const SessionStateLocked& e) {
    EXPECT_STREQ(e.what(), "Cannot change session state when the server is active.");
  }
  EXPECT_TRUE(server_->SessionState());
}

// Sessions in Redis: shared by two servers, kept across a Redis restart, and
// a Redis that cannot be reached answered with 503, not with a lost session.
class RedisSessionTest : public SessionFixture {
 protected:
  void SetUp() override { redis_ = true; }
};

TEST_F(RedisSessionTest, VisitorsNotLoggedOnCostTheStoreNothing) {
  Start(600000);
  FlushRedis();
  std::string id;
  for (int i = 0; i < 50; ++i) id = SessionCookie(Get(Request()));
  // Their sessions are this server's alone, and work as any other.
  EXPECT_EQ(test::BodyOf(Get(Request("Cookie: IDHTTPSESSIONID=" + id + "\r\n"))), id + "|False");
  EXPECT_EQ(StoredSessions(), 0);
  const std::string logged_on = SessionCookie(Get("GET /renew HTTP/1.1\r\nCookie: IDHTTPSESSIONID=" + id + "\r\n\r\n"));
  EXPECT_EQ(StoredSessions(), 1);
  // A log-off leaves nothing worth keeping: out of the store again.
  Get("GET /logout HTTP/1.1\r\nCookie: IDHTTPSESSIONID=" + logged_on + "\r\n\r\n");
  EXPECT_EQ(StoredSessions(), 0);
}

// MaxSessions bounds the sessions in Redis too: beyond it, the least
// recently used ones end.
TEST_F(RedisSessionTest, MaxSessionsBoundsTheStore) {
  Start(600000, 3);
  FlushRedis();
  std::vector<std::string> ids;
  for (int i = 0; i < 10; ++i) ids.push_back(SessionCookie(Get("GET /renew HTTP/1.1\r\n\r\n")));
  EXPECT_EQ(StoredSessions(), 3);
  for (int i = 0; i < 10; ++i) {
    const std::string body = test::BodyOf(Get(Request("Cookie: IDHTTPSESSIONID=" + ids[i] + "\r\n")));
    EXPECT_EQ(body.substr(body.find('|')), i < 7 ? "|False" : "|True") << i;
  }
  // A limit raised by a restart holds from the next session on.
  server_->SetMaxSessions(5);
  server_->Restart(1000);
  for (int i = 0; i < 10; ++i) Get("GET /renew HTTP/1.1\r\n\r\n");
  EXPECT_EQ(StoredSessions(), 5);
}

TEST_F(RedisSessionTest, TwoServersShareTheSessions) {
  Start(600000);
  HttpServer::Events other_events;
  other_events.on_command_get = [](ConnectionContext*, qv::Request& req, Response& r) {
    r.content_text = "other:" + req.session->SessionID() + "|" + req.session->ContentValue("LoggedIn");
  };
  HttpServer other(std::move(other_events));
  other.SetSessionStore(std::make_shared<RedisSessionStore>(RedisLocation::Parse(SharedRedis().Url())));
  other.SetSessionState(true);
  other.SetAutoStartSession(true);
  other.SetSessionTimeOut(600000);
  const int other_port = test::StartOnLoopback(other);

  const std::string id = SessionCookie(Get("GET /login HTTP/1.1\r\n\r\n"));
  ASSERT_FALSE(id.empty());
  int count = 0;
  const std::string answer = test::Exchange(other_port, Request("Cookie: IDHTTPSESSIONID=" + id + "\r\n")).raw;
  SessionCookie(answer, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(test::BodyOf(answer), "other:" + id + "|True");
  other.SetActive(false);
}

TEST_F(RedisSessionTest, RedisStoppedAnswers503AndStartedAgainRecoversTheSession) {
  Start(600000);
  const std::string id = SessionCookie(Get("GET /login HTTP/1.1\r\n\r\n"));
  ASSERT_FALSE(id.empty());
  const std::string cookie = "Cookie: IDHTTPSESSIONID=" + id + "\r\n";

  SharedRedis().Stop();
  // A visitor without a cookie has nothing in the store: served, logged out.
  const std::string fresh = Get(Request());
  EXPECT_EQ(test::BodyOf(fresh), SessionCookie(fresh) + "|False");
  // A log-on needs the store.
  for (const std::string& request : {Request(cookie), std::string("GET /renew HTTP/1.1\r\n\r\n"), Request(cookie)}) {
    const std::string answer = Get(request);
    EXPECT_EQ(answer.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << answer;
    EXPECT_NE(test::HeadOf(answer).find("\r\nRetry-After: 5\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("Set-Cookie"), std::string::npos) << answer;
    EXPECT_EQ(test::BodyOf(answer), "The session store cannot be reached; please try again shortly.\r\n");
  }
  // Reported once for the burst, naming the store.
  const std::vector<std::string> errors = StoreErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(SharedRedis().Url()), std::string::npos) << errors[0];

  SharedRedis().Start();
  int count = 0;
  const std::string answer = Get(Request(cookie));
  SessionCookie(answer, &count);
  EXPECT_EQ(count, 0) << answer;
  EXPECT_EQ(test::BodyOf(answer), id + "|True");
}

// The calls of one command since Redis last reset its statistics.
long long CommandCalls(RedisConnection& redis, const std::string& command) {
  const std::string info = redis.Command({"INFO", "commandstats"}).text;
  const std::string key = "cmdstat_" + command + ":calls=";
  const size_t at = info.find(key);
  return at == std::string::npos ? 0 : std::stoll(info.substr(at + key.size()));
}

TEST_F(RedisSessionTest, ManySessionCookiesCostOneLookUp) {
  Start(600000);
  const std::string id = SessionCookie(Get(Request()));
  ASSERT_FALSE(id.empty());
  std::string unknown, malformed;
  for (int i = 0; i < 127; ++i) {
    const std::string n = std::to_string(1000 + i);
    unknown += "IDHTTPSESSIONID=unknownunk" + n + "z; ";
    malformed += "IDHTTPSESSIONID=bad" + n + "; ";
  }
  struct Case {
    const char* name;
    std::string cookies;
    bool same_session;
  } const cases[] = {
      {"127 unknown identifiers, then the live one", unknown + "IDHTTPSESSIONID=" + id, false},
      {"127 malformed pieces, then the live one", malformed + "IDHTTPSESSIONID=" + id, true},
      {"three unknown identifiers, then the live one",
       "IDHTTPSESSIONID=unknownunknown1; IDHTTPSESSIONID=unknownunknown2; IDHTTPSESSIONID=unknownunknown3; "
       "IDHTTPSESSIONID=" + id, true},
  };
  RedisConnection redis("127.0.0.1", SharedRedis().Port(), 1000);
  for (const Case& c : cases) {
    ASSERT_EQ(redis.Command({"CONFIG", "RESETSTAT"}).kind, RedisReply::Kind::Status);
    int count = 0;
    const std::string answer = Get(Request("Cookie: " + c.cookies + "\r\n"));
    const std::string issued = SessionCookie(answer, &count);
    EXPECT_EQ(CommandCalls(redis, "eval"), 1) << c.name;
    EXPECT_EQ(count, c.same_session ? 0 : 1) << c.name;
    EXPECT_EQ(test::BodyOf(answer), (c.same_session ? id : issued) + "|False") << c.name;
  }
}

}  // namespace
}  // namespace qv
