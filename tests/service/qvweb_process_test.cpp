// The built server as a process: serves pages from an embedded database,
// binds at once when Start is set, fails its start on a taken port, and
// stops cleanly on SIGTERM while requests are running.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "process_data.h"
#include "process_fixture.h"
#include "support/http_client.h"
#include "support/notify_socket.h"
#include "support/ports.h"
#include "support/server_process.h"
#include "support/test_database.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

const std::string kData =
    std::string(test::kOnePropertyData) +
    ";INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_CITY)"
    " VALUES (2, 2, '200 Birch Ave', 'Harbor City');"
    "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID)"
    " VALUES (2, 'Birch Gardens', 2, 1)";

// "@" stands for the address and port that were taken.
const std::string kBindFailure = "Could not bind socket. Address and port are already in use: @.";

// The log without the notices of a normal start and stop, which name the
// version, the addresses and the files in use, and of visitors' log-ons.
std::string WithoutNotices(const std::string& log) {
  std::istringstream lines(log);
  std::string line, kept;
  while (std::getline(lines, line)) {
    const bool notice = (line.rfind("info qvweb: qvweb ", 0) == 0 &&
                         (line.find(" listening on ") != std::string::npos ||
                          (line.size() >= 8 && line.compare(line.size() - 8, 8, " stopped") == 0))) ||
                        line.rfind("info qvweb: Log-on: user ", 0) == 0;
    if (!notice) kept += line + "\n";
  }
  return kept;
}

class QvWebProcessTest : public test::ServerProcessTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SetUpServer("qv_process"));
    database_ = std::make_unique<TestDatabase>();
    database_->ExecScript(kData);
  }

  void WriteSettings(bool start) {
    server_->WriteIni("[APP]\nPort=" + std::to_string(port_) + "\nHtDocs=" + folder_ +
                      "/htdocs\nStart=" + (start ? "1" : "0") +
                      "\nLoginTimeout=10\nReadTimeout=10\n[DB]\nDBName=" + database_->Path() +
                      "\nUser=" + TestDatabase::User() + "\n[LOG]\nAccessLog=off\n");
  }

  // Reads reports until one equals wanted; every report read is kept.
  bool AwaitReport(const std::string& wanted) {
    for (;;) {
      std::optional<std::string> report = notify_.Receive(30000);
      if (!report) return false;
      reports_.push_back(*report);
      if (*report == wanted) return true;
    }
  }

  std::unique_ptr<TestDatabase> database_;
  std::vector<std::string> reports_;
};

TEST_F(QvWebProcessTest, ServesPagesUntilSigterm) {
  WriteSettings(false);
  ASSERT_TRUE(server_->Start(notify_.Path()));
  ASSERT_TRUE(AwaitReport("READY=1\nSTATUS=Running")) << server_->Log();
  EXPECT_EQ(reports_, (std::vector<std::string>{"STATUS=Starting", "STATUS=Starting",
                                                "READY=1\nSTATUS=Running"}));

  auto menu = test::TryExchange(port_, test::GetRequest("/"));
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->status, 200);
  EXPECT_TRUE(menu->complete);
  EXPECT_NE(menu->body.find("Harbor Housing Agency"), std::string::npos) << menu->body;
  EXPECT_NE(menu->body.find("href=\"/LOGON\""), std::string::npos);
  const std::string cookie = test::SessionCookie(*menu);
  EXPECT_EQ(cookie.size(), std::string("IDHTTPSESSIONID=").size() + 15) << cookie;

  auto logo = test::TryExchange(port_, test::GetRequest("/image/qv_logo_jpg.jpg", cookie));
  ASSERT_TRUE(logo);
  EXPECT_TRUE(logo->complete);
  EXPECT_EQ(logo->body, test::ReadFile(folder_ + "/htdocs/qv_logo_jpg.jpg"));

  auto login = test::TryExchange(
      port_, test::PostFormRequest("/DOLOGIN", "uName=demo&uPass=demo", cookie));
  ASSERT_TRUE(login);
  EXPECT_NE(login->body.find("href=\"/LOGOFF\""), std::string::npos) << login->body;
  const std::string logged_on = test::SessionCookie(*login);
  EXPECT_NE(logged_on, cookie) << "the log-on kept the session identifier";

  auto list = test::TryExchange(port_, test::GetRequest("/list?SearchValue=bir&PropName=a", logged_on));
  ASSERT_TRUE(list);
  EXPECT_NE(list->body.find(">Birch Gardens</a>"), std::string::npos) << list->body;
  EXPECT_EQ(list->body.find("Alder Court"), std::string::npos);

  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0) << server_->Log();
  EXPECT_TRUE(AwaitReport("STATUS=Stopped"));
  EXPECT_EQ(std::vector<std::string>(reports_.end() - 2, reports_.end()),
            (std::vector<std::string>{"STOPPING=1\nSTATUS=Stopping", "STATUS=Stopped"}));
  EXPECT_EQ(WithoutNotices(server_->Log()), "");
}

TEST_F(QvWebProcessTest, StartSetListensBeforeTheServiceStarts) {
  WriteSettings(true);
  ASSERT_TRUE(server_->Start(notify_.Path()));
  // The first report comes after the service object was created, so the port
  // must already be bound and listening then.
  ASSERT_TRUE(AwaitReport("STATUS=Starting"));
  EXPECT_TRUE(test::LoopbackClient::TryConnect(port_));
  ASSERT_TRUE(AwaitReport("READY=1\nSTATUS=Running")) << server_->Log();
  server_->Signal(SIGINT);
  EXPECT_EQ(server_->WaitExit(), 0) << server_->Log();
  EXPECT_EQ(WithoutNotices(server_->Log()), "");
}

struct TakenPortCase {
  const char* name;
  bool start;
  std::string log;
};

class QvWebTakenPortTest : public QvWebProcessTest,
                           public ::testing::WithParamInterface<TakenPortCase> {};

TEST_P(QvWebTakenPortTest, TheStartFailsWithTheLoggedTextAndAnErrorStatus) {
  // Held on all IPv4 addresses, as another program would; the system picks
  // the port, so no other process can take it between the choice and the bind.
  test::HeldPort holder(test::HeldPort::Use::kListening, "0.0.0.0");
  port_ = holder.Port();
  WriteSettings(GetParam().start);
  ASSERT_TRUE(server_->Start(notify_.Path()));
  EXPECT_EQ(server_->WaitExit(), 1);
  std::string log = GetParam().log;
  for (size_t at; (at = log.find('@')) != std::string::npos;)
    log.replace(at, 1, "0.0.0.0:" + std::to_string(port_));
  EXPECT_EQ(server_->Log(), log);
  ASSERT_TRUE(AwaitReport("STATUS=Stopped"));
  EXPECT_EQ(reports_,
            (std::vector<std::string>{"STATUS=Starting", "STATUS=Starting", "STATUS=Stopped"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, QvWebTakenPortTest,
    ::testing::Values(
        TakenPortCase{"AtServiceStart", false,
                      "error qvweb: Service failed on start: " + kBindFailure + "\n"},
        // With Start set, creation fails first (the program goes on), then the start.
        TakenPortCase{"AtCreationAndAtServiceStart", true,
                      "error qvweb: " + kBindFailure + "\n" + "error qvweb: Service failed on start: " +
                          kBindFailure + "\n"}),
    [](const ::testing::TestParamInfo<TakenPortCase>& info) { return std::string(info.param.name); });

TEST_F(QvWebProcessTest, SigtermUnderLoadEndsRequestsCleanlyAndExitsZero) {
  WriteSettings(false);
  ASSERT_TRUE(server_->Start(notify_.Path()));
  ASSERT_TRUE(AwaitReport("READY=1\nSTATUS=Running")) << server_->Log();
  const std::string cookie = LogOn();

  constexpr int kClients = 6;
  constexpr int kMaxRequestsEach = 400;
  std::atomic<int> complete{0}, unavailable{0}, empty{0}, broken{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      const std::string request =
          test::GetRequest(i % 2 ? "/list" : "/Propinfo?propid=1", cookie);
      for (int n = 0; n < kMaxRequestsEach; ++n) {
        std::optional<test::HttpAnswer> answer = test::TryExchange(port_, request);
        if (!answer) return;  // refused: the server has stopped listening
        if (answer->complete && answer->status == 200) {
          ++complete;
        } else if (answer->complete && answer->status == 503) {
          ++unavailable;  // waited for a module when the stop came
        } else if (answer->raw.empty()) {
          ++empty;  // closed before an answer was written
        } else {
          ++broken;
        }
      }
    });
  }
  // Stop while the clients are busy.
  while (complete < 30 && complete + empty + broken < kClients * kMaxRequestsEach) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  server_->Signal(SIGTERM);
  const std::optional<int> status = server_->WaitExit();
  for (std::thread& t : clients) t.join();

  RecordProperty("complete", complete.load());
  RecordProperty("closed_unanswered", empty.load());
  EXPECT_EQ(status, 0) << server_->Log();
  EXPECT_EQ(broken, 0) << "answers cut short; complete " << complete << ", empty " << empty;
  EXPECT_GE(complete, 30);
  EXPECT_TRUE(AwaitReport("STATUS=Stopped"));
  // Nothing in the log but the lines of visitors answered 503 by the stop.
  std::istringstream log(WithoutNotices(server_->Log()));
  int logged = 0;
  for (std::string line; std::getline(log, line); ++logged) {
    // A line of its own, or the count of those held back by the once-a-second rule.
    EXPECT_TRUE(line.find(" 503 Connection pool timeout. Cannot obtain a connection") !=
                    std::string::npos ||
                line.find(" more like this not shown) Connection pool timeout.") !=
                    std::string::npos)
        << line;
  }
  EXPECT_LE(logged, unavailable.load());
}

}  // namespace
}  // namespace qv
