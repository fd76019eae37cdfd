#include "web/request_router.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "router_fixture.h"

namespace qv::webtest {
namespace {

using Calls = std::vector<std::string>;

struct RouteCase {
  const char* path;
  Visitor visitor;
  std::vector<std::string> params;
  Calls calls;
  const char* logged_in_after;
};

constexpr Visitor kOut = Visitor::kNew;
constexpr Visitor kIn = Visitor::kLoggedIn;

TEST_F(RouterTest, RoutesByPathKeywordAndLogOnState) {
  const RouteCase cases[] = {
      // Logged out: the log-on form, else the main menu whatever the path.
      {"/LIST", kOut, {}, {"MainMenuPage"}, "False"},
      {"/propinfo", kOut, {"PROPID=4"}, {"MainMenuPage"}, "False"},
      {"/NOTHING", kOut, {}, {"MainMenuPage"}, "False"},
      {"/LOGON", kOut, {}, {"LogOnPage"}, "False"},
      {"/logon", kIn, {}, {"LogOnPage"}, "True"},
      // Logged in: the page table in its order.
      {"/", kIn, {}, {"MainMenuPage"}, "True"},
      {"", kIn, {}, {"MainMenuPage"}, "True"},
      {"//", kIn, {}, {"UnderConstructionPage"}, "True"},
      {"/nothing", kIn, {}, {"UnderConstructionPage"}, "True"},
      {"/IpInfo", kIn, {}, {"HttpInfoPage"}, "True"},
      {"/list", kIn, {}, {"PropertyListPage"}, "True"},
      {"/notes/list", kIn, {}, {"PropertyListPage"}, "True"},
      {"/Propinfo", kIn, {}, {"PropertyInfoPage"}, "True"},
      {"/People", kIn, {}, {"PeoplePage"}, "True"},
      {"/Access", kIn, {}, {"AccessPage"}, "True"},
      {"/Notes", kIn, {}, {"NotesPage"}, "True"},
      {"/Auth", kIn, {}, {"AuthorizationsPage"}, "True"},
      {"/AUTHORIZATIONS", kIn, {}, {"AuthorizationsPage"}, "True"},
      {"/x/auth/y", kIn, {}, {"AuthorizationsPage"}, "True"},
      {"/Violations", kIn, {}, {"ViolationsPage"}, "True"},
      {"/VDetail", kIn, {}, {"ViolationDetailPage"}, "True"},
      {"/Cpted", kIn, {}, {"CptedPage"}, "True"},
      // Two keywords: the one tested first wins.
      {"/cpted/violations", kIn, {}, {"ViolationsPage"}, "True"},
      {"/cpted/vdetail", kIn, {}, {"ViolationDetailPage"}, "True"},
      {"/vdetail/auth", kIn, {}, {"AuthorizationsPage"}, "True"},
      {"/people/ipinfo", kIn, {}, {"HttpInfoPage"}, "True"},
      {"/access/propinfo", kIn, {}, {"PropertyInfoPage"}, "True"},
      // Only the exact text "False" counts as logged out.
      {"/list", Visitor::kNoValue, {}, {"PropertyListPage"}, ""},
      {"/list", Visitor::kLowerFalse, {}, {"PropertyListPage"}, "false"},
      // Log-off answers with the main menu.
      {"/LOGOFF", kIn, {}, {"MainMenuPage"}, "False"},
      {"/logoff/list", kIn, {}, {"MainMenuPage"}, "False"},
      // The log-on check, then the page that follows from its outcome.
      {"/DOLOGIN", kOut, {"uName=alice", "uPass=pw"}, {"DoLogin", "MainMenuPage"}, "True"},
      {"/DOLOGIN", kIn, {"uName=alice", "uPass=PW"}, {"DoLogin", "MainMenuPage"}, "False"},
      {"/dologin/list", kOut, {"uName=alice", "uPass=pw"}, {"DoLogin", "MainMenuPage"}, "True"},
      {"/dologin/list", kIn, {"uName=bob", "uPass=pw"}, {"DoLogin", "MainMenuPage"}, "False"},
      {"/DOLOGIN/LOGON", kOut, {"uName=alice", "uPass=pw"}, {"DoLogin", "MainMenuPage"}, "True"},
      {"/DOLOGIN/LOGON", kOut, {"uName=bob", "uPass=pw"}, {"DoLogin", "LogOnPage"}, "False"},
      // Without a session: logged out, and nothing is kept.
      {"/list", Visitor::kNoSession, {}, {"MainMenuPage"}, "(none)"},
      {"/LOGON", Visitor::kNoSession, {}, {"LogOnPage"}, "(none)"},
      {"/LOGOFF", Visitor::kNoSession, {}, {"MainMenuPage"}, "(none)"},
      {"/DOLOGIN", Visitor::kNoSession, {"uName=alice", "uPass=pw"}, {"DoLogin", "MainMenuPage"},
       "(none)"},
  };
  for (const RouteCase& c : cases) {
    SCOPED_TRACE(std::string("path \"") + c.path + "\"");
    const Outcome outcome = Run(c.path, c.visitor, c.params);
    EXPECT_EQ(outcome.calls, c.calls);
    EXPECT_EQ(outcome.logged_in, c.logged_in_after);
    EXPECT_EQ(outcome.status, 200);
    EXPECT_FALSE(outcome.stream);
    std::string expected_body;
    for (const std::string& call : c.calls) {
      if (call != "DoLogin") expected_body += "<" + call + ">";
    }
    EXPECT_EQ(outcome.body, expected_body);
  }
}

TEST_F(RouterTest, SessionOfTheLogOnCheckIsGivenBackBeforeThePageTakesOne) {
  const Outcome outcome = Run("/DOLOGIN", kOut, {"uName=alice", "uPass=pw"});
  EXPECT_EQ(outcome.acquisitions, 2);
  EXPECT_EQ(lender_->most_outstanding, 1);
}

TEST_F(RouterTest, LogOffHoldsForTheNextRequestOfTheSession) {
  auto session = NewSession(kIn);
  EXPECT_EQ(Run("/LOGOFF", session).calls, Calls{"MainMenuPage"});
  EXPECT_EQ(Run("/LIST", session).calls, Calls{"MainMenuPage"});
  EXPECT_EQ(Run("/DOLOGIN", session, {"uName=alice", "uPass=pw"}).logged_in, "True");
  EXPECT_EQ(Run("/LIST", session).calls, Calls{"PropertyListPage"});
}

// Pages are ISO-8859-1 HTML; what a logged-on visitor sees, and every
// log-on and log-off answer, is kept by no cache; a log-on and a log-off ask
// for a new session identifier, and the session keeps the name logged on.
TEST_F(RouterTest, LogOnAndLogOffRenewTheSessionAndNoCacheKeepsPrivateAnswers) {
  const std::string page = "text/html; charset=ISO-8859-1";
  struct Case {
    const char* path;
    Visitor visitor;
    std::vector<std::string> params;
    bool no_store, renewed;
    const char* user_name;
    std::vector<std::string> events;
  } const cases[] = {
      {"/", kOut, {}, false, false, "", {}},
      {"/LOGON", kOut, {}, false, false, "", {}},
      {"/list", kOut, {}, false, false, "", {}},
      {"/list", kIn, {}, true, false, "", {}},
      {"/LOGON", kIn, {}, true, false, "", {}},
      {"/DOLOGIN", kOut, {"uName=alice", "uPass=pw"}, true, true, "alice",
       {"Log-on: user \"alice\" from 10.1.2.3"}},
      {"/DOLOGIN", kOut, {"uName=alice", "uPass=PW"}, true, false, "", {"Log-on failed: user \"alice\" from 10.1.2.3"}},
      // A logged-on visitor whom a wrong password logs off.
      {"/DOLOGIN", kIn, {"uName=bob", "uPass=pw"}, true, true, "", {"Log-on failed: user \"bob\" from 10.1.2.3"}},
      {"/LOGOFF", kIn, {}, true, true, "", {"Log-off: user \"\" from 10.1.2.3"}},
      {"/LOGOFF", kOut, {}, true, true, "", {}},
      {"/LOGOFF", Visitor::kNoSession, {}, true, true, "", {}},
  };
  remote_ip_ = "10.1.2.3";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + (c.params.empty() ? "" : c.params[0]));
    logon_events_.clear();
    const Outcome outcome = Run(c.path, c.visitor, c.params);
    EXPECT_EQ(outcome.content_type, page);
    EXPECT_EQ(outcome.no_store, c.no_store);
    EXPECT_EQ(outcome.renewed, c.renewed);
    EXPECT_EQ(outcome.user_name, c.user_name);
    EXPECT_EQ(logon_events_, c.events);
  }
  // The name goes with the log-off, and the log-off is told under it.
  auto session = NewSession(kOut);
  Run("/DOLOGIN", session, {"uName=alice", "uPass=pw"});
  logon_events_.clear();
  EXPECT_EQ(Run("/LOGOFF", session).user_name, "");
  EXPECT_EQ(logon_events_, std::vector<std::string>{"Log-off: user \"alice\" from 10.1.2.3"});
}

TEST(LogonEventTextTest, NamesAreQuotedAndEscaped) {
  EXPECT_EQ(LogonEventText({LogonEvent::Kind::kLoggedOn, "demo", "::1"}), "Log-on: user \"demo\" from ::1");
  EXPECT_EQ(LogonEventText({LogonEvent::Kind::kFailed, "a\"b\\c\nd\xE9", "10.0.0.1"}),
            "Log-on failed: user \"a\\x22b\\x5cc\\x0ad\\xe9\" from 10.0.0.1");
  EXPECT_EQ(LogonEventText({LogonEvent::Kind::kLoggedOff, "", "10.0.0.1"}), "Log-off: user \"\" from 10.0.0.1");
}

TEST_F(RouterTest, NewSessionStartsLoggedOut) {
  Session session("ABCDEFGHIJKLMNO", "127.0.0.1");
  router_.StartSession(session);
  EXPECT_EQ(session.Content().Text(), "LoggedIn=False\r\n");
}

// The named page writes part of itself, then raises a failure of the system
// (or, with std_error, one of another kind).
void FailHalfWay(PageStandIns& pages, std::string failing, bool std_error = false) {
  pages.behaviour = [failing, std_error](PageContext& page) {
    if (page.entry.name != failing) return PageStandIns::Default(page);
    page.out.WriteString("<html><body>half a page");
    if (std_error) throw std::runtime_error("not a system failure");
    throw Exception("Page failed half-way");
  };
}

TEST_F(RouterTest, FailureSendsOnlyTheMessageWithStatus500) {
  FailHalfWay(pages_, "PropertyListPage");
  const Outcome outcome = Run("/list", kIn);
  EXPECT_EQ(outcome.body, "Page failed half-way");
  EXPECT_EQ(outcome.status, 500);
  EXPECT_EQ(outcome.retry_after, "");
  EXPECT_FALSE(outcome.stream);
}

TEST_F(RouterTest, PoolTimeOutSendsItsMessageAsUnavailable) {
  pool_busy_ = true;
  for (const char* path : {"/list", "/LOGON", "/", "/DOLOGIN"}) {
    SCOPED_TRACE(path);
    const Outcome outcome = Run(path, kIn, {"uName=alice", "uPass=pw"});
    EXPECT_EQ(outcome.body, "Connection pool timeout. Cannot obtain a connection");
    EXPECT_EQ(outcome.status, 503);
    EXPECT_EQ(outcome.retry_after, "5");
    EXPECT_TRUE(outcome.calls.empty());
  }
}

TEST_F(RouterTest, OtherErrorsPassToTheEngineAndTheSessionIsStillGivenBack) {
  FailHalfWay(pages_, "MainMenuPage", true);
  Request request;
  request.document = "/";
  request.session = NewSession(kIn);
  Response response;
  EXPECT_THROW(router_.HandleRequest(nullptr, request, response), std::runtime_error);
  EXPECT_EQ(lender_->outstanding, 0);
}

class LogoTest : public RouterTest {
 protected:
  LogoTest() {
    folder_ = std::filesystem::temp_directory_path() /
              ("qv_logo_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  ~LogoTest() override { std::filesystem::remove_all(folder_); }
  void WriteLogo(const std::string& bytes) {
    std::ofstream(folder_ / "qv_logo_jpg.jpg", std::ios::binary) << bytes;
  }
  std::filesystem::path folder_;
};

TEST_F(LogoTest, AnyImagePathSendsTheLogoToEveryVisitor) {
  const std::string logo("\xFF\xD8\xFF\xE0\0\x10JFIF\0logo bytes\xFF\xD9", 24);
  WriteLogo(logo);
  for (const std::string& ht_docs : {folder_.string(), folder_.string() + "/"}) {
    ht_docs_ = ht_docs;
    for (const char* path : {"/image/qv_logo_jpg.jpg", "/image/anything.gif", "/x/Image"}) {
      for (Visitor visitor : {kOut, kIn, Visitor::kNoSession}) {
        SCOPED_TRACE(ht_docs + " " + path);
        const Outcome outcome = Run(path, visitor);
        EXPECT_TRUE(outcome.stream);
        EXPECT_EQ(outcome.body, logo);
        EXPECT_EQ(outcome.content_type, "image/jpeg");
        EXPECT_EQ(outcome.no_store, visitor == kIn);
        EXPECT_TRUE(outcome.calls.empty());
        EXPECT_EQ(outcome.acquisitions, 0);
      }
    }
  }
}

TEST_F(LogoTest, NoRegularLogoFileSendsNoBody) {
  ht_docs_ = folder_.string();
  const std::string logo = RequestRouter::LogoFileName(ht_docs_);
  // Nothing there, a folder in its place, a FIFO in its place (must not hang the open).
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"missing", [] {}},
      {"folder", [&] { std::filesystem::create_directory(logo); }},
      {"fifo", [&] { ASSERT_EQ(::mkfifo(logo.c_str(), 0600), 0); }},
  };
  for (const auto& [name, make] : cases) {
    SCOPED_TRACE(name);
    std::filesystem::remove_all(logo);
    make();
    const Outcome outcome = Run("/image/qv_logo_jpg.jpg", kIn);
    EXPECT_FALSE(outcome.stream);
    EXPECT_EQ(outcome.body, "");
    EXPECT_EQ(outcome.content_type, "");
    EXPECT_EQ(outcome.status, 200);
  }
  std::filesystem::remove_all(logo);
}

TEST_F(LogoTest, LogOffWithImageLogsOffAndSendsTheLogo) {
  WriteLogo("L");
  ht_docs_ = folder_.string();
  const Outcome outcome = Run("/logoff/image", kIn);
  EXPECT_EQ(outcome.body, "L");
  EXPECT_EQ(outcome.logged_in, "False");
}

TEST(LogoFileName, JoinsTheFolderAndTheLogoName) {
  EXPECT_EQ(RequestRouter::LogoFileName(""), "/qv_logo_jpg.jpg");
  EXPECT_EQ(RequestRouter::LogoFileName("/srv/htdocs"), "/srv/htdocs/qv_logo_jpg.jpg");
  EXPECT_EQ(RequestRouter::LogoFileName("/srv/htdocs/"), "/srv/htdocs/qv_logo_jpg.jpg");
  EXPECT_EQ(RequestRouter::LogoFileName("htdocs"), "htdocs/qv_logo_jpg.jpg");
}

}  // namespace
}  // namespace qv::webtest
