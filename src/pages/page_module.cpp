#include "pages/page_module.h"

#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_table.h"

namespace qv {

TPageModule::TPageModule(const Clock& clock)
    : dbMain(session_.Connection()),
      trMain(session_.Transaction()),
      qSelect(dbMain, trMain),
      clock_(clock) {}

TPageModule::~TPageModule() = default;

#define QV_PAGE_OPERATION(name, keyword, rank)                                  \
  void TPageModule::name(TStringStream& out, TPageRequest& request) {           \
    PageContext page{request, out, session_, clock_, PageNamed(#name)};         \
    page.entry.handler(page);                                                   \
    if (page.logged_on) request.SetDocument("");                                \
  }
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION

void TPageModule::RunPage(TPageMethod page, TStringStream& out, TPageRequest& request) {
  try {
    (this->*page)(out, request);
    trMain.Commit();
  } catch (...) {
    try {
      trMain.Rollback();
    } catch (...) {
    }
    throw;
  }
}

}  // namespace qv
