// Test fixture for page tests: a fresh embedded database, a database session
// attached to it, a fixed clock, and the expected text of the shared page pieces.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "db/database_session.h"
#include "pages/page_context.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "test_database.h"

namespace qv::pagetest {

// The fixture's clock: 5 March 2026, 00:07:09 local time.
inline constexpr DateTimeParts kFixedNow{2026, 3, 5, 0, 7, 9, 0};
// The banner's date and time at kFixedNow.
inline constexpr std::string_view kBannerStamp = "3/5/2026 at 12:07  AM<BR>";

// Head lines and table openings, written out independently of the page code.
inline constexpr std::string_view kTitledHeadStart =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head>  <meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\">  <title>";
inline constexpr std::string_view kBareHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head> <meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\"></head>";
inline constexpr std::string_view kColumnTable =
    "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3><COL WIDTH=85*><COL WIDTH=85*><COL "
    "WIDTH=85*>";
inline constexpr std::string_view kPlainTable =
    "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3>";

inline std::string TitledHead(std::string_view title) {
  return std::string(kTitledHeadStart) + std::string(title) + "</title></head><body>";
}

// The banner and menu bar as a page shows them for a session whose LoggedIn
// value is `logged_in` ("True", "False", or anything else), at kFixedNow.
inline std::string BannerText(std::string_view agency, std::string_view title,
                              std::string_view logged_in,
                              std::string_view stamp = kBannerStamp) {
  std::string s(kColumnTable);
  s += "<THEAD><TH WIDTH=25% bgcolor=\"#99CCFF\">";
  s += agency;
  s += "</TH><TH WIDTH=50% bgcolor=\"#99CCFF\"><big><big><big>";
  s += title;
  s += "</big></big></big></TH><TH WIDTH=25% bgcolor=\"#99CCFF\">";
  s += stamp;
  s += logged_in == "False" ? "by Quorvale Norvanta Web  NOT LOGGED IN </TH>"
                           : "by Quorvale Norvanta Web</TH>";
  s += "</THEAD></TABLE>";
  s += kColumnTable;
  s += "<THEAD><TR VALIGN=TOP>";
  s += logged_in == "True"
           ? "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGOFF\">Logoff</a><br></P></th>"
           : "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGON\">Logon</a><br></P></th>";
  s += "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/\">Main Menu</a><br></th>"
       "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/list\">Property List</a><br></th>"
       "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/Reports\"></a><br></th>"
       "      <TH WIDTH=20% bgcolor=\"#3399FF\"><br></th>"
       "</THEAD></TABLE>";
  return s;
}

// The property tab bar for property `id` with the tab at position `current`
// shown (a position past the last tab: none). The cells' texts come from the
// tab rows of the page table; their markup is written out here.
inline std::string TabsText(int32_t id, int current) {
  std::string s = "</THEAD></TABLE>";
  s += kColumnTable;
  s += "<THEAD><TR VALIGN=TOP>";
  int position = 0;
  for (const PageEntry* row : PropertyTabRows()) {
    const TabCell& t = *row->tab;
    s += "      <TH WIDTH=";
    s += t.width;
    if (position++ == current) {
      s += " bgcolor=\"#51C2F9\"><P>";
      s += t.caption;
      s += "</P></th>";
    } else {
      s += " bgcolor=\"#3399FF\">";
      if (t.paragraph) s += "<P>";
      s += "<a href=\"";
      s += t.link;
      s += std::to_string(id) + "\">";
      s += t.caption;
      s += "</a><br>";
      if (t.paragraph) s += "</P>";
      s += "</th>";
    }
  }
  s += "</THEAD></TABLE>";
  return s;
}

// The tab row at a position of the tab bar, or null past the last one.
inline const PageEntry* TabAt(int position) {
  const auto tabs = PropertyTabRows();
  return position >= 0 && static_cast<size_t>(position) < tabs.size() ? tabs[position] : nullptr;
}

// A request of a visitor with the given LoggedIn value ("" for none).
inline SimplePageRequest Request(std::string_view logged_in = "True") {
  SimplePageRequest request;
  if (!logged_in.empty()) request.session.emplace("LoggedIn", std::string(logged_in));
  return request;
}

// Whether the session's attachment holds a snapshot, as the engine sees it: a
// transaction open on it that is not read-only and read committed.
inline bool HoldsSnapshot(DatabaseSession& session) {
  Transaction monitor(session.Connection());
  monitor.SetReadOnly(true);
  monitor.SetIsolation(IsolationLevel::kReadCommitted);
  monitor.StartTransaction();
  Cursor query(session.Connection(), monitor);
  query.SQL().Add("SELECT COUNT(*) FROM MON$TRANSACTIONS");
  query.SQL().Add("WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION");
  query.SQL().Add("AND MON$TRANSACTION_ID <> CURRENT_TRANSACTION");
  query.SQL().Add("AND (MON$ISOLATION_MODE NOT IN (2, 3) OR MON$READ_ONLY = 0)");
  query.Open();
  const bool holds = query.Fields()[0].AsInteger() != 0;
  query.Close();
  monitor.Commit();
  return holds;
}

// Each test gets its own database and a session attached to it as SYSDBA.
class PageTest : public ::testing::Test {
 protected:
  PageTest() : clock(kFixedNow) {
    database.Configure(session.Connection());
    session.Connection().Connect();
  }

  // Runs the page of that name (its handler alone, as the page table holds
  // it) and returns the page's bytes.
  std::string Run(std::string_view page, PageRequest& request) {
    PageStream out;
    PageContext context{request, out, session, clock, PageNamed(page)};
    context.entry.handler(context);
    return out.TakeDataString();
  }
  std::string Run(std::string_view page) {
    SimplePageRequest request = Request();
    return Run(page, request);
  }

  TestDatabase database;
  FixedClock clock;
  DatabaseSession session;
};

}  // namespace qv::pagetest
