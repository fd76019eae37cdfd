#include "service/service_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/test_files.h"

namespace qv {
namespace {

// A fresh folder for a settings file, removed with the object.
struct SettingsFolder {
  std::string folder = test::MakeTempFolder("qv_settings");
  std::string path = folder + "/qvweb.ini";

  SettingsFolder() = default;
  SettingsFolder(const SettingsFolder&) = delete;
  SettingsFolder& operator=(const SettingsFolder&) = delete;
  ~SettingsFolder() {
    if (!folder.empty()) std::filesystem::remove_all(folder);
  }
  // Writes text as the settings file, in place of any before (nothing when
  // the folder could not be made).
  void Write(const std::string& text) const {
    if (!folder.empty()) std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
};

// The message the settings file at path is refused with; a failure of the test
// when it is read without an error.
std::string RefusalOf(const std::string& path) {
  try {
    ReadServiceSettings(path);
    ADD_FAILURE() << "accepted";
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

struct SettingsCase {
  const char* name;
  std::string ini;  // file text; "<none>" for no file at all
  std::string ht_docs;
  int32_t session_time_out;
  uint16_t port;
  bool start;
  int32_t read_timeout;
};

const std::string kNoFile = "<none>";
const std::string kLong(3000, 'x');

class ServiceSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ServiceSettingsTest, ReadsSectionApp) {
  const SettingsCase& c = GetParam();
  const SettingsFolder settings;
  ASSERT_FALSE(settings.folder.empty());
  if (c.ini != kNoFile) settings.Write(c.ini);

  const ServiceSettings s = ReadServiceSettings(settings.path);

  EXPECT_EQ(s.htdocs, c.ht_docs);
  EXPECT_EQ(s.session_timeout, c.session_time_out);
  EXPECT_EQ(s.port, c.port);
  EXPECT_EQ(s.start, c.start);
  EXPECT_EQ(s.read_timeout, c.read_timeout);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceSettingsTest,
    ::testing::Values(
        SettingsCase{"NoFile", kNoFile, "", 600000, 80, false, 60000},
        SettingsCase{"EmptyFile", "", "", 600000, 80, false, 60000},
        SettingsCase{"OtherSectionOnly", "[DB]\nPort=1\nStart=1\n", "", 600000, 80, false, 60000},
        SettingsCase{"AllKeys",
                     "[APP]\nHtDocs=/srv/qv\nLoginTimeout=20\nPort=8080\nStart=1\nReadTimeout=5\n",
                     "/srv/qv", 1200000, 8080, true, 5000},
        SettingsCase{"PortHex", "[APP]\nPort=0x1F90\n", "", 600000, 8080, false, 60000},
        SettingsCase{"PortDollarHex", "[APP]\nPort=$1F90\n", "", 600000, 8080, false, 60000},
        SettingsCase{"PortText", "[APP]\nPort=abc\n", "", 600000, 80, false, 60000},
        SettingsCase{"PortLow16Bits", "[APP]\nPort=73616\n", "", 600000, 8080, false, 60000},
        SettingsCase{"PortNegative", "[APP]\nPort=-1\n", "", 600000, 65535, false, 60000},
        SettingsCase{"StartTrueIsNotSet", "[APP]\nStart=true\n", "", 600000, 80, false, 60000},
        SettingsCase{"StartOne", "[APP]\nStart=1\n", "", 600000, 80, true, 60000},
        SettingsCase{"StartHexNonZero", "[APP]\nStart=0x10\n", "", 600000, 80, true, 60000},
        SettingsCase{"StartZero", "[APP]\nStart=0\n", "", 600000, 80, false, 60000},
        SettingsCase{"LoginTimeoutOne", "[APP]\nLoginTimeout=1\n", "", 60000, 80, false, 60000},
        SettingsCase{"LoginTimeoutZero", "[APP]\nLoginTimeout=0\n", "", 0, 80, false, 60000},
        SettingsCase{"LoginTimeoutHuge", "[APP]\nLoginTimeout=100000\n", "", 2147483647, 80,
                     false, 60000},
        SettingsCase{"ReadTimeoutZero", "[APP]\nReadTimeout=0\n", "", 600000, 80, false, 0},
        SettingsCase{"ReadTimeoutNegative", "[APP]\nReadTimeout=-3\n", "", 600000, 80, false,
                     60000},
        SettingsCase{"ReadTimeoutText", "[APP]\nReadTimeout=soon\n", "", 600000, 80, false,
                     60000},
        SettingsCase{"LongHtDocs", "[APP]\nHtDocs=" + kLong + "\nPort=81\n",
                     std::string(2047, 'x'), 600000, 81, false, 60000},
        SettingsCase{"OddSpacingAndCase",
                     "  [ aPp ]  \r\n\thtdocs =  /srv/with space  \r\n PORT\t=\t 0x50 \r\n"
                     "start= 1\r\nlogintimeout = 2\r\n",
                     "/srv/with space", 120000, 80, true, 60000}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

struct LogonFailuresCase {
  const char* ini;
  int value;  // -1: the file is refused
};

TEST(ServiceSettingsLogonFailuresTest, CountOrAnErrorNamingFileSectionAndKey) {
  const LogonFailuresCase cases[] = {
      {"", 5},
      {"[APP]\nLogonFailures=0\n", 0},
      {"[APP]\nLogonFailures=12\n", 12},
      {"[app]\nlogonfailures = 0x0A\n", 10},
      {"[APP]\nLogonFailures=\n", 5},
      {"[APP]\nLogonFailures=-1\n", -1},
      {"[APP]\nLogonFailures=many\n", -1},
      {"[APP]\nLogonFailures=99999999999\n", -1},
  };
  const SettingsFolder settings;
  ASSERT_FALSE(settings.folder.empty());
  const std::string& path = settings.path;
  for (const LogonFailuresCase& c : cases) {
    SCOPED_TRACE(c.ini);
    settings.Write(c.ini);
    if (c.value >= 0) {
      EXPECT_EQ(ReadServiceSettings(path).logon_failures, c.value);
      continue;
    }
    const std::string message = RefusalOf(path);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find("[APP] LogonFailures"), std::string::npos) << message;
  }
}

TEST(ServiceSettingsTrustedProxiesTest, ListOrAnErrorNamingFileSectionAndKey) {
  const SettingsFolder settings;
  ASSERT_FALSE(settings.folder.empty());
  const std::string& path = settings.path;
  settings.Write("[APP]\nTrustedProxies=10.0.0.0/8, ::1\n");
  const ServiceSettings s = ReadServiceSettings(path);
  EXPECT_TRUE(s.trusted_proxies.Contains("10.1.2.3"));
  EXPECT_TRUE(s.trusted_proxies.Contains("::1"));
  EXPECT_FALSE(s.trusted_proxies.Contains("11.0.0.1"));
  EXPECT_TRUE(ReadServiceSettings(settings.folder + "/absent.ini").trusted_proxies.Empty());

  settings.Write("[APP]\nTrustedProxies=10.0.0.0/40\n");
  const std::string message = RefusalOf(path);
  EXPECT_NE(message.find(path + ": [APP] TrustedProxies"), std::string::npos) << message;
  EXPECT_NE(message.find("10.0.0.0/40"), std::string::npos) << message;
}

TEST(ServiceSettingsTimeOutsTest, StopAndQueryTimeOutsTheirDefaultsAndClearErrors) {
  const SettingsFolder settings;
  ASSERT_FALSE(settings.folder.empty());
  const std::string& path = settings.path;
  auto read = [&](const std::string& text) {
    settings.Write(text);
    return ReadServiceSettings(path);
  };
  EXPECT_EQ(read("").stop_timeout_seconds, 10);
  EXPECT_EQ(read("").query_timeout_seconds, 60);
  EXPECT_EQ(read("[APP]\nStopTimeout=3\n[DB]\nQueryTimeout=0\n").stop_timeout_seconds, 3);
  EXPECT_EQ(read("[APP]\nStopTimeout=3\n[DB]\nQueryTimeout=0\n").query_timeout_seconds, 0);
  settings.Write("[DB]\nQueryTimeout=soon\n");
  EXPECT_EQ(RefusalOf(path), path + ": [DB] QueryTimeout: \"soon\" is not a whole number");
  settings.Write("[DB]\nQueryTimeout=86401\n");
  EXPECT_EQ(RefusalOf(path), path + ": [DB] QueryTimeout: 86401 is out of range (0 to 86400)");
  EXPECT_THROW(read("[APP]\nStopTimeout=-1\n"), std::exception);
  EXPECT_EQ(read("").tls_handshake_timeout_seconds, 10);
  EXPECT_EQ(read("[TLS]\nHandshakeTimeout=3\n").tls_handshake_timeout_seconds, 3);
  settings.Write("[TLS]\nHandshakeTimeout=4000\n");
  EXPECT_EQ(RefusalOf(path), path + ": [TLS] HandshakeTimeout: 4000 is out of range (0 to 3600)");
  EXPECT_FALSE(read("").tls_redirect_http);
  EXPECT_TRUE(read("[TLS]\nPort=8443\nCertificate=c.pem\nKey=k.pem\nRedirectHttp=1\n").tls_redirect_http);
  settings.Write("[TLS]\nRedirectHttp=1\n");
  EXPECT_EQ(RefusalOf(path), path + ": [TLS] RedirectHttp: set, but [TLS] Port is not");
}

TEST(ServiceSettingsSessionStoreTest, MemoryRedisOrAnErrorNamingFileSectionAndKey) {
  const SettingsFolder settings;
  ASSERT_FALSE(settings.folder.empty());
  const std::string& path = settings.path;
  struct Case {
    const char* ini;
    const char* store;  // the location's text, "" for memory, null for an error
  } const cases[] = {
      {"", ""},
      {"[SESSIONS]\nStore=memory\n", ""},
      {"[sessions]\nstore = Memory\n", ""},
      {"[SESSIONS]\nStore=redis://10.0.0.5:6380/3\n", "redis://10.0.0.5:6380/3"},
      {"[SESSIONS]\nStore=redis://localhost\n", "redis://localhost:6379/0"},
      {"[SESSIONS]\nStore=memcached://x\n", nullptr},
      {"[SESSIONS]\nStore=redis://h:99999/0\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    settings.Write(c.ini);
    if (c.store) {
      const ServiceSettings s = ReadServiceSettings(path);
      EXPECT_EQ(s.session_store ? s.session_store->Text() : "", c.store);
      continue;
    }
    const std::string message = RefusalOf(path);
    EXPECT_NE(message.find(path + ": [SESSIONS] Store"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// Writes text as a settings file in a fresh folder; removed with the object.
struct IniFile : SettingsFolder {
  explicit IniFile(const std::string& text) { Write(text); }
};

TEST(ServiceSettingsFrontTest, DefaultsAndValuesOfTheConnectionKeys) {
  const ServiceSettings d = ReadServiceSettings(IniFile("[APP]\nPort=81\n").path);
  EXPECT_EQ(d.workers, 32);
  EXPECT_EQ(d.max_connections_per_address, 256);
  EXPECT_EQ(d.request_timeout, 30000);
  EXPECT_EQ(d.max_request_memory_mib, 64);
  EXPECT_EQ(d.max_sessions, 100000);
  EXPECT_EQ(d.listen_queue, 511);
  EXPECT_FALSE(d.keep_alive);
  EXPECT_EQ(d.keep_alive_timeout, 5000);

  const ServiceSettings s = ReadServiceSettings(
      IniFile("[APP]\nWorkers=4\nMaxConnectionsPerAddress=0\nRequestTimeout=0x10\nMaxSessions=7\nMaxRequestMemory=1\n"
              "ListenQueue=64\nKeepAlive=1\nKeepAliveTimeout=2\nWorkers2=x\n")
          .path);
  EXPECT_EQ(s.workers, 4);
  EXPECT_EQ(s.max_connections_per_address, 0);
  EXPECT_EQ(s.request_timeout, 16000);
  EXPECT_EQ(s.max_request_memory_mib, 1);
  EXPECT_EQ(s.max_sessions, 7);
  EXPECT_EQ(s.listen_queue, 64);
  EXPECT_TRUE(s.keep_alive);
  EXPECT_EQ(s.keep_alive_timeout, 2000);
}

TEST(ServiceSettingsFrontTest, AWrongValueNamesFileSectionAndKey) {
  const struct {
    const char* line;
    const char* key;
  } cases[] = {{"Workers=0", "Workers"},          {"Workers=many", "Workers"},
               {"RequestTimeout=-1", "RequestTimeout"}, {"ListenQueue=70000", "ListenQueue"},
               {"KeepAlive=2", "KeepAlive"},      {"KeepAliveTimeout=0", "KeepAliveTimeout"},
               {"MaxSessions=1e6", "MaxSessions"}, {"MaxConnectionsPerAddress=-5", "MaxConnectionsPerAddress"},
               {"MaxRequestMemory=0", "MaxRequestMemory"}, {"MaxRequestMemory=65537", "MaxRequestMemory"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const IniFile ini(std::string("[APP]\n") + c.line + "\n");
    const std::string message = RefusalOf(ini.path);
    EXPECT_NE(message.find(ini.path + ": [APP] " + c.key + ": "), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace qv
