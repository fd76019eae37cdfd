// The data answers over HTTP: the real server, router, pool and pages on a
// small embedded database; JSON when the Accept header prefers it, the same
// page bytes otherwise, 401 for a visitor not logged on, problems for a
// record that is not there, an id that is no number and a database outage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "http/http_server.h"
#include "pool/fixed_connection_pool.h"
#include "pool/session_settings.h"
#include "served_router.h"
#include "support/http_client.h"
#include "support/test_database.h"
#include "web/request_router.h"

namespace qv::webtest {
namespace {

using nlohmann::json;
using test::Exchange;
using test::HttpAnswer;

constexpr const char* kData = R"(
INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Norvale Housing Office');
INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (1, 'Alice', 'pw');
INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, NUM_UNITS) VALUES (1, 'Cedar Court', 8);
)";

constexpr const char* kJsonAccept = "application/json";
constexpr const char* kBrowserAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

class DataAnswersTest : public ServedRouterTest {
 protected:
  DataAnswersTest() : ServedRouterTest(kData, 1, 300) {}

  HttpAnswer Get(const std::string& target, const std::string& accept = "") {
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n";
    if (!cookie_.empty()) request += "Cookie: IDHTTPSESSIONID=" + cookie_ + "\r\n";
    if (!accept.empty()) request += "Accept: " + accept + "\r\n";
    return Keep(Exchange(port_, request + "\r\n"));
  }

  void LogOn() {
    const std::string form = "uName=alice&uPass=pw&B1=Submit";
    std::string request = "POST /DOLOGIN HTTP/1.1\r\nHost: localhost\r\n";
    if (!cookie_.empty()) request += "Cookie: IDHTTPSESSIONID=" + cookie_ + "\r\n";
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(form.size()) + "\r\n\r\n" + form;
    Keep(Exchange(port_, request));
  }

  // The answer is a problem of that status.
  static void ExpectProblem(const HttpAnswer& answer, int status) {
    EXPECT_EQ(answer.status, status);
    EXPECT_EQ(answer.Header("Content-Type"), "application/problem+json; charset=utf-8");
    const json problem = json::parse(answer.body);
    EXPECT_EQ(problem["status"], status);
    EXPECT_EQ(problem["type"], "about:blank");
    EXPECT_TRUE(problem["title"].is_string());
    EXPECT_TRUE(problem["detail"].is_string());
  }

  std::string cookie_;

 private:
  HttpAnswer Keep(HttpAnswer answer) {
    const std::string set_cookie = answer.Header("Set-Cookie");
    if (!set_cookie.empty()) {
      const size_t start = set_cookie.find('=') + 1;
      cookie_ = set_cookie.substr(start, set_cookie.find(';') - start);
    }
    EXPECT_EQ(answer.Header("Content-Length"), std::to_string(answer.body.size()));
    EXPECT_EQ(answer.Header("X-Content-Type-Options"), "nosniff");
    return answer;
  }
};

TEST_F(DataAnswersTest, JsonWhenAcceptPrefersItThePageOtherwise) {
  LogOn();
  const HttpAnswer data = Get("/propinfo?propid=1", kJsonAccept);
  EXPECT_EQ(data.status, 200);
  EXPECT_EQ(data.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(data.Header("Cache-Control"), "no-store");
  const json property = json::parse(data.body)["property"];
  EXPECT_EQ(property["name"], "Cedar Court");
  EXPECT_EQ(property["units"], 8);

  const HttpAnswer page = Get("/propinfo?propid=1");
  EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=ISO-8859-1");
  EXPECT_NE(page.body.find("<big><big><big><b>Cedar Court</big></big></big></b>"),
            std::string::npos);
  EXPECT_EQ(Get("/propinfo?propid=1", kBrowserAccept).body, page.body);
  EXPECT_EQ(Get("/propinfo?propid=1", "*/*").body, page.body);

  // A page without data answers its page whatever the header asks.
  const HttpAnswer info = Get("/ipinfo", kJsonAccept);
  EXPECT_EQ(info.status, 200);
  EXPECT_EQ(info.Header("Content-Type"), "text/html; charset=ISO-8859-1");
}

TEST_F(DataAnswersTest, VisitorNotLoggedOnGets401AndTheBrowserItsStartPage) {
  for (const char* target : {"/", "/list", "/propinfo?propid=1"}) {
    SCOPED_TRACE(target);
    ExpectProblem(Get(target, kJsonAccept), 401);
    const HttpAnswer page = Get(target, kBrowserAccept);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("NOT LOGGED IN"), std::string::npos);
  }
}

TEST_F(DataAnswersTest, RecordNotThereIs404AndAnIdThatIsNoNumber400) {
  LogOn();
  struct Case {
    const char* target;
    int status;
  };
  const Case cases[] = {
      {"/propinfo?propid=99", 404}, {"/people?propid=99", 404}, {"/vdetail?vid=5", 404},
      {"/notes?propid=x", 400},     {"/vdetail", 400},          {"/list?page=last", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ExpectProblem(Get(c.target, kJsonAccept), c.status);
    // The browser's page of the same request is shown as ever.
    const HttpAnswer page = Get(c.target);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=ISO-8859-1");
  }
}

TEST_F(DataAnswersTest, OutageIs503WithRetryAfterAndAProblem) {
  LogOn();
  outage_ = true;
  const HttpAnswer data = Get("/list", kJsonAccept);
  ExpectProblem(data, 503);
  EXPECT_EQ(data.Header("Retry-After"), "5");
  const HttpAnswer page = Get("/list");
  EXPECT_EQ(page.status, 503);
  EXPECT_EQ(page.Header("Retry-After"), "5");
  EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=ISO-8859-1");
}

}  // namespace
}  // namespace qv::webtest
