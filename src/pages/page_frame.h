// Fixed markup every page shares (the three head lines and the table
// openings) and the pieces every page calls: the banner with the menu bar,
// the property tab bar and the start of a page's queries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/database_session.h"
#include "pages/page_context.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"

namespace qv::frame {

// The titled head line is written in three pieces around the title.
inline constexpr std::string_view kTitledHeadStart =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head>  <meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\">  <title>";
inline constexpr std::string_view kTitledHeadEnd = "</title></head><body>";
inline constexpr std::string_view kInfoHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\"> <title>HTTP "
    "Info</title></head><body>";
inline constexpr std::string_view kBareHead =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head> <meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\"></head>";

inline constexpr std::string_view kColumnTable =
    "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3><COL WIDTH=85*><COL WIDTH=85*><COL "
    "WIDTH=85*>";
inline constexpr std::string_view kPlainTable =
    "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3>";

}  // namespace qv::frame

namespace qv {

// Runs the context's page on the session's transaction. That transaction is
// read-only and read committed: it holds no snapshot (each statement reads
// what is committed when it runs), the engine counts it neither as an active
// transaction nor as a snapshot that keeps old record versions, and so it is
// kept from page to page rather than started and committed for every page.
// When the page fails, whatever is open is rolled back before the failure
// goes on, and the next page starts afresh.
void RunPage(PageContext& page);

// Opens a page's queries: closes any cursor an earlier page left open (one
// that failed half way outside RunPage) and starts the session's transaction
// unless one is open already.
void BeginPageTransaction(DatabaseSession& db);

// The banner (agency, title, date and time, log-on state) and the menu bar.
void PageBanner(PageContext& page, std::string_view title);
// Opens a page about one record: its queries, the bare head and the banner
// with `title`; the record's id is the request's `id_param` as a number (0
// when it is missing or not one).
int32_t BeginRecordPage(PageContext& page, std::string_view title, std::string_view id_param);
// The property tab bar: a cell per tab row of the page table, the one of
// `current` plain, the others linked to the property (current may be null).
void PropertyTabs(PageStream& out, int32_t property_id, const PageEntry* current);
// Opens the one-cell table that shows a property's name above the tabs.
void PropertyNameCell(PageStream& out, std::string_view name);

// Sets a text parameter. A text longer than the parameter the server
// described cannot equal, start or be contained in any value of it, so it is
// sent as NULL, which matches nothing either.
void SetTextParam(Column& param, const std::string& text);
// "Yes" for a non-zero value, "No" for zero.
std::string YesNoText(int32_t value);

}  // namespace qv
