// The router when the database fails: status codes, the second run on a fresh
// connection after a lost one, dead sessions discarded, a page over its query
// time-out, and the failure report.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/errors.h"
#include "http/request_info.h"
#include "http/response_info.h"
#include "page_stand_ins.h"
#include "sessions/session.h"
#include "web/request_router.h"

namespace qv::webtest {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kNetWriteError = 335544727;  // error writing data to the connection
constexpr int32_t kNetReadError = 335544726;   // error reading data from the connection
constexpr int32_t kDsqlError = 335544569;      // dynamic SQL error

DbStatusError IscError(int32_t code, bool attach = false) {
  DbStatusError error("ISC ERROR CODE:" + std::to_string(code) + "\r\n", {1, code, 0}, 0, "");
  if (attach) error.SetAttachFailed();
  return error;
}

// Pages that take a set time and fail with the errors queued for them, one
// per call.
class FaultyPages {
 public:
  std::vector<int32_t> failures;       // GDS codes, taken in order; 0: succeed
  std::chrono::milliseconds delay{0};  // each page takes this long
  std::atomic<int> calls{0};

  void Page(PageContext& page) {
    int32_t code = 0;
    {
      std::lock_guard guard(lock_);
      if (!failures.empty()) {
        code = failures.front();
        failures.erase(failures.begin());
      }
    }
    ++calls;
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    page.out.WriteString("<" + std::string(page.entry.name) + ">");
    if (code != 0) throw IscError(code);
  }

 private:
  std::mutex lock_;
};

class RouterFaultsTest : public ::testing::Test {
 protected:
  struct Outcome {
    int status = 0;
    std::string retry_after;
    std::string body;
  };

  RouterFaultsTest()
      : router_(
            [this](PoolLease& lease, AcquireMode mode) {
              lease.Release();
              std::lock_guard guard(lock_);
              modes_.push_back(mode);
              if (attach_failure_) throw IscError(335544721, true);
              lease = lender_->Lend();
              return mode == AcquireMode::kFreshConnection || fresh_sessions_;
            },
            [] { return std::string(); }, errors_, pages_.Table()) {
    pages_.behaviour = [this](PageContext& page) { faulty_.Page(page); };
    router_.SetOnPageFailure([this](const PageFailure& failure) {
      std::lock_guard guard(lock_);
      reports_.push_back(failure.remote_ip + "|" + failure.path + "|" +
                         std::to_string(failure.status) + "|" + failure.message);
      kinds_.push_back(failure.kind);
    });
    router_.SetOnCancelFailure([this](const std::string& message) {
      std::lock_guard guard(lock_);
      cancel_failures_.push_back(message);
    });
  }

  Outcome Run(const std::string& path) {
    Request request;
    request.command = "GET";
    request.document = path;
    request.remote_ip = "192.0.2.7";
    request.session = std::make_shared<Session>("ABCDEFGHIJKLMNO", "192.0.2.7");
    request.session->SetContentValue("LoggedIn", "True");
    Response response;
    router_.HandleRequest(nullptr, request, response);
    return {response.response_no, response.custom_headers.Values("Retry-After"), response.content_text};
  }

  FaultyPages faulty_;
  PageStandIns pages_;
  ErrorSink errors_;
  std::shared_ptr<SessionLender> lender_ = std::make_shared<SessionLender>();
  std::mutex lock_;
  std::vector<AcquireMode> modes_;
  std::vector<std::string> reports_;
  std::vector<FailureKind> kinds_;
  std::vector<std::string> cancel_failures_;
  bool attach_failure_ = false;
  bool fresh_sessions_ = false;  // Acquire reports every session as connected just now
  RequestRouter router_;
};

TEST_F(RouterFaultsTest, EachKindOfFailureGetsItsStatusRetryAndDiscard) {
  struct Case {
    const char* name;
    std::vector<int32_t> failures;
    bool fresh_session;
    bool attach_failure;
    int status;
    int page_calls;
    int discards;
    std::vector<AcquireMode> modes;
  };
  const auto any = AcquireMode::kAny;
  const auto fresh = AcquireMode::kFreshConnection;
  const Case cases[] = {
      {"success", {}, false, false, 200, 1, 0, {any}},
      {"lost, then fine on a fresh connection", {kNetWriteError}, false, false, 200, 2, 1,
       {any, fresh}},
      {"lost twice", {kNetWriteError, kNetWriteError}, false, false, 503, 2, 2, {any, fresh}},
      {"lost on a session connected just now", {kNetWriteError}, true, false, 503, 1, 1, {any}},
      {"database shut down", {335544528}, true, false, 503, 1, 1, {any}},
      {"cancelled", {kIscCancelled}, false, false, 503, 1, 1, {any}},
      {"statement error", {kDsqlError}, false, false, 500, 1, 0, {any}},
      {"cannot attach", {}, false, true, 503, 0, 0, {any}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    faulty_.failures = c.failures;
    faulty_.calls = 0;
    lender_->discards = 0;
    modes_.clear();
    fresh_sessions_ = c.fresh_session;
    attach_failure_ = c.attach_failure;
    const Outcome outcome = Run("/people");
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.retry_after, c.status == 503 ? "5" : "");
    if (c.status == 200) {
      // The page of the second run alone; nothing of the first.
      EXPECT_EQ(outcome.body, "<PeoplePage>");
    } else {
      EXPECT_EQ(outcome.body.rfind("ISC ERROR CODE:", 0), 0u) << outcome.body;
    }
    EXPECT_EQ(faulty_.calls, c.page_calls);
    EXPECT_EQ(lender_->discards, c.discards);
    EXPECT_EQ(modes_, c.modes);
    EXPECT_EQ(lender_->outstanding, 0);
  }
}

TEST_F(RouterFaultsTest, FailedPageIsReportedWithAddressPathStatusAndMessage) {
  faulty_.failures = {kDsqlError};
  Run("/PeoPle/x");
  fresh_sessions_ = true;
  faulty_.failures = {kNetWriteError};
  Run("/notes");
  Run("/people");  // a success is not reported
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[0], "192.0.2.7|/PeoPle/x|500|ISC ERROR CODE:335544569\r\n");
  EXPECT_EQ(reports_[1], "192.0.2.7|/notes|503|ISC ERROR CODE:335544727\r\n");
  EXPECT_EQ(kinds_, (std::vector<FailureKind>{FailureKind::DatabaseRefused,
                                               FailureKind::ConnectionLost}));
}

TEST_F(RouterFaultsTest, PageOverItsTimeOutIsAnsweredAsCancelledAndItsSessionDiscarded) {
  router_.SetQueryTimeout(100ms);
  // The call ends only when its connection is cut: a read error, after the time-out.
  // The watchdog looks every quarter second; the call lasts long enough for
  // it to look several times on a busy machine.
  faulty_.delay = 1500ms;
  faulty_.failures = {kNetReadError};
  const Outcome outcome = Run("/people");
  EXPECT_EQ(outcome.status, 503);
  EXPECT_EQ(outcome.retry_after, "5");
  EXPECT_EQ(outcome.body.rfind("ISC ERROR CODE:335544794", 0), 0u) << outcome.body;
  EXPECT_EQ(faulty_.calls, 1);  // no second run: the time-out is not a lost connection
  EXPECT_EQ(lender_->discards, 1);
  // A page that ends by itself just after its time-out keeps its answer, but
  // its session is not lent again.
  faulty_.calls = 0;
  lender_->discards = 0;
  faulty_.failures = {};
  const Outcome late = Run("/people");
  EXPECT_EQ(late.status, 200);
  EXPECT_EQ(late.body, "<PeoplePage>");
  EXPECT_EQ(lender_->discards, 1);
  // Within the time-out nothing is cancelled.
  faulty_.delay = 0ms;
  lender_->discards = 0;
  EXPECT_EQ(Run("/people").status, 200);
  EXPECT_EQ(lender_->discards, 0);
  // The cancels ran on the watchdog's threads, each holding the session.
  for (int i = 0; i < 200 && lender_->session.use_count() > 1; ++i) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(lender_->session.use_count(), 1);
  EXPECT_EQ(lender_->outstanding, 0);
  // The session's connection was never attached: the cancels of the two
  // calls past their time-out reached no database, and each is told.
  std::lock_guard guard(lock_);
  const std::string failed = "Could not ask the database to cancel a page call past its query time-out";
  EXPECT_EQ(cancel_failures_, (std::vector<std::string>{failed, failed}));
}

}  // namespace
}  // namespace qv::webtest
