#include "service/settings_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/profile.h"
#include "service/effective_settings.h"
#include "service/service_settings.h"
#include "service/settings_keys.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own with htdocs/qv_logo_jpg.jpg in it, removed afterwards.
class SettingsCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTempFolder("qv_settings_check");
    ASSERT_FALSE(folder_.empty());
    fs::create_directories(folder_ + "/htdocs");
    std::ofstream(folder_ + "/htdocs/qv_logo_jpg.jpg") << "logo";
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Write(const std::string& text, const std::string& name = "qvweb.ini") const {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
  }
  // The findings' texts, "E " or "W " before each, the file's name left out.
  std::vector<std::string> Findings(const std::string& text, bool required = false) const {
    const std::string path = Write(text);
    std::vector<std::string> out;
    for (const TSettingsFinding& finding : CheckSettings(TIniFile(path), required)) {
      std::string line = finding.Text;
      if (line.rfind(path + ": ", 0) == 0) line = line.substr(path.size() + 2);
      out.push_back((finding.Error ? "E " : "W ") + line);
    }
    return out;
  }
  std::string HtDocs() const { return "[APP]\nHtDocs=" + folder_ + "/htdocs\n"; }

  std::string folder_;
};

TEST_F(SettingsCheckTest, AcceptsEveryFormTheServerReads) {
  const struct {
    const char* section;
    const char* key;
    std::string value;
  } cases[] = {
      {"APP", "Port", "0x1F90"},
      {"APP", "Port", "$50"},
      {"APP", "Port", "0"},
      {"app", "PORT", "65535"},
      {"APP", "Start", "0x10"},
      {"APP", "Start", "-1"},
      {"APP", "LoginTimeout", "100000"},
      {"APP", "Workers", "4096"},
      {"APP", "Address", "[::1], 127.0.0.1"},
      {"APP", "TrustedProxies", "10.0.0.0/8, ::1 192.168.1.1"},
      {"APP", "HtDocs", folder_},
      {"SESSIONS", "Store", "MEMORY"},
      {"SESSIONS", "Store", "redis://localhost"},
      {"SESSIONS", "Store", "redis://127.0.0.1:6380/2"},
      {"LOG", "AccessLog", "-"},
      {"LOG", "AccessLog", "off"},
      {"LOG", "AccessLog", folder_ + "/new.log"},
      {"DB", "DBName", "/srv/quorvale/qvmain.fdb"},
      {"DB", "DBName", "qvmain"},
      {"DB", "DBName", "c:\\quorvale\\qvmain.gdb"},
      {"DB", "DBName", "localhost:/srv/qvmain.fdb"},
      {"DB", "DBName", "127.0.0.1/3051:qvmain"},
      {"DB", "DBName", "inet://localhost/srv/qvmain.fdb"},
      {"DB", "DBName", "xnet://qvmain"},
      {"DB", "Pass", ";#= anything"},
      {"TLS", "Certificate", "/nowhere.pem"},  // unused while [TLS] Port is 0
      {"ADMIN", "Address", "::1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    const SettingKey* key = FindSettingKey(c.section, c.key);
    ASSERT_NE(key, nullptr);
    const std::optional<std::string> problem = CheckSettingValue(*key, c.value);
    EXPECT_FALSE(problem) << *problem;
  }
}

TEST_F(SettingsCheckTest, RefusesARemoteDatabaseWhoseHostDoesNotResolve) {
  const SettingKey& key = *FindSettingKey("DB", "DBName");
  for (const char* name : {"no-such-host.invalid:/srv/qv.fdb", "no-such-host.invalid/3050:qv",
                           "inet://no-such-host.invalid/srv/qv.fdb",
                           "inet6://[no-such-host.invalid]:3050/qv"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CheckSettingValue(key, name).value_or("accepted").rfind(
                  "host \"no-such-host.invalid\" cannot be resolved: ", 0),
              0u);
  }
}

TEST_F(SettingsCheckTest, WorkingSettingsHaveNoFindings) {
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\nWorkers=4\n[DB]\nDBName=/srv/qv.fdb\n[ADMIN]\nPort=9090\n"),
            std::vector<std::string>{});
}

TEST_F(SettingsCheckTest, FindingsComeInFileOrderThenThoseOfKeysTogether) {
  EXPECT_EQ(Findings("Early=1\n[Other]\nPort=x\n" + HtDocs() +
                     "Port=x\nColour=blue\nnonsense\nPort=-5\n[OTHER]\nKey=1\n[TLS]\nPort=8443\n"),
            (std::vector<std::string>{
                "W Early: setting before any [section], ignored",
                "W [Other]: unknown section, its settings are ignored",
                "E [APP] Port: \"x\" is not a whole number",
                "W [APP] Colour: unknown setting, ignored",
                "W line 8: \"nonsense\" is not key=value, ignored",
                // Port given again is not read, so not checked either.
                "E [TLS] Certificate: not set, but [TLS] Port is",
                "E [TLS] Key: not set, but [TLS] Port is",
            }));
}

TEST_F(SettingsCheckTest, ListenersOnOnePortClashOnlyWhereTheirAddressesMeet) {
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\n[ADMIN]\nPort=8080\n"),
            std::vector<std::string>{"E [ADMIN] Port: 8080 is also [APP] Port"});
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\nAddress=10.0.0.1\n[ADMIN]\nPort=8080\n"),
            std::vector<std::string>{});
  // Port 0 picks a free port for each.
  EXPECT_EQ(Findings(HtDocs() + "Port=0\n[ADMIN]\nPort=0\n"), std::vector<std::string>{});
}

TEST_F(SettingsCheckTest, LogoMissingOrNotSetIsAWarning) {
  EXPECT_EQ(Findings("[APP]\nPort=1\n"),
            std::vector<std::string>{"W [APP] HtDocs: not set, the logo cannot be served"});
  EXPECT_EQ(Findings("[APP]\nHtDocs=" + folder_ + "\n"),
            std::vector<std::string>{"W [APP] HtDocs: logo " + folder_ + "/qv_logo_jpg.jpg not found"});
}

TEST_F(SettingsCheckTest, AFileThatCannotBeReadSaysOnlyThat) {
  const std::string absent = folder_ + "/absent.ini";
  const std::vector<TSettingsFinding> required = CheckSettings(TIniFile(absent), true);
  ASSERT_EQ(required.size(), 1u);
  EXPECT_TRUE(required[0].Error);
  EXPECT_EQ(required[0].Text, absent + ": settings file not found");
  const std::vector<TSettingsFinding> beside = CheckSettings(TIniFile(absent), false);
  ASSERT_EQ(beside.size(), 1u);
  EXPECT_FALSE(beside[0].Error);
  EXPECT_EQ(beside[0].Text.rfind(absent + ": settings file not found; running on the defaults: port 80", 0), 0u);
  const std::vector<TSettingsFinding> folder = CheckSettings(TIniFile(folder_), false);
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_TRUE(folder[0].Error);
  EXPECT_EQ(folder[0].Text, folder_ + ": settings file cannot be read: Is a directory");
}

TEST_F(SettingsCheckTest, TlsPairMustLoadAndMatch) {
  for (const char* name : {"one", "two"}) {
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=" +
        std::string(name) + " -keyout " + folder_ + "/" + name + ".key -out " + folder_ + "/" + name +
        ".crt 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  const std::string tls = "[TLS]\nPort=8443\nCertificate=" + folder_ + "/one.crt\nKey=" + folder_;
  EXPECT_EQ(Findings(HtDocs() + tls + "/one.key\n"), std::vector<std::string>{});
  const std::vector<std::string> mismatch = Findings(HtDocs() + tls + "/two.key\n");
  ASSERT_EQ(mismatch.size(), 1u);
  EXPECT_EQ(mismatch[0].rfind("E [TLS] Key: TLS key " + folder_ + "/two.key", 0), 0u)
      << mismatch[0];
  EXPECT_EQ(Findings(HtDocs() + "Port=8443\n" + tls + "/one.key\n"),
            std::vector<std::string>{"E [TLS] Port: 8443 is also [APP] Port"});
}

// Every key of the table once, in its section, in the printed settings.
TEST_F(SettingsCheckTest, PrintedSettingsHoldEveryKeyWithItsDefault) {
  const TIniFile printed(Write(EffectiveSettingsText(TIniFile(folder_ + "/absent.ini")), "printed.ini"));
  EXPECT_EQ(printed.StrayLines().size(), 0u);
  EXPECT_EQ(printed.Entries().size(), SettingKeys().size());
  for (const SettingKey& key : SettingKeys()) {
    SCOPED_TRACE(std::string(key.Section) + " " + std::string(key.Key));
    EXPECT_EQ(printed.ReadString(key.Section, key.Key, "<missing>"), std::string(key.Default));
  }
}

TEST_F(SettingsCheckTest, PrintedSettingsReadBackToTheSameSettings) {
  const std::string original =
      Write(" [app]\nPORT = 0x1F90\nStart=7\nLoginTimeout=$3\nAddress=[::1],127.0.0.1\n"
            "TrustedProxies=10.0.0.0/8 ::1\nKeepAlive=1\nKeepAliveTimeout=0x2\n[Sessions]\n"
            "Store=redis://127.0.0.1\n[TLS]\nCertificate=/c.pem\n[DB]\nQueryTimeout=0\n"
            "[LOG]\nAccessLog=off\n[ADMIN]\nPort=9090\nAddress=::1, 127.0.0.2\n");
  const TServiceSettings a = ReadServiceSettings(original);
  const TServiceSettings b =
      ReadServiceSettings(Write(EffectiveSettingsText(TIniFile(original)), "printed.ini"));
  EXPECT_EQ(a.Port, 8080);
  EXPECT_EQ(b.Port, a.Port);
  EXPECT_EQ(b.HtDocs, a.HtDocs);
  EXPECT_EQ(b.SessionTimeOut, a.SessionTimeOut);
  EXPECT_EQ(b.Start, a.Start);
  EXPECT_EQ(b.ReadTimeout, a.ReadTimeout);
  EXPECT_EQ(b.LogonFailures, a.LogonFailures);
  EXPECT_TRUE(b.TrustedProxies.Contains("10.1.1.1"));
  EXPECT_TRUE(b.TrustedProxies.Contains("::1"));
  EXPECT_EQ(b.SessionStore ? b.SessionStore->Text() : "", "redis://127.0.0.1:6379/0");
  EXPECT_EQ(b.TlsPort, a.TlsPort);
  EXPECT_EQ(b.TlsCertificate, a.TlsCertificate);
  EXPECT_EQ(b.Workers, a.Workers);
  EXPECT_EQ(b.MaxConnectionsPerAddress, a.MaxConnectionsPerAddress);
  EXPECT_EQ(b.RequestTimeout, a.RequestTimeout);
  EXPECT_EQ(b.MaxSessions, a.MaxSessions);
  EXPECT_EQ(b.ListenQueue, a.ListenQueue);
  EXPECT_EQ(b.KeepAlive, a.KeepAlive);
  EXPECT_EQ(b.KeepAliveTimeout, a.KeepAliveTimeout);
  EXPECT_EQ(b.StopTimeoutSeconds, a.StopTimeoutSeconds);
  EXPECT_EQ(b.QueryTimeoutSeconds, a.QueryTimeoutSeconds);
  EXPECT_EQ(b.Addresses, a.Addresses);
  EXPECT_EQ(b.AccessLog, a.AccessLog);
  EXPECT_EQ(b.AdminPort, a.AdminPort);
  EXPECT_EQ(b.AdminAddresses, a.AdminAddresses);
}

// The README's settings block pasted into a file: every key the server reads,
// with its default, and nothing the reader would ignore.
TEST_F(SettingsCheckTest, ReadmeSettingsBlockHoldsEveryKeyWithItsDefault) {
  const std::string readme = test::ReadFile(std::string(QV_SOURCE_DIR) + "/README.md");
  const size_t section = readme.find("\n## Settings");
  ASSERT_NE(section, std::string::npos);
  size_t at = readme.find("\n    [APP]\n", section);
  ASSERT_NE(at, std::string::npos);
  std::string block;
  for (++at; at < readme.size();) {
    const size_t end = readme.find('\n', at);
    const std::string line = readme.substr(at, end - at);
    if (!line.empty() && line.rfind("    ", 0) != 0) break;
    block += (line.empty() ? line : line.substr(4)) + "\n";
    at = end + 1;
  }
  const TIniFile ini(Write(block));
  EXPECT_EQ(ini.StrayLines().size(), 0u);
  EXPECT_EQ(ini.Entries().size(), SettingKeys().size()) << block;
  for (const SettingKey& key : SettingKeys()) {
    SCOPED_TRACE(std::string(key.Section) + " " + std::string(key.Key));
    EXPECT_EQ(ini.ReadString(key.Section, key.Key, "<missing>"), std::string(key.Default));
  }
  EXPECT_EQ(Findings(block), std::vector<std::string>{"W [APP] HtDocs: not set, the logo cannot be served"});
}

}  // namespace
}  // namespace qv
