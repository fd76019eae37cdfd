// Test fixture for page tests: a fresh embedded database, a database session
// attached to it, a fixed clock, and the expected text of the shared page
// pieces, read from the files of tests/pages/fixtures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "db/database_session.h"
#include "db/prepared_statement.h"
#include "pages/page_context.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "platform/error_sink.h"
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

// The bytes of a fixture file of tests/pages/fixtures, without the line
// break that ends the file.
inline std::string Fixture(std::string_view name) {
  const std::string path = std::string(QV_PAGES_FIXTURES) + "/" + std::string(name);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("no fixture " + path);
  std::ostringstream text;
  text << in.rdbuf();
  std::string bytes = text.str();
  if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  return bytes;
}

// The text with each "{name}" replaced by its value.
inline std::string Filled(std::string text,
                          std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  for (const auto& [name, value] : values) {
    const std::string mark = "{" + std::string(name) + "}";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
      text.replace(at, mark.size(), value);
  }
  return text;
}

// The banner and menu bar as a page shows them for a session whose LoggedIn
// value is `logged_in` ("True", "False", or anything else), at kFixedNow.
inline std::string BannerText(std::string_view agency, std::string_view title,
                              std::string_view logged_in,
                              std::string_view stamp = kBannerStamp) {
  const char* file = logged_in == "True"    ? "banner-logged-on.html"
                     : logged_in == "False" ? "banner-logged-off.html"
                                            : "banner-other.html";
  return Filled(Fixture(file), {{"agency", agency}, {"title", title}, {"stamp", stamp}});
}

// The property tab bar for property `id` with the tab at position `current`
// shown (a position past the last tab: none): a cell per tab row of the page
// table, from the tab's fixture (its current form, then its linked form), each
// an equal share of the width and the first one the rest of it.
inline std::string TabsText(int32_t id, int current) {
  const auto tabs = PropertyTabRows();
  const int share = 100 / static_cast<int>(tabs.size());
  std::string cells;
  for (size_t position = 0; position < tabs.size(); ++position) {
    const std::string forms = Fixture("tabs/" + std::string(tabs[position]->name) + ".html");
    const size_t line_end = forms.find('\n');
    const std::string cell = static_cast<int>(position) == current ? forms.substr(0, line_end)
                                                                    : forms.substr(line_end + 1);
    const int width = position == 0 ? 100 - share * static_cast<int>(tabs.size() - 1) : share;
    cells += Filled(cell, {{"width", std::to_string(width)}, {"id", std::to_string(id)}});
  }
  return Filled(Fixture("tab-bar.html"), {{"cells", cells}});
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

// A number about the session's attachment, read by `sql` in a monitoring
// transaction of its own on the same attachment.
inline int32_t TransactionsBeside(DatabaseSession& session, const char* sql) {
  Transaction monitor(session.Connection(), kSessionTransaction);
  PreparedStatement query(session.Connection(), sql);
  query.Prepare(monitor);
  query.Execute(monitor);
  const int32_t value =
      RowCursor(query, {session.Connection().Handle(), monitor.Handle()}).Integer(0);
  monitor.Commit();
  return value;
}

// Whether the session's attachment holds a snapshot, as the engine sees it: a
// transaction open on it that is not read-only and read committed.
inline bool HoldsSnapshot(DatabaseSession& session) {
  return TransactionsBeside(session,
                            "SELECT COUNT(*) FROM MON$TRANSACTIONS\n"
                            "WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION\n"
                            "AND MON$TRANSACTION_ID <> CURRENT_TRANSACTION\n"
                            "AND (MON$ISOLATION_MODE NOT IN (2, 3) OR MON$READ_ONLY = 0)") != 0;
}

// The id of the transaction the session's pages run in (0: none open).
inline int32_t PageTransaction(DatabaseSession& session) {
  return TransactionsBeside(session,
                            "SELECT COALESCE(MAX(MON$TRANSACTION_ID), 0) FROM MON$TRANSACTIONS\n"
                            "WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION\n"
                            "AND MON$TRANSACTION_ID <> CURRENT_TRANSACTION");
}

// Each test gets its own database and a session attached to it as SYSDBA.
class PageTest : public ::testing::Test {
 protected:
  PageTest() : clock(kFixedNow) {
    database.Configure(session.Connection());
    session.Attach();
  }

  // Runs the page of that name (its handler alone, as the page table holds
  // it) and returns the page's bytes.
  std::string Run(std::string_view page, PageRequest& request) {
    PageStream out;
    PageContext context{request, out, session, clock, PageNamed(page), errors};
    context.entry.handler(context);
    return out.TakeDataString();
  }
  std::string Run(std::string_view page) {
    SimplePageRequest request = Request();
    return Run(page, request);
  }

  TestDatabase database;
  FixedClock clock;
  // What pages report without failing goes to standard error.
  ErrorSink errors;
  DatabaseSession session;
};

}  // namespace qv::pagetest
