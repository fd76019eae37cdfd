#include "pool/connection_module.h"

#include <exception>
#include <mutex>

#include "platform/seconds_setting.h"
#include "pool/module_errors.h"

namespace qv {

TConnectionModule::TConnectionModule(std::shared_ptr<TPoolSync> pool, std::string iniPath,
                                     const Clock& clock)
    : TPageModule(clock), pool_(std::move(pool)) {
  DataModuleCreate(iniPath);
}

TConnectionModule::~TConnectionModule() { DataModuleDestroy(); }

void TConnectionModule::DataModuleCreate(const std::string& iniPath) {
  const TIniFile ini(iniPath);  // a missing file reads as empty
  try {
    dbMain.SetUsername(ini.ReadString("DB", "User", ""));
    dbMain.SetPassword(ini.ReadString("DB", "Pass", ""));
    const std::string databaseName = ini.ReadString("DB", "DBName", "");
    if (!databaseName.empty()) dbMain.SetDatabaseName(databaseName);
  } catch (const std::exception& error) {
    ReportModuleError(error.what());
  }
  dbMain.SetConnectTimeout(kDefaultConnectTimeout);
  try {
    dbMain.SetConnectTimeout(
        ReadSecondsSetting(ini, "DB", "ConnectTimeout", kDefaultConnectTimeout));
  } catch (const std::exception& error) {
    ReportModuleError(error.what());  // the default stays
  }
}

void TConnectionModule::DataModuleDestroy() {
  try {
    if (trMain.InTransaction()) trMain.Commit();
  } catch (const std::exception& error) {
    ReportModuleError(error.what());
  }
  try {
    if (dbMain.Connected()) dbMain.Disconnect();
  } catch (const std::exception& error) {
    ReportModuleError(error.what());
  }
}

int32_t TConnectionModule::QueryInterface(const TGuid&, void** Obj) {
  if (Obj) *Obj = nullptr;
  return kNoInterface;
}

int32_t TConnectionModule::_AddRef() {
  std::lock_guard lock(pool_->PoolLock);
  return ++RefCount;
}

int32_t TConnectionModule::_Release() {
  // The module may be gone before the lock and the semaphore are used again.
  const std::shared_ptr<TPoolSync> pool = pool_;
  int32_t count;
  {
    std::lock_guard lock(pool->PoolLock);
    count = --RefCount;
    if (count != 0) LastRelease = EncodeDateTime(clock_.Now());
  }
  // No reference is left, so nobody else can reach the module: it closes
  // without the pool's lock, which a slow or hung detach must never hold.
  if (count == 0) delete this;
  if (count == 1) pool->PoolSemaphore.Release();
  return count;
}

TIB_Connection& TConnectionModule::DatabaseConnection() { return dbMain; }

int32_t TConnectionModule::ReferenceCount() {
  std::lock_guard lock(pool_->PoolLock);
  return RefCount;
}

TDateTime TConnectionModule::LastReleaseTime() {
  std::lock_guard lock(pool_->PoolLock);
  return LastRelease;
}

#define QV_PAGE_OPERATION(name, keyword, rank)                                   \
  void TConnectionModule::name(TStringStream& out, TPageRequest& request) { \
    RunPage(&TPageModule::name, out, request);                              \
  }
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION

}  // namespace qv
