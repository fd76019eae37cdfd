#include "pool/session_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pool_fixture.h"

namespace qv::pooltest {
namespace {

struct SettingsCase {
  const char* ini;
  const char* path;
  const char* user;
  const char* password;
  int connect_timeout;
};

TEST_F(PoolTest, DatabaseSettingsComeFromSectionDbOfTheIniFile) {
  const SettingsCase cases[] = {
      {nullptr, "/var/lib/quorvale/qvmain.gdb", "", "", 10},
      {"[APP]\nPort=8080\n", "/var/lib/quorvale/qvmain.gdb", "", "", 10},
      {"[DB]\nDBName=\nUser=\nPass=\n", "/var/lib/quorvale/qvmain.gdb", "", "", 10},
      {"[db]\ndbname=/data/other.fdb\nuser=WEBUSER\npass=s3cret\nconnecttimeout=3\n",
       "/data/other.fdb", "WEBUSER", "s3cret", 3},
      {"[DB]\nUser=  REPORTS  \n", "/var/lib/quorvale/qvmain.gdb", "REPORTS", "", 10},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.ini ? c.ini : "(no file)");
    const std::string ini_path =
        c.ini ? folder_.Write("session.ini", c.ini) : folder_.File("absent.ini");
    const auto session = NewDatabaseSession(ini_path, errors_);
    DbConnection& db = session->Connection();
    EXPECT_EQ(db.Param("PATH"), c.path);
    EXPECT_EQ(db.Username(), c.user);
    EXPECT_EQ(db.Param("USER NAME"), c.user);
    EXPECT_EQ(db.Password(), c.password);
    EXPECT_EQ(db.ConnectTimeout(), c.connect_timeout);
    EXPECT_FALSE(session->Attached());
  }
}

TEST_F(PoolTest, AConnectTimeOutThatIsNoNumberIsReportedAndTheDefaultStays) {
  const auto session = NewDatabaseSession(
      folder_.Write("session.ini", "[DB]\nUser=WEB\nConnectTimeout=soon\n"), errors_);
  const std::vector<std::string> reported = Reported();
  EXPECT_EQ(session->Connection().ConnectTimeout(), 10);
  EXPECT_EQ(session->Connection().Username(), "WEB");
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("ConnectTimeout"), std::string::npos) << reported[0];
}

}  // namespace
}  // namespace qv::pooltest
