#include "service/service_installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "service/os_error.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class ServiceInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = test::MakeTempFolder("qv_root");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { fs::remove_all(root_); }

  ServiceDefinition Definition() const {
    return {"qvWebService", "Quorvale Web Server", "/opt/quorvale/qvweb",
            "/etc/quorvale/qvweb.ini"};
  }

  std::string root_;
};

TEST_F(ServiceInstallerTest, InstallWritesTheUnitAndEnablesItAtBoot) {
  ServiceInstaller installer(root_);
  installer.Install(Definition());

  const std::string unit = root_ + "/etc/systemd/system/qvWebService.service";
  EXPECT_EQ(installer.UnitPath("qvWebService"), unit);
  EXPECT_EQ(ReadFile(unit),
            "[Unit]\n"
            "Description=Quorvale Web Server\n"
            "Documentation=man:qvweb(8)\n"
            "Wants=network-online.target\n"
            "After=network-online.target nss-lookup.target\n"
            "\n"
            "[Service]\n"
            "Type=notify\n"
            "User=quorvale\n"
            "Group=quorvale\n"
            "ExecStartPre=/opt/quorvale/qvweb -t --settings-only -c /etc/quorvale/qvweb.ini\n"
            "ExecStart=/opt/quorvale/qvweb -c /etc/quorvale/qvweb.ini --pid-file /run/quorvale/qvweb.pid\n"
            "ExecReload=/bin/kill -HUP $MAINPID\n"
            "StateDirectory=quorvale\n"
            "LogsDirectory=quorvale\n"
            "RuntimeDirectory=quorvale\n"
            "WorkingDirectory=/var/lib/quorvale\n"
            "Restart=on-failure\n"
            "RestartSec=2\n"
            "UMask=0027\n"
            "NoNewPrivileges=yes\n"
            "ProtectSystem=strict\n"
            "ProtectHome=yes\n"
            "PrivateTmp=yes\n"
            "PrivateDevices=yes\n"
            "ProtectKernelTunables=yes\n"
            "ProtectKernelModules=yes\n"
            "ProtectKernelLogs=yes\n"
            "ProtectControlGroups=yes\n"
            "ProtectClock=yes\n"
            "ProtectHostname=yes\n"
            "ProtectProc=invisible\n"
            "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
            "RestrictNamespaces=yes\n"
            "RestrictRealtime=yes\n"
            "RestrictSUIDSGID=yes\n"
            "LockPersonality=yes\n"
            "SystemCallArchitectures=native\n"
            "SystemCallFilter=@system-service\n"
            "LimitNOFILE=65536\n"
            "AmbientCapabilities=CAP_NET_BIND_SERVICE\n"
            "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  const std::string link =
      root_ + "/etc/systemd/system/multi-user.target.wants/qvWebService.service";
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "/etc/systemd/system/qvWebService.service");
}

TEST_F(ServiceInstallerTest, UninstallRemovesUnitAndLink) {
  ServiceInstaller installer(root_);
  installer.Install(Definition());
  installer.Uninstall("qvWebService");
  EXPECT_FALSE(fs::exists(fs::symlink_status(installer.UnitPath("qvWebService"))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(installer.WantsLinkPath("qvWebService"))));
  // Installing again after an uninstall works.
  EXPECT_NO_THROW(installer.Install(Definition()));
}

struct FailureCase {
  const char* name;
  std::function<void(const std::string& root, const ServiceInstaller&)> prepare;
  bool install;  // else uninstall
  std::string message;
};

class ServiceInstallerFailureTest : public ServiceInstallerTest,
                                    public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ServiceInstallerFailureTest, RaisesTheSystemError) {
  const FailureCase& c = GetParam();
  ServiceInstaller installer(root_);
  c.prepare(root_, installer);
  const std::string before = ReadFile(installer.UnitPath("qvWebService"));
  try {
    if (c.install) {
      installer.Install(Definition());
    } else {
      installer.Uninstall("qvWebService");
    }
    FAIL() << "no exception";
  } catch (const OsError& e) {
    EXPECT_EQ(e.Message(), c.message);
  }
  // A failed install leaves what was there before, and adds nothing.
  if (c.install) {
    EXPECT_EQ(ReadFile(installer.UnitPath("qvWebService")), before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceInstallerFailureTest,
    ::testing::Values(
        FailureCase{"AlreadyInstalled",
                    [](const std::string&, const ServiceInstaller& i) {
                      i.Install({"qvWebService", "Old", "/old/qvweb", ""});
                    },
                    true, "System Error.  Code: 17.\r\nFile exists"},
        FailureCase{"UnitFolderIsAFile",
                    [](const std::string& root, const ServiceInstaller&) {
                      std::ofstream(root + "/etc") << "x";
                    },
                    true, "System Error.  Code: 20.\r\nNot a directory"},
        FailureCase{"WantsFolderIsAFile",
                    [](const std::string& root, const ServiceInstaller&) {
                      fs::create_directories(root + "/etc/systemd/system");
                      std::ofstream(root + "/etc/systemd/system/multi-user.target.wants") << "x";
                    },
                    true, "System Error.  Code: 20.\r\nNot a directory"},
        FailureCase{"NotInstalled", [](const std::string&, const ServiceInstaller&) {}, false,
                    "System Error.  Code: 2.\r\nNo such file or directory"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(ServiceInstallerTest, ALeftOverLinkIsReplaced) {
  ServiceInstaller installer(root_);
  fs::create_directories(root_ + "/etc/systemd/system/multi-user.target.wants");
  fs::create_symlink("/somewhere/else", installer.WantsLinkPath("qvWebService"));
  installer.Install(Definition());
  EXPECT_EQ(fs::read_symlink(installer.WantsLinkPath("qvWebService")),
            "/etc/systemd/system/qvWebService.service");
}

TEST_F(ServiceInstallerTest, APathWithALineBreakIsRefused) {
  ServiceInstaller installer(root_);
  EXPECT_THROW(installer.Install({"qvWebService", "Quorvale Web Server", "/opt/q\nExecStop=x", ""}),
               OsError);
  EXPECT_FALSE(fs::exists(installer.UnitPath("qvWebService")));
}

struct ReadableCase {
  const char* name;
  mode_t folder_mode;
  mode_t file_mode;
  bool group_owned;  // the file's group is the account's
  bool readable;
};

class ReadableByAccountTest : public ServiceInstallerTest,
                              public ::testing::WithParamInterface<ReadableCase> {};

// Needs root to hand files to another account; an unused id stands for it.
TEST_P(ReadableByAccountTest, FollowsThePermissionBits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const ReadableCase& c = GetParam();
  constexpr uid_t kUid = 64999;
  constexpr gid_t kGid = 64999;
  const std::string folder = root_ + "/etc";
  const std::string file = folder + "/qvweb.ini";
  fs::create_directories(folder);
  std::ofstream(file) << "[APP]\n";
  ASSERT_EQ(chown(file.c_str(), 0, c.group_owned ? kGid : 0), 0);
  ASSERT_EQ(chmod(file.c_str(), c.file_mode), 0);
  ASSERT_EQ(chmod(folder.c_str(), c.folder_mode), 0);
  ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
  EXPECT_EQ(ReadableByAccount(file, kUid, kGid), c.readable);
  EXPECT_TRUE(ReadableByAccount(file, 0, 0));
  EXPECT_FALSE(ReadableByAccount(folder + "/absent.ini", kUid, kGid));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadableByAccountTest,
    ::testing::Values(ReadableCase{"WorldReadable", 0755, 0644, false, true},
                      ReadableCase{"GroupReadable", 0755, 0640, true, true},
                      ReadableCase{"OtherGroup", 0755, 0640, false, false},
                      ReadableCase{"OwnerOnly", 0755, 0600, true, false},
                      ReadableCase{"FolderClosed", 0750, 0644, false, false}),
    [](const ::testing::TestParamInfo<ReadableCase>& info) { return std::string(info.param.name); });

struct QuoteCase {
  std::string path;
  std::string quoted;
};

class QuoteUnitCommandPathTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteUnitCommandPathTest, Quotes) {
  EXPECT_EQ(QuoteUnitCommandPath(GetParam().path), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QuoteUnitCommandPathTest,
    ::testing::Values(QuoteCase{"/opt/qv-1.2/qv_web", "/opt/qv-1.2/qv_web"},
                      QuoteCase{"/opt/my server/qvweb", "\"/opt/my server/qvweb\""},
                      QuoteCase{"/opt/100%/qvweb", "\"/opt/100%%/qvweb\""},
                      QuoteCase{"/opt/$HOME/qvweb", "\"/opt/$$HOME/qvweb\""},
                      QuoteCase{"/opt/a\"b\\c", "\"/opt/a\\\"b\\\\c\""}));

TEST(ServiceUnitTextTest, OddFolderNamesStayLiteral) {
  const std::string text = ServiceUnitText(
      {"qvWebService", "Quorvale Web Server", "/opt/100% sure/qvweb", "/etc/my qv/$x.ini"});
  EXPECT_NE(text.find("ExecStartPre=\"/opt/100%% sure/qvweb\" -t --settings-only -c \"/etc/my qv/$$x.ini\"\n"
                      "ExecStart=\"/opt/100%% sure/qvweb\" -c \"/etc/my qv/$$x.ini\" --pid-file "
                      "/run/quorvale/qvweb.pid\n"),
            std::string::npos)
      << text;
}

TEST(ServiceUnitTextTest, WithoutSettingsPathTheProgramStartsWithoutArguments) {
  const std::string text = ServiceUnitText({"qvWebService", "Quorvale Web Server", "/opt/qv/qvweb", ""});
  EXPECT_NE(text.find("ExecStartPre=/opt/qv/qvweb -t --settings-only\n"
                      "ExecStart=/opt/qv/qvweb --pid-file /run/quorvale/qvweb.pid\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace qv
