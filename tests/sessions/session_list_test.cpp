// The session list, its identifiers and the store's text form, without a server.
#include "sessions/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "sessions/redis_client.h"
#include "sessions/redis_session_store.h"

namespace qv {
namespace {

TEST(RedisLocationTest, UrlsAndTheirFaults) {
  const RedisLocation full = RedisLocation::Parse("redis://cache.local:6380/2");
  EXPECT_EQ(full.host, "cache.local");
  EXPECT_EQ(full.port, 6380);
  EXPECT_EQ(full.database, 2);
  const RedisLocation bare = RedisLocation::Parse("REDIS://127.0.0.1");
  EXPECT_EQ(bare.port, 6379);
  EXPECT_EQ(bare.database, 0);
  EXPECT_EQ(RedisLocation::Parse("redis://[::1]:7000/1").Text(), "redis://[::1]:7000/1");
  for (const char* bad : {"memory", "http://x:1/0", "redis://", "redis://:6379/0", "redis://h:0/0",
                          "redis://h:70000/0", "redis://h:12ab/0", "redis://h:1/x", "redis://[::1/0"}) {
    EXPECT_THROW(RedisLocation::Parse(bad), std::invalid_argument) << bad;
  }
}

TEST(RedisContentTest, ContentSurvivesEncoding) {
  NameValueList content;
  content.Add("LoggedIn=True");
  content.Add("odd=line\nfeed and \\ back\\nslash");
  content.Add("");
  content.Add("last=");
  NameValueList decoded;
  RedisSessionStore::DecodeContent(RedisSessionStore::EncodeContent(content), decoded);
  EXPECT_EQ(decoded.Lines(), content.Lines());
}

TEST(SessionIdTest, FifteenCharactersOfTheAlphabetAndDistinct) {
  const std::string alphabet = "qwertzuiopasdfghjklyxcvbnmQWERTZUIOPASDFGHJKLYXCVBNM1234567890";
  std::set<std::string> seen;
  std::set<char> used;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = GetRandomString(kSessionIdLength);
    ASSERT_EQ(id.size(), 15u);
    for (char c : id) {
      ASSERT_NE(alphabet.find(c), std::string::npos);
      used.insert(c);
    }
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_EQ(used.size(), 62u);
}

TEST(SessionListTest, ContentIsSerialisedPerSession) {
  SessionList list;
  const SessionPtr session = list.CreateUniqueSession("1.2.3.4");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        session->SetContentValue("k" + std::to_string(t), std::to_string(i));
        session->ContentValue("k0");
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(session->Content().Count(), 4u);
  EXPECT_EQ(session->ContentValue("k3"), "1999");
  EXPECT_EQ(list.GetSession(session->SessionID(), "1.2.3.4"), session);
  EXPECT_EQ(list.GetSession(session->SessionID(), ""), session);
  EXPECT_EQ(list.GetSession(session->SessionID(), "1.2.3.5"), nullptr);
}

TEST(SessionListTest, PurgeEndsStaleSessionsOnceAndKeepsUsedOnes) {
  SessionList list;
  list.session_timeout = 200;
  std::vector<std::string> ended;
  list.on_session_end = [&](Session& s) { ended.push_back(s.SessionID()); };
  const SessionPtr a = list.CreateUniqueSession("1.1.1.1");
  const SessionPtr b = list.CreateUniqueSession("1.1.1.1");
  const SessionPtr c = list.CreateUniqueSession("1.1.1.1");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(list.GetSession(a->SessionID(), "1.1.1.1"), a);  // a is used again
  list.PurgeStaleSessions(false);
  EXPECT_EQ(ended, (std::vector<std::string>{b->SessionID(), c->SessionID()}));
  EXPECT_EQ(list.GetSession(b->SessionID(), ""), nullptr);
  EXPECT_EQ(list.Count(), 1u);
  list.PurgeStaleSessions(true);
  EXPECT_EQ(ended.size(), 3u);
  EXPECT_EQ(ended.back(), a->SessionID());
  EXPECT_EQ(list.Count(), 0u);
}

// Idle ages are read on the steady clock: the wall clock jumping an hour
// forward ends no session used just now, and jumping back keeps none past
// its time-out. The stand-in is the list's steady clock; the wall clock
// moving leaves it where it was.
TEST(SessionListTest, AWallClockJumpNeitherEndsNorKeepsSessions) {
  static_assert(Session::Clock::is_steady);
  SessionList list;
  list.session_timeout = 60 * 1000;
  Session::Clock::time_point steady = Session::Clock::now();
  list.steady_now = [&] { return steady; };
  std::vector<std::string> ended;
  list.on_session_end = [&](Session& s) { ended.push_back(s.SessionID()); };
  const SessionPtr a = list.CreateUniqueSession("1.1.1.1");
  const SessionPtr b = list.CreateUniqueSession("1.1.1.1");

  // The wall clock an hour on: the steady clock has not moved.
  list.PurgeStaleSessions(false);
  EXPECT_TRUE(ended.empty()) << "just used";
  EXPECT_EQ(list.FindFirst({a->SessionID()}, "1.1.1.1"), a);

  // The wall clock two hours back; a minute passes on the steady clock.
  steady += std::chrono::milliseconds(60 * 1000 + 1);
  EXPECT_EQ(list.FindFirst({a->SessionID()}, "1.1.1.1"), nullptr) << "idle past its time-out";
  list.PurgeStaleSessions(false);
  EXPECT_EQ(ended, (std::vector<std::string>{a->SessionID(), b->SessionID()}));
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace qv
