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
    for (const SettingsFinding& finding : CheckSettings(IniFile(path), required)) {
      std::string line = finding.text;
      if (line.rfind(path + ": ", 0) == 0) line = line.substr(path.size() + 2);
      out.push_back((finding.error ? "E " : "W ") + line);
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
                "W [APP] Colour: unknown setting, ignored",
                "W line 8: \"nonsense\" is not key=value, ignored",
                // Port given again: the last value is read, so that one is
                // checked, and the first ("x") is not.
                "W [APP] Port: given more than once (lines 6 and 9); the last value is taken",
                "E [APP] Port: -5 is out of range (0 to 65535)",
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

TEST_F(SettingsCheckTest, AddressesOfOneListenerMustNotOverlap) {
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\nAddress=127.0.0.1, [127.0.0.1]\n"),
            std::vector<std::string>{"E [APP] Address: 127.0.0.1 and 127.0.0.1 overlap on port 8080, so "
                                     "the second cannot listen beside the first"});
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\nAddress=127.0.0.2,0.0.0.0\n"),
            std::vector<std::string>{"E [APP] Address: 127.0.0.2 and 0.0.0.0 overlap on port 8080, so "
                                     "the second cannot listen beside the first"});
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\n[ADMIN]\nPort=9090\nAddress=::, ::1\n"),
            std::vector<std::string>{"E [ADMIN] Address: :: and ::1 overlap on port 9090, so "
                                     "the second cannot listen beside the first"});
  // An IPv6 socket takes IPv6 peers only, so "::" and "0.0.0.0" bind side by side.
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\nAddress=::,0.0.0.0\n"), std::vector<std::string>{});
  EXPECT_EQ(Findings(HtDocs() + "Port=0\nAddress=127.0.0.1,127.0.0.1\n"), std::vector<std::string>{});
}

TEST_F(SettingsCheckTest, AByteOrderMarkIsNoFindingAndABrokenHeadingIsAnError) {
  EXPECT_EQ(Findings("\xEF\xBB\xBF" + HtDocs() + "Port=8080\n"), std::vector<std::string>{});
  EXPECT_EQ(Findings(HtDocs() + "Port=8080\n[DB\nUser=x\n"),
            std::vector<std::string>{"E line 4: \"[DB\" has no closing \"]\""});
}

// A file that is no settings file: bytes shown escaped, and a few of its
// lines, not all.
TEST_F(SettingsCheckTest, ABinaryFileIsToldInAFewEscapedLines) {
  std::string junk = HtDocs();
  for (int i = 0; i < 40; ++i) junk += "\xC3\x28\x01garbage " + std::to_string(i) + " \xE2\x82\xAC\n";
  junk += std::string("\x89PNG") + '\0' + "x\n";
  const std::vector<std::string> findings = Findings(junk);
  ASSERT_EQ(findings.size(), 7u);
  EXPECT_EQ(findings[0], "W line 3: \"\\xc3(\\x01garbage 0 \xE2\x82\xAC\" is not key=value, ignored");
  EXPECT_EQ(findings[5], "W 35 more lines ignored (not settings of this program)");
  EXPECT_EQ(findings[6], "E line 43: \"\\x89PNG\\x00x\" holds a NUL byte: not a settings file");
  const std::vector<std::string> long_line = Findings(HtDocs() + std::string(100, 'y') + "\n");
  ASSERT_EQ(long_line.size(), 1u);
  EXPECT_EQ(long_line[0], "W line 3: \"" + std::string(60, 'y') + "...\" is not key=value, ignored");
}

TEST_F(SettingsCheckTest, LogoMissingOrNotSetIsAWarning) {
  EXPECT_EQ(Findings("[APP]\nPort=1\n"),
            std::vector<std::string>{"W [APP] HtDocs: not set, the logo cannot be served"});
  EXPECT_EQ(Findings("[APP]\nHtDocs=" + folder_ + "\n"),
            std::vector<std::string>{"W [APP] HtDocs: logo " + folder_ + "/qv_logo_jpg.jpg not found"});
}

TEST_F(SettingsCheckTest, AFileThatCannotBeReadSaysOnlyThat) {
  const std::string absent = folder_ + "/absent.ini";
  const std::vector<SettingsFinding> required = CheckSettings(IniFile(absent), true);
  ASSERT_EQ(required.size(), 1u);
  EXPECT_TRUE(required[0].error);
  EXPECT_EQ(required[0].text, absent + ": settings file not found");
  const std::vector<SettingsFinding> beside = CheckSettings(IniFile(absent), false);
  ASSERT_EQ(beside.size(), 1u);
  EXPECT_FALSE(beside[0].error);
  EXPECT_EQ(beside[0].text.rfind(absent + ": settings file not found; running on the defaults: port 80", 0), 0u);
  const std::vector<SettingsFinding> folder = CheckSettings(IniFile(folder_), false);
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_TRUE(folder[0].error);
  EXPECT_EQ(folder[0].text, folder_ + ": settings file cannot be read: Is a directory");
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
  const IniFile printed(Write(EffectiveSettingsText(IniFile(folder_ + "/absent.ini")), "printed.ini"));
  EXPECT_EQ(printed.StrayLines().size(), 0u);
  EXPECT_EQ(printed.Entries().size(), SettingKeys().size());
  for (const SettingKey& key : SettingKeys()) {
    SCOPED_TRACE(std::string(key.section) + " " + std::string(key.key));
    EXPECT_EQ(printed.ReadString(key.section, key.key, "<missing>"), std::string(key.default_value));
  }
}

TEST_F(SettingsCheckTest, PrintedSettingsReadBackToTheSameSettings) {
  const std::string original =
      Write(" [app]\nPORT = 0x1F90\nStart=7\nLoginTimeout=$3\nAddress=[::1],127.0.0.1\n"
            "TrustedProxies=10.0.0.0/8 ::1\nKeepAlive=1\nKeepAliveTimeout=0x2\nMaxRequestMemory=0x20\n[Sessions]\n"
            "Store=redis://127.0.0.1\n[TLS]\nCertificate=/c.pem\n[DB]\nQueryTimeout=0\n"
            "[LOG]\nAccessLog=off\n[ADMIN]\nPort=9090\nAddress=::1, 127.0.0.2\n");
  const ServiceSettings a = ReadServiceSettings(original);
  const ServiceSettings b =
      ReadServiceSettings(Write(EffectiveSettingsText(IniFile(original)), "printed.ini"));
  EXPECT_EQ(a.port, 8080);
  EXPECT_EQ(b.port, a.port);
  EXPECT_EQ(b.htdocs, a.htdocs);
  EXPECT_EQ(b.session_timeout, a.session_timeout);
  EXPECT_EQ(b.start, a.start);
  EXPECT_EQ(b.read_timeout, a.read_timeout);
  EXPECT_EQ(b.logon_failures, a.logon_failures);
  EXPECT_TRUE(b.trusted_proxies.Contains("10.1.1.1"));
  EXPECT_TRUE(b.trusted_proxies.Contains("::1"));
  EXPECT_EQ(b.session_store ? b.session_store->Text() : "", "redis://127.0.0.1:6379/0");
  EXPECT_EQ(b.tls_port, a.tls_port);
  EXPECT_EQ(b.tls_certificate, a.tls_certificate);
  EXPECT_EQ(b.workers, a.workers);
  EXPECT_EQ(b.max_connections_per_address, a.max_connections_per_address);
  EXPECT_EQ(b.request_timeout, a.request_timeout);
  EXPECT_EQ(a.max_request_memory_mib, 32);
  EXPECT_EQ(b.max_request_memory_mib, a.max_request_memory_mib);
  EXPECT_EQ(b.max_sessions, a.max_sessions);
  EXPECT_EQ(b.listen_queue, a.listen_queue);
  EXPECT_EQ(b.keep_alive, a.keep_alive);
  EXPECT_EQ(b.keep_alive_timeout, a.keep_alive_timeout);
  EXPECT_EQ(b.stop_timeout_seconds, a.stop_timeout_seconds);
  EXPECT_EQ(b.query_timeout_seconds, a.query_timeout_seconds);
  EXPECT_EQ(b.addresses, a.addresses);
  EXPECT_EQ(b.access_log, a.access_log);
  EXPECT_EQ(b.admin_port, a.admin_port);
  EXPECT_EQ(b.admin_addresses, a.admin_addresses);
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
  const IniFile ini(Write(block));
  EXPECT_EQ(ini.StrayLines().size(), 0u);
  EXPECT_EQ(ini.Entries().size(), SettingKeys().size()) << block;
  for (const SettingKey& key : SettingKeys()) {
    SCOPED_TRACE(std::string(key.section) + " " + std::string(key.key));
    EXPECT_EQ(ini.ReadString(key.section, key.key, "<missing>"), std::string(key.default_value));
  }
  EXPECT_EQ(Findings(block), std::vector<std::string>{"W [APP] HtDocs: not set, the logo cannot be served"});
}

}  // namespace
}  // namespace qv
