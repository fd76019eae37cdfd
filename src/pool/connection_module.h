// The unit of work the pool lends out: one database connection, its read-only
// transaction and cursors, the page operations, and its own reference count.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pages/page_module.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/profile.h"
#include "pool/connection.h"
#include "pool/pool_sync.h"

namespace qv {

// Seconds an attach may take when [DB] ConnectTimeout is not set.
inline constexpr int kDefaultConnectTimeout = 10;

class TConnectionModule final : public TPageModule, public IConnection {
 public:
  // Created with reference count 0, bound to its pool's lock and semaphore, and
  // set up from section "DB" of the INI file at iniPath. An empty DBName keeps
  // the built-in database path of the page module; ConnectTimeout (seconds,
  // default 10) limits the attach.
  explicit TConnectionModule(std::shared_ptr<TPoolSync> pool,
                             std::string iniPath = ExecutableIniPath(),
                             const Clock& clock = SystemClock::Instance());

  int32_t QueryInterface(const TGuid& IID, void** Obj) override;
  int32_t _AddRef() override;
  int32_t _Release() override;
  TIB_Connection& DatabaseConnection() override;
  int32_t ReferenceCount() override;
  TDateTime LastReleaseTime() override;

  // Each runs the page module's operation of that name (RunPage).
#define QV_PAGE_OPERATION(name, keyword, rank) \
  void name(TStringStream& out, TPageRequest& request) override;
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION

 private:
  // Only _Release destroys a module.
  ~TConnectionModule() override;

  // Applies the INI file's "DB" settings to dbMain; a failure is reported, not raised.
  void DataModuleCreate(const std::string& iniPath);
  // Commits a started transaction and closes the connection; failures are reported.
  void DataModuleDestroy();

  std::shared_ptr<TPoolSync> pool_;
  int32_t RefCount = 0;
  TDateTime LastRelease = 0;
};

}  // namespace qv
