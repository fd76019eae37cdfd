#include "service/qv_web_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "support/http_client.h"
#include "support/ports.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class QvWebServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTempFolder("qv_service");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string WriteIni(const std::string& text) {
    const std::string path = folder_ + "/qvweb.ini";
    std::ofstream(path) << text;
    return path;
  }

  ServiceHost Host() {
    auto writer = [this](const std::string& source, const std::string& text) {
      std::lock_guard<std::mutex> guard(lock_);
      events_.push_back(source + ": " + text);
    };
    return ServiceHost{EventLogger("qvWebService", writer), EventLogger("qvweb", writer),
                        SystemdNotifier("")};
  }

  std::string folder_;
  std::mutex lock_;
  std::vector<std::string> events_;
};

TEST_F(QvWebServiceTest, TheServerStartsWithItsDefaults) {
  WebService service(Host(), folder_ + "/absent.ini");
  EXPECT_EQ(service.Name(), "qvWebService");
  EXPECT_EQ(service.DisplayName(), "Quorvale Web Server");
  EXPECT_TRUE(service.http_server.SessionState());
  EXPECT_TRUE(service.http_server.AutoStartSession());
  EXPECT_EQ(service.http_server.SessionTimeOut(), 600000);
  EXPECT_TRUE(service.http_server.Bindings().empty());
  EXPECT_EQ(service.Pool(), nullptr);

  service.Create();
  ASSERT_NE(service.Pool(), nullptr);
  EXPECT_EQ(service.Pool()->PoolSize(), 5);
  EXPECT_EQ(service.http_server.DefaultPort(), 80);
  EXPECT_EQ(service.http_server.SessionTimeOut(), 600000);
  EXPECT_EQ(service.http_server.ReadTimeout(), 60000);
  EXPECT_EQ(service.HtDocs(), "");
  EXPECT_FALSE(service.http_server.Active());
  EXPECT_TRUE(events_.empty());
}

// What the pool's sessions hand on while they are made (a database name that
// cannot be applied) goes to the application's log, and the page's visitor
// gets the failure to attach.
TEST_F(QvWebServiceTest, ASessionSettingThatCannotBeAppliedGoesToTheApplicationLog) {
  WebService service(Host(), WriteIni("[DB]\nDBName=not a name\nConnectTimeout=1\n"));
  service.Create();
  ASSERT_NE(service.Pool(), nullptr);
  PoolLease lease;
  EXPECT_THROW(service.Pool()->Acquire(lease), Exception);
  std::lock_guard<std::mutex> guard(lock_);
  EXPECT_EQ(events_, std::vector<std::string>{"qvweb: Invalid DatabaseName"});
}

TEST_F(QvWebServiceTest, SettingsAreAppliedToTheServer) {
  WebService service(Host(), WriteIni("[APP]\nPort=0x1F90\nLoginTimeout=1\nHtDocs=/srv/qv\n"
                                         "ReadTimeout=5\nStart=true\n"));
  service.Create();
  EXPECT_EQ(service.http_server.DefaultPort(), 8080);
  EXPECT_EQ(service.http_server.SessionTimeOut(), 60000);
  EXPECT_EQ(service.http_server.ReadTimeout(), 5000);
  EXPECT_EQ(service.HtDocs(), "/srv/qv");
  EXPECT_FALSE(service.http_server.Active());  // "true" is not a set flag
}

TEST_F(QvWebServiceTest, StartSetActivatesAtCreationAndAServiceStartKeepsIt) {
  const int port = test::FreePort();
  const std::string ini = WriteIni("[APP]\nPort=" + std::to_string(port) + "\nStart=1\n");
  WebService service(Host(), ini);
  service.Create();
  ASSERT_TRUE(service.http_server.Active());
  EXPECT_TRUE(test::LoopbackClient::TryConnect(port));

  // A later read, with other values, leaves the running server as it is but
  // takes the new logo folder.
  std::ofstream(ini) << "[APP]\nPort=1\nHtDocs=/other\nStart=1\n";
  service.StartServiceThread();
  service.PostControl(kStop);
  service.WaitForServiceThread();
  EXPECT_TRUE(service.Started());
  EXPECT_EQ(service.HtDocs(), "/other");
  EXPECT_EQ(service.http_server.DefaultPort(), port);
  EXPECT_FALSE(service.http_server.Active());
  EXPECT_TRUE(events_.empty());
}

// MaxSessions changed by a reload holds from the next new session on, both
// up and down.
TEST_F(QvWebServiceTest, ReloadChangesMaxSessionsBothWays) {
  const int port = test::FreePort();
  const auto settings = [port](int max_sessions) {
    return "[APP]\nPort=" + std::to_string(port) + "\nStart=1\nMaxSessions=" +
           std::to_string(max_sessions) + "\n[LOG]\nAccessLog=off\n";
  };
  const std::string ini = WriteIni(settings(2));
  WebService service(Host(), ini);
  service.Create();
  ASSERT_TRUE(service.http_server.Active());
  // Each request without a cookie starts a session; the logo needs no database.
  const auto visit = [port](int visitors) {
    for (int i = 0; i < visitors; ++i) ASSERT_EQ(test::Exchange(port, test::GetRequest("/IMAGE")).status, 200);
  };
  visit(3);
  EXPECT_EQ(service.http_server.SessionList().Count(), 2u);
  std::ofstream(ini) << settings(5);
  ASSERT_TRUE(service.Reload());
  visit(4);
  EXPECT_EQ(service.http_server.SessionList().Count(), 5u);
  std::ofstream(ini) << settings(1);
  ASSERT_TRUE(service.Reload());
  visit(1);
  EXPECT_EQ(service.http_server.SessionList().Count(), 1u);
  service.http_server.SetActive(false);
}

}  // namespace
}  // namespace qv
