// The property list's CSV over HTTP: the real server, router, pool and
// pages on a small embedded database. The export is sent as it is read,
// without a length (the close ends it), holds every row the search matches in
// the list's order, and gives its database session back when it ends, when
// only its head is asked for (no row read then), when its client goes away
// and when the database fails midway (the body ends short, the failure is
// told); a refusal and a failure before the first byte keep their status
// with a problem body; a dead pooled connection is replaced before it; an
// export beyond the ones let run at once is refused.
#include <gtest/gtest.h>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
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
#include "support/oak_properties.h"
#include "support/python_csv.h"
#include "support/test_database.h"
#include "pages/logon_state.h"
#include "pages/page_table.h"
#include "pages/property_csv.h"
#include "web/csv_answer_stream.h"
#include "web/http_page_request.h"
#include "web/request_router.h"

namespace qv::webtest {
namespace {

using nlohmann::json;
using test::Exchange;
using test::HttpAnswer;

constexpr int kProperties = 3000;
constexpr const char* kCsvAccept = "text/csv";

// Properties "Oak 0001" to "Oak 3000" on "n Main St", in area North (odd) or
// South (even); more rows than one chunk of the export holds.
std::string CsvData() {
  std::string sql =
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Norvale Housing Office');"
      "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (1, 'Alice', "
      "'pw');"
      "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
      "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South');";
  return sql + test::OakPropertyRows(kProperties, ", rear");
}

class CsvAnswerTest : public ServedRouterTest {
 protected:
  // One session unless given: a request that follows an export gets it only
  // once the export gave it back.
  explicit CsvAnswerTest(int sessions = 1) : ServedRouterTest(CsvData(), sessions, 3000) {
    router_->SetOnPageFailure([this](const PageFailure&) { ++failures_; });
  }

  std::string RequestText(const std::string& method, const std::string& target,
                      const std::string& accept) const {
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: localhost\r\n";
    if (!cookie_.empty()) request += "Cookie: IDHTTPSESSIONID=" + cookie_ + "\r\n";
    if (!accept.empty()) request += "Accept: " + accept + "\r\n";
    return request + "\r\n";
  }

  HttpAnswer Get(const std::string& target, const std::string& accept = "",
                 const std::string& method = "GET") {
    return Exchange(port_, RequestText(method, target, accept));
  }

  void LogOn() {
    const std::string form = "uName=alice&uPass=pw&B1=Submit";
    const std::string request =
        "POST /DOLOGIN HTTP/1.1\r\nHost: localhost\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
        std::to_string(form.size()) + "\r\n\r\n" + form;
    const HttpAnswer answer = Exchange(port_, request);
    const std::string set_cookie = answer.Header("Set-Cookie");
    ASSERT_FALSE(set_cookie.empty());
    const size_t start = set_cookie.find('=') + 1;
    cookie_ = set_cookie.substr(start, set_cookie.find(';') - start);
  }

  // A page that needs the pool's one session is answered.
  void ExpectSessionFree() {
    const HttpAnswer page = Get("/propinfo?propid=7", "application/json");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(json::parse(page.body)["property"]["name"], "Oak 0007");
  }

  static void ExpectProblem(const HttpAnswer& answer, int status) {
    EXPECT_EQ(answer.status, status);
    EXPECT_EQ(answer.Header("Content-Type"), "application/problem+json; charset=utf-8");
    EXPECT_EQ(answer.Header("Content-Disposition"), "");
    const json problem = json::parse(answer.body);
    EXPECT_EQ(problem["status"], status);
    EXPECT_TRUE(problem["detail"].is_string());
  }

  std::atomic<int> failures_{0};
  std::string cookie_;
};

TEST_F(CsvAnswerTest, EveryMatchingRowInTheListsOrderSentWithoutALength) {
  LogOn();
  struct Case {
    const char* target;
    int first;  // the first property id, then every `step`th
    int step;
    int rows;
  };
  const Case cases[] = {
      {"/list", 1, 1, kProperties},
      {"/list?page=4&AreaName=South", 2, 2, kProperties / 2},
      {"/list?SearchValue=oak%202&PropName=a", 2000, 1, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const HttpAnswer answer = Get(c.target, kCsvAccept);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.Header("Content-Type"), "text/csv; charset=utf-8; header=present");
    EXPECT_EQ(answer.Header("Content-Disposition"), "attachment; filename=\"properties.csv\"");
    EXPECT_EQ(answer.Header("Cache-Control"), "no-store");
    EXPECT_EQ(answer.Header("Pragma"), "no-cache");
    EXPECT_EQ(answer.Header("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(answer.Header("X-Frame-Options"), "DENY");
    EXPECT_EQ(answer.Header("Content-Length"), "");
    EXPECT_EQ(answer.Header("Connection"), "close");
    const json rows = test::ReadCsvWithPython(answer.body);
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.rows) + 1);
    EXPECT_EQ(rows[0], json({"id", "name", "address1", "address2", "city", "state", "zipcode",
                             "units"}));
    for (int i = 1; i <= c.rows; ++i) {
      const int id = c.first + (i - 1) * c.step;
      char name[16];
      std::snprintf(name, sizeof name, "Oak %04d", id);
      ASSERT_EQ(rows[i], json({std::to_string(id), name, std::to_string(id) + " Main St, rear", "",
                               "Norvale", "WA", "", std::to_string(id % 7)}))
          << "row " << i;
    }
    ExpectSessionFree();
  }
  EXPECT_GT(Get("/list", kCsvAccept).body.size(), 2 * 65536u) << "more than one chunk";
  EXPECT_EQ(failures_, 0);
}

TEST_F(CsvAnswerTest, HeadSendsTheHeadReadsNoRowAndGivesTheSessionBack) {
  LogOn();
  auto statements_run = [this] {
    PoolLease lease;
    pool_->Acquire(lease, AcquireMode::kAny);
    return lease.Session().Counts().executed;
  };
  const uint64_t before = statements_run();
  const HttpAnswer head = Get("/list", kCsvAccept, "HEAD");
  EXPECT_EQ(statements_run(), before);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("Content-Type"), "text/csv; charset=utf-8; header=present");
  EXPECT_EQ(head.body, "");
  ExpectSessionFree();
}

TEST_F(CsvAnswerTest, AClientThatGoesAwayLeavesTheSessionFree) {
  LogOn();
  {
    test::LoopbackClient client(port_);
    client.Send(RequestText("GET", "/list", kCsvAccept));
    EXPECT_NE(client.ReadUntil("\r\n\r\n").find("200 OK"), std::string::npos);
  }
  ExpectSessionFree();
}

TEST_F(CsvAnswerTest, VisitorNotLoggedOnGets401AndTheBrowserItsStartPage) {
  ExpectProblem(Get("/list", kCsvAccept), 401);
  const HttpAnswer page = Get("/list", "text/html,*/*;q=0.8");
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("NOT LOGGED IN"), std::string::npos);
}

TEST_F(CsvAnswerTest, OutageBeforeTheFirstByteIs503WithAProblem) {
  LogOn();
  outage_ = true;
  const HttpAnswer answer = Get("/list", kCsvAccept);
  ExpectProblem(answer, 503);
  EXPECT_EQ(answer.Header("Retry-After"), "5");
  EXPECT_EQ(failures_, 1);
  outage_ = false;
  ExpectSessionFree();
}

TEST_F(CsvAnswerTest, ADatabaseFailureMidwayEndsTheBodyAndIsTold) {
  LogOn();
  PoolLease lease;
  pool_->Acquire(lease, AcquireMode::kAny);
  const std::shared_ptr<DatabaseSession> session = lease.SharedSession();
  qv::Request request;
  HttpPageRequest page_request(request);
  PageStream out;
  PageContext context{page_request, out,           lease.Session(), SystemClock::Instance(),
                      PageNamed("PropertyListPage"), errors_};
  auto csv = std::make_unique<PropertyListCsv>(context);
  std::string first;
  csv->Next(first);
  std::string failure;
  CsvAnswerStream stream(std::move(lease), std::move(csv), std::move(first),
                         [&failure](const Exception& error) { failure = error.Message(); });
  std::string body(kCsvChunkBytes * 2, '\0');
  size_t got = stream.Read(body.data(), body.size());
  EXPECT_GE(got, kCsvChunkBytes);
  EXPECT_TRUE(stream.Reading());
  // The connection dropped under the export.
  ASSERT_TRUE(session->Connection().CancelOperation(true));
  for (size_t n; (n = stream.Read(body.data() + got, body.size() - got)) != 0;) {
    got += n;
    if (got == body.size()) body.resize(body.size() * 2);
  }
  body.resize(got);
  EXPECT_FALSE(stream.Reading());
  EXPECT_NE(failure, "");
  EXPECT_LT(std::count(body.begin(), body.end(), '\n'), kProperties + 1) << "the body ends early";
  // The broken session was not lent again: the next page gets a working one.
  ExpectSessionFree();
}

TEST_F(CsvAnswerTest, ASessionWhoseConnectionDiedIsReplacedBeforeTheFirstByte) {
  LogOn();
  std::shared_ptr<DatabaseSession> dead;
  {
    PoolLease lease;
    pool_->Acquire(lease, AcquireMode::kAny);
    dead = lease.SharedSession();
    ASSERT_TRUE(lease.Session().Connection().CancelOperation(true));
  }
  const HttpAnswer answer = Get("/list", kCsvAccept);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(test::ReadCsvWithPython(answer.body).size(), static_cast<size_t>(kProperties) + 1);
  EXPECT_EQ(failures_, 0);
  ExpectSessionFree();
  PoolLease lease;
  pool_->Acquire(lease, AcquireMode::kAny);
  EXPECT_NE(lease.SharedSession(), dead) << "the dead session was discarded";
}

TEST_F(CsvAnswerTest, OnlyTheListAnswersCsv) {
  LogOn();
  const HttpAnswer page = Get("/propinfo?propid=7", kCsvAccept);
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=ISO-8859-1");
}

// Sessions for the exports the router lets run at once, and one more.
class CsvExportBoundTest : public CsvAnswerTest {
 protected:
  CsvExportBoundTest() : CsvAnswerTest(kCsvExportsAtOnce + 1) {}

  // The router's answer to a logged-on visitor's CSV request, kept with the
  // stream the engine would still be sending.
  std::unique_ptr<Response> StartExport(const std::shared_ptr<Session>& session) {
    Request request;
    request.command = "GET";
    request.document = "/list";
    request.accept = kCsvAccept;
    request.session = session;
    request.remote_ip = "127.0.0.1";
    auto response = std::make_unique<Response>();
    router_->HandleRequest(nullptr, request, *response);
    return response;
  }
};

// Exports whose clients are still taking their rows hold their places; one
// beyond the bound is refused at once with 503 and Retry-After (it borrows
// no session, and pages still get one); once an export ends, the next starts.
TEST_F(CsvExportBoundTest, AnExportBeyondTheBoundIs503AndPagesKeepTheirSession) {
  LogOn();
  auto session = std::make_shared<Session>("ABCDEFGHIJKLMNO", "127.0.0.1");
  router_->StartSession(*session);
  session->SetContentValue(kLoggedInName, kLoggedInTrue);
  std::vector<std::unique_ptr<Response>> running;
  for (int i = 0; i < kCsvExportsAtOnce; ++i) {
    running.push_back(StartExport(session));
    EXPECT_EQ(running.back()->response_no, 200);
    EXPECT_NE(running.back()->content_stream, nullptr);
  }
  const std::unique_ptr<Response> refused = StartExport(session);
  EXPECT_EQ(refused->response_no, 503);
  EXPECT_EQ(refused->custom_headers.Values("Retry-After"), "5");
  EXPECT_EQ(refused->content_stream, nullptr);
  EXPECT_EQ(refused->content_type, "application/problem+json; charset=utf-8");
  EXPECT_EQ(json::parse(refused->content_text)["status"], 503);
  ExpectSessionFree();

  running.pop_back();  // the engine done with one export's stream
  const std::unique_ptr<Response> next = StartExport(session);
  EXPECT_EQ(next->response_no, 200);
  EXPECT_NE(next->content_stream, nullptr);
}

}  // namespace
}  // namespace qv::webtest
