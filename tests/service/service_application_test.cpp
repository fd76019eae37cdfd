#include "service/service_application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/service.h"
#include "support/log_lines.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class PlainService : public Service {
 public:
  PlainService()
      : Service("qvWebService", "Quorvale Web Server",
                 ServiceHost{EventLogger("qvWebService", nullptr), EventLogger("qvweb", nullptr),
                              SystemdNotifier("")}) {}
};

class ServiceApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = test::MakeTempFolder("qv_app");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { fs::remove_all(root_); }

  // Runs the application with the arguments; returns the exit status.
  int Run(std::vector<std::string_view> args) {
    out_.str("");
    err_.str("");
    ServiceApplication application(service_, ServiceInstaller(root_), out_, err_);
    application.SetBinaryPath("/opt/quorvale/qvweb");
    return application.Run(args);
  }

  std::string UnitPath() const { return ServiceInstaller(root_).UnitPath("qvWebService"); }

  std::string root_;
  PlainService service_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(ServiceApplicationTest, InstallAndUninstallReportSuccess) {
  EXPECT_EQ(Run({"-install"}), 0);
  EXPECT_EQ(out_.str(), "Service installed successfully\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_TRUE(fs::exists(UnitPath()));

  EXPECT_EQ(Run({"/UNINSTALL"}), 0);
  EXPECT_EQ(out_.str(), "Service uninstalled successfully\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_FALSE(fs::exists(UnitPath()));
}

TEST_F(ServiceApplicationTest, SilentHidesSuccessOnly) {
  EXPECT_EQ(Run({"/install", "/silent"}), 0);
  EXPECT_EQ(out_.str(), "");
  EXPECT_TRUE(fs::exists(UnitPath()));

  EXPECT_EQ(Run({"/install", "/silent"}), 1);
  EXPECT_EQ(out_.str(), "");
  // One log line: the system's text after a blank, not a line break.
  EXPECT_TRUE(test::StartsWithLogTime(err_.str())) << err_.str();
  EXPECT_EQ(test::WithoutLogTimes(err_.str()),
            "error qvweb: Service \"Quorvale Web Server\" failed to install with error: "
            "\"System Error.  Code: 17. File exists\"\n");

  EXPECT_EQ(Run({"-uninstall", "-silent"}), 0);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Run({"-uninstall", "-silent"}), 1);
  EXPECT_EQ(test::WithoutLogTimes(err_.str()),
            "error qvweb: Service \"Quorvale Web Server\" failed to uninstall with error: "
            "\"System Error.  Code: 2. No such file or directory\"\n");
}

}  // namespace
}  // namespace qv
