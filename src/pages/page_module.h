// The page operations of one connection module over its database session,
// each running the page of that name in the page table.
#pragma once

#include <functional>

#include "db/database_session.h"
#include "db/ib.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "platform/clock.h"

namespace qv {

class TPageModule;
// One page operation of the module.
using TPageMethod = void (TPageModule::*)(TStringStream&, TPageRequest&);

class TPageModule {
 public:
  explicit TPageModule(const Clock& clock = SystemClock::Instance());
  virtual ~TPageModule();
  TPageModule(const TPageModule&) = delete;
  TPageModule& operator=(const TPageModule&) = delete;

  // Page operations; each appends one page to the stream.
#define QV_PAGE_OPERATION(name, keyword, rank) void name(TStringStream& out, TPageRequest& request);
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION

  // Runs one page operation and ends the session's transaction with the page.
  void RunPage(TPageMethod page, TStringStream& out, TPageRequest& request);

  TIB_Cursor& Statement(const TStatementText& text) { return session_.Statement(text); }
  void ForEachStatement(const std::function<void(TIB_Cursor&)>& visit) {
    session_.ForEachStatement(visit);
  }

  DatabaseSession session_;
  TIB_Connection& dbMain;
  TIB_Transaction& trMain;
  TIB_Cursor qSelect;

 protected:
  const Clock& clock_;
};

}  // namespace qv
