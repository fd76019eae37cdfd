// A visitor's whole visit over HTTP: the real server on a loopback port, the
// router, the pool and real database sessions on a small embedded database.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "http/http_server.h"
#include "pool/fixed_connection_pool.h"
#include "pool/session_settings.h"
#include "served_router.h"
#include "support/http_client.h"
#include "support/test_database.h"
#include "web/request_router.h"

namespace qv::webtest {
namespace {

using test::Exchange;
using test::HttpAnswer;

constexpr const char* kData = R"(
INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Norvale Housing Office');
INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');
INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South');
INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (1, 'Alice', 'pw');
INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (2, 'O''Brien', 'it''s');
)";

// Twelve properties "Cedar Court 01" to "Cedar Court 12" on "n Main Street",
// odd ones in North, even ones in South, and "Willow Row" on "5 Harbor Lane".
std::string PropertyRows() {
  std::string sql;
  for (int i = 1; i <= 13; ++i) {
    const std::string id = std::to_string(i);
    const std::string name = i == 13 ? "Willow Row" : "Cedar Court " + std::string(i < 10 ? "0" : "") + id;
    const std::string street = i == 13 ? "5 Harbor Lane" : id + " Main Street";
    sql += "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID) "
           "VALUES (" + id + ", '" + name + "', " + id + ", " + std::to_string(2 - i % 2) + ");\n";
    sql += "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_CITY) "
           "VALUES (" + id + ", " + id + ", '" + street + "', 'Norvale');\n";
  }
  return sql;
}

class EndToEndTest : public ServedRouterTest {
 protected:
  // Requests come one at a time; only the busy-pool test waits.
  EndToEndTest() : ServedRouterTest(std::string(kData) + PropertyRows(), 2, 300) {}

  // A GET on the visitor's session (a new one when there is no cookie yet).
  HttpAnswer Get(const std::string& target) {
    return Send("GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + CookieLine() + "\r\n");
  }

  HttpAnswer Post(const std::string& target, const std::string& form) {
    return Send("POST " + target + " HTTP/1.1\r\nHost: localhost\r\n" + CookieLine() +
                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                std::to_string(form.size()) + "\r\n\r\n" + form);
  }

  static bool Has(const HttpAnswer& answer, const std::string& text) {
    return answer.body.find(text) != std::string::npos;
  }
  static bool ShowsLoggedOutMenu(const HttpAnswer& answer) {
    return Has(answer, "<big><big><big>Main Menu</big></big></big>") && Has(answer, "NOT LOGGED IN") &&
           Has(answer, "<a href=\"/LOGON\">Logon</a>");
  }
  static bool ShowsLoggedInMenu(const HttpAnswer& answer) {
    return Has(answer, "<big><big><big>Main Menu</big></big></big>") && !Has(answer, "NOT LOGGED IN") &&
           Has(answer, "<a href=\"/LOGOFF\">Logoff</a>");
  }

  std::string cookie_;
  std::vector<std::string> cookies_;  // every session cookie issued, in order
  std::string expected_status_ = "HTTP/1.1 200 OK";

 private:
  std::string CookieLine() const {
    return cookie_.empty() ? std::string() : "Cookie: IDHTTPSESSIONID=" + cookie_ + "\r\n";
  }
  HttpAnswer Send(const std::string& request) {
    HttpAnswer answer = Exchange(port_, request);
    EXPECT_EQ(answer.status_line, expected_status_);
    EXPECT_EQ(answer.Header("Content-Length"), std::to_string(answer.body.size()));
    EXPECT_EQ(answer.Header("Content-Type"), "text/html; charset=ISO-8859-1");
    EXPECT_EQ(answer.Header("X-Frame-Options"), "DENY");
    EXPECT_EQ(answer.Header("Content-Security-Policy"), "frame-ancestors 'none'");
    EXPECT_EQ(answer.Header("X-Content-Type-Options"), "nosniff");
    const std::string set_cookie = answer.Header("Set-Cookie");
    if (!set_cookie.empty()) {
      const size_t start = set_cookie.find('=') + 1;
      cookie_ = set_cookie.substr(start, set_cookie.find(';') - start);
      cookies_.push_back(cookie_);
    }
    return answer;
  }
};

TEST_F(EndToEndTest, VisitorLogsOnListsSearchesPagesOpensAPropertyAndLogsOff) {
  const HttpAnswer first = Get("/");
  EXPECT_TRUE(ShowsLoggedOutMenu(first));
  EXPECT_TRUE(Has(first, "Norvale Housing Office"));
  ASSERT_EQ(cookie_.size(), 15u);

  EXPECT_TRUE(ShowsLoggedOutMenu(Get("/list"))) << "logged out: the list is not shown";
  EXPECT_TRUE(Has(Get("/LOGON"), "<form method=\"POST\" action=\"/DOLOGIN\">"));
  EXPECT_TRUE(ShowsLoggedOutMenu(Post("/DOLOGIN", "uName=alice&uPass=PW&B1=Submit")));
  ASSERT_EQ(cookies_.size(), 1u) << "a failed log-on keeps the session";
  EXPECT_TRUE(ShowsLoggedInMenu(Post("/DOLOGIN", "uName=+alice+&uPass=pw&B1=Submit")));
  ASSERT_EQ(cookies_.size(), 2u) << "a log-on gives a new session identifier";

  const HttpAnswer list = Get("/list");
  EXPECT_TRUE(Has(list, "<title>Property List</title>"));
  EXPECT_TRUE(Has(list, "<a href=\"/propinfo?propid=1\">Cedar Court 01</a>"));
  EXPECT_TRUE(Has(list, "<a href=\"/propinfo?propid=10\">Cedar Court 10</a>"));
  EXPECT_FALSE(Has(list, "Cedar Court 11"));
  EXPECT_TRUE(Has(list, "<a href=\"/list?page=2&AreaName=\">Next Page</a>"));

  const HttpAnswer page2 = Get("/list?page=2&AreaName=");
  EXPECT_TRUE(Has(page2, ">Cedar Court 11</a>"));
  EXPECT_TRUE(Has(page2, ">Willow Row</a>"));
  EXPECT_FALSE(Has(page2, ">Cedar Court 10</a>"));
  EXPECT_FALSE(Has(page2, "Next Page"));

  const HttpAnswer by_name = Get("/List?SearchValue=willow&PropName=Search+by+Property+Name&AreaName=ALL");
  EXPECT_TRUE(Has(by_name, "<a href=\"/propinfo?propid=13\">Willow Row</a>"));
  EXPECT_FALSE(Has(by_name, "Cedar Court"));

  const HttpAnswer by_street =
      Get("/List?SearchValue=main+street&Address=Search+by+Street+Address&AreaName=South");
  EXPECT_TRUE(Has(by_street, ">Cedar Court 02</a>"));
  EXPECT_FALSE(Has(by_street, ">Cedar Court 01</a>"));
  EXPECT_TRUE(Has(by_street, "<OPTION value=\"South\" selected>South<OPTION>North</OPTION>"));

  const HttpAnswer info = Get("/propinfo?propid=13");
  EXPECT_TRUE(Has(info, "<big><big><big><b>Willow Row</big></big></big></b>"));
  EXPECT_TRUE(Has(info, "5 Harbor Lane"));

  EXPECT_TRUE(ShowsLoggedOutMenu(Get("/LOGOFF")));
  EXPECT_EQ(cookies_.size(), 3u) << "a log-off gives a new session identifier";
  EXPECT_TRUE(ShowsLoggedOutMenu(Get("/list")));
}

// The identifier a visitor had before the log-on (which another may have
// planted) is worth nothing after it; pages with personal data, and the
// log-on and log-off answers, are kept by no cache.
TEST_F(EndToEndTest, LogOnAndLogOffEndTheOldSessionAndNoCacheKeepsPrivatePages) {
  const auto no_store = [](const HttpAnswer& answer) {
    return answer.Header("Cache-Control") == "no-store" && answer.Header("Pragma") == "no-cache";
  };
  EXPECT_FALSE(no_store(Get("/")));
  const std::string planted = cookie_;
  const HttpAnswer logged_on = Post("/DOLOGIN", "uName=alice&uPass=pw");
  EXPECT_TRUE(no_store(logged_on));
  const std::string session = cookie_;
  ASSERT_EQ(session.size(), 15u);
  EXPECT_NE(session, planted);
  EXPECT_NE(logged_on.Header("Set-Cookie").find("; path=/; HttpOnly; SameSite=Lax"), std::string::npos);

  cookie_ = planted;
  EXPECT_TRUE(ShowsLoggedOutMenu(Get("/list")));
  EXPECT_NE(cookie_, planted) << "the planted identifier still named a session";

  cookie_ = session;
  const HttpAnswer list = Get("/list");
  EXPECT_TRUE(Has(list, "<title>Property List</title>"));
  EXPECT_TRUE(no_store(list));
  const HttpAnswer logged_off = Get("/LOGOFF");
  EXPECT_TRUE(no_store(logged_off));
  EXPECT_NE(cookie_, session);
  cookie_ = session;
  EXPECT_TRUE(ShowsLoggedOutMenu(Get("/list")));
}

TEST_F(EndToEndTest, NameWithAQuoteLogsOn) {
  Get("/");
  EXPECT_TRUE(ShowsLoggedInMenu(Post("/DOLOGIN", "uName=o%27brien&uPass=it%27s")));
  EXPECT_TRUE(ShowsLoggedOutMenu(Post("/DOLOGIN", "uName=x%27+OR+%27a%27%3D%27a&uPass=x%27+OR+%27a%27%3D%27a")));
}

TEST_F(EndToEndTest, PoolTimeOutIsSentAsThePageWithStatus503) {
  Get("/");
  PoolLease first, second;
  pool_->Acquire(first);
  pool_->Acquire(second);  // both places lent out
  expected_status_ = "HTTP/1.1 503 Service Unavailable";
  const HttpAnswer answer = Get("/");
  EXPECT_EQ(answer.body, "Connection pool timeout. Cannot obtain a connection");
  EXPECT_EQ(answer.Header("Retry-After"), "5");
}

// Behind a trusted proxy the throttle counts the forwarded client, and the
// refusal is a whole answer that never reaches the database.
TEST_F(EndToEndTest, LogOnThrottleCountsTheForwardedClient) {
  server_.SetActive(false);
  server_.SetTrustedProxies(TrustedProxies::Parse("127.0.0.1"));
  server_.SetActive(true);
  port_ = server_.Bindings()[0].port;
  const auto log_on = [this](const std::string& client, const std::string& form) {
    return Exchange(port_, "POST /DOLOGIN HTTP/1.1\r\nHost: localhost\r\nX-Forwarded-For: " + client +
                               "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                               "Content-Length: " + std::to_string(form.size()) + "\r\n\r\n" + form);
  };
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(log_on("203.0.113.1", "uName=alice&uPass=wrong" + std::to_string(i)).status_line,
              "HTTP/1.1 200 OK");
  }
  const HttpAnswer refused = log_on("203.0.113.1", "uName=alice&uPass=pw");
  EXPECT_EQ(refused.status_line, "HTTP/1.1 429 Too Many Requests");
  const int retry_after = std::stoi(refused.Header("Retry-After"));
  EXPECT_GE(retry_after, 55);
  EXPECT_LE(retry_after, 60);
  EXPECT_EQ(refused.body, "Too many failed log-ons; try again in " + refused.Header("Retry-After") +
                              " seconds.\r\n");
  EXPECT_EQ(refused.Header("Content-Length"), std::to_string(refused.body.size()));
  // Another client behind the same proxy logs on, under that name too.
  const HttpAnswer other = log_on("203.0.113.2", "uName=alice&uPass=pw");
  EXPECT_EQ(other.status_line, "HTTP/1.1 200 OK");
  EXPECT_TRUE(ShowsLoggedInMenu(other));
}

}  // namespace
}  // namespace qv::webtest
