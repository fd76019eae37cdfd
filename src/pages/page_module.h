// The database components of one connection module and the page operations
// that run on them: each writes one whole HTML page into an output stream.
// The pool's connection module derives from this and adds reference counting.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "db/ib.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "platform/clock.h"

namespace qv {

// The module's own database session object; it only names the defaults.
struct TIB_Session {
  TIB_Connection* defaultConnection = nullptr;
};

// The database a module attaches to when the settings name none.
inline constexpr const char* kBuiltInDatabasePath = "/var/lib/quorvale/qvmain.gdb";

// Codes of the property tabs, in the order of the tab bar.
enum PropertyTab : int {
  kTabPropertyInfo = 0,
  kTabPeople = 1,
  kTabAccess = 2,
  kTabNotes = 3,
  kTabCpted = 4,
  kTabAuthorizations = 5,
  kTabViolations = 6,
};

// A fixed statement text of a page, its lines separated by line feeds. Values
// reach it only as parameters, so a module keeps one cursor per text.
struct TStatementText {
  std::string_view lines;
};

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

  // Runs one page operation and ends the module's transaction with the page:
  // what is still open after the page's last append (the transaction a query
  // outside the bracket started) is committed; when the page fails, whatever is
  // open is rolled back before the failure goes on. No transaction outlives
  // the page, so a module never holds a snapshot while it waits in the pool.
  void RunPage(TPageMethod page, TStringStream& out, TPageRequest& request);

  // The module's cursor for a fixed text, made on first use. It is prepared
  // when it first opens and stays prepared across pages while the module
  // stays attached; a new attachment prepares it again.
  TIB_Cursor& Statement(const TStatementText& text);
  // Sets a text parameter. A text longer than the parameter the server
  // described cannot equal, start or be contained in any value of it, so it
  // is sent as NULL, which matches nothing either.
  static void SetTextParam(TIB_Column& param, const std::string& text);
  // Calls `visit` for every fixed statement the module has made so far.
  void ForEachStatement(const std::function<void(TIB_Cursor&)>& visit);

  // Shared pieces of every page.
  void PageBanner(TStringStream& out, TPageRequest& request, std::string_view title);
  void PropertyTabs(TStringStream& out, TPageRequest& request, int32_t propertyId, int currentTab);
  // "Yes" for a non-zero value, "No" for zero.
  static std::string YesNoText(int32_t value);

  // Database components, created in this order.
  TIB_Connection dbMain;
  TIB_Transaction trMain;
  TIB_Cursor qSelect;
  TIB_Session IB_Session1;
  TIB_Cursor qArea;
  TIB_Cursor qPhones;
  TIB_Cursor qNotes;
  TIB_Cursor qInspecs;
  TIB_Cursor qSelect2;

 protected:
  // The page transaction bracket: commit what an earlier page left started and
  // start afresh; commit at the page's end.
  void BeginPageTransaction();
  void EndPageTransaction();
  // Opens the one-cell table that shows a property's name above the tabs.
  void PropertyNameCell(TStringStream& out, std::string_view name);
  // The heading that opens the property tab pages: title query, name cell, tabs.
  void PropertyHeading(TStringStream& out, TPageRequest& request, int32_t requestedId,
                       int currentTab);
  // One contact cell of the property information page.
  void EntityCell(TStringStream& out, int32_t entityId);

  const Clock& clock_;

 private:
  // Declared after the components they use, so they go first.
  std::unordered_map<const TStatementText*, std::unique_ptr<TIB_Cursor>> statements_;
};

}  // namespace qv
