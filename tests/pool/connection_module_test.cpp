#include "pool/connection_module.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "pool/module_errors.h"
#include "pool_fixture.h"

namespace qv::pooltest {
namespace {

// A module on its own, bound to a one-place pool's lock and semaphore.
class ModuleTest : public PoolTest {
 protected:
  // A new module with one reference taken, as the pool's slot holds it.
  TConnectionRef NewModule(const std::string& iniPath) {
    return TConnectionRef(new TConnectionModule(sync_, iniPath, clock_));
  }
  std::shared_ptr<TPoolSync> sync_ = std::make_shared<TPoolSync>(1);
};

struct SettingsCase {
  const char* ini;
  const char* path;
  const char* user;
  const char* password;
};

TEST_F(ModuleTest, DatabaseSettingsComeFromSectionDbOfTheIniFile) {
  const SettingsCase cases[] = {
      {nullptr, "/var/lib/quorvale/qvmain.gdb", "", ""},
      {"[APP]\nPort=8080\n", "/var/lib/quorvale/qvmain.gdb", "", ""},
      {"[DB]\nDBName=\nUser=\nPass=\n", "/var/lib/quorvale/qvmain.gdb", "", ""},
      {"[db]\ndbname=/data/other.fdb\nuser=WEBUSER\npass=s3cret\n", "/data/other.fdb", "WEBUSER",
       "s3cret"},
      {"[DB]\nUser=  REPORTS  \n", "/var/lib/quorvale/qvmain.gdb", "REPORTS", ""},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.ini ? c.ini : "(no file)");
    const std::string iniPath =
        c.ini ? folder_.Write("module.ini", c.ini) : folder_.File("absent.ini");
    TConnectionRef module = NewModule(iniPath);
    auto& db = static_cast<TConnectionModule&>(*module).dbMain;
    EXPECT_EQ(&module->DatabaseConnection(), &db);
    EXPECT_EQ(db.Param("PATH"), c.path);
    EXPECT_EQ(db.Username(), c.user);
    EXPECT_EQ(db.Param("USER NAME"), c.user);
    EXPECT_EQ(db.Password(), c.password);
    EXPECT_FALSE(db.Connected());
  }
}

TEST_F(ModuleTest, ReleasingALentModuleGivesBackExactlyOneUnitAndStampsTheTime) {
  TConnectionRef slot = NewModule(goodIni_);
  ASSERT_TRUE(sync_->PoolSemaphore.WaitFor(std::chrono::milliseconds(0)));  // as Acquire does
  EXPECT_EQ(slot->ReferenceCount(), 1);

  TConnectionRef lent = slot;
  EXPECT_EQ(slot->ReferenceCount(), 2);
  Advance(60000);
  const TDateTime releasedAt = EncodeDateTime(clock_.Now());
  lent.Reset();
  EXPECT_EQ(slot->ReferenceCount(), 1);
  EXPECT_EQ(slot->LastReleaseTime(), releasedAt);
  EXPECT_EQ(sync_->PoolSemaphore.Count(), 1);

  slot.Reset();  // the last reference: destroyed, no unit given back
  EXPECT_EQ(sync_->PoolSemaphore.Count(), 1);
}

TEST_F(ModuleTest, DestructionCommitsAndClosesAConnectedModule) {
  std::vector<std::string> reported;
  SetModuleErrorHandler([&](const std::string& message) { reported.push_back(message); });
  TConnectionRef module = NewModule(goodIni_);
  auto& cm = static_cast<TConnectionModule&>(*module);
  cm.dbMain.Connect();
  // A page that failed half-way leaves its transaction started.
  cm.trMain.StartTransaction();
  cm.qSelect.SQL().Add("SELECT COUNT(*) FROM RDB$DATABASE");
  cm.qSelect.Open();
  module.Reset();
  SetModuleErrorHandler({});
  EXPECT_TRUE(reported.empty()) << reported.front();
}

TEST_F(ModuleTest, QueryInterfaceFindsNothing) {
  TConnectionRef module = NewModule(goodIni_);
  int sentinel = 0;
  void* found = &sentinel;
  EXPECT_EQ(module->QueryInterface(TGuid{}, &found), kNoInterface);
  EXPECT_EQ(found, nullptr);
}

TEST_F(ModuleTest, PageOperationsRunTheModulesPages) {
  TConnectionRef module = NewModule(goodIni_);
  module->DatabaseConnection().Connect();
  TSimplePageRequest request;
  TStringStream out;
  module->LogOnPage(out, request);
  EXPECT_NE(out.DataString().find("<form method=\"POST\" action=\"/DOLOGIN\">"), std::string::npos);
}

}  // namespace
}  // namespace qv::pooltest
