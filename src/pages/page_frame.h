// Fixed markup every page shares (the three head lines and the table
// openings) and the pieces every page calls: the banner with the menu bar,
// the property tab bar and the start of a page about one record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pages/page_context.h"
#include "pages/page_data.h"
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

// Runs the context's page. Its queries run in the session's transaction,
// which starts with the first query and holds no snapshot (see
// kSessionTransaction), so it is kept from page to page rather than started
// and committed for every page. When the page fails, the transaction is
// rolled back before the failure goes on, and the next page starts afresh.
void RunPage(PageContext& page);

// The banner (agency, title, date and time, log-on state) and the menu bar:
// read, written, or both at once.
BannerData ReadBanner(PageContext& page, std::string_view title);
void WriteBanner(PageStream& out, const BannerData& banner);
void PageBanner(PageContext& page, std::string_view title);
// The id of a page about one record: the request's `id_param` as a number
// (0 when it is missing or not one).
int32_t RecordId(const PageContext& page, std::string_view id_param);
// Whether the request's `id_param` holds a whole number.
bool RecordIdGiven(const PageContext& page, std::string_view id_param);
// Opens a page about one record: the bare head and the banner.
void WriteRecordPageStart(PageStream& out, const BannerData& banner);
// The property tab bar: a cell per tab row of the page table, the one of
// `current` plain, the others linked to the property (current may be null).
void PropertyTabs(PageStream& out, int32_t property_id, const PageEntry* current);
// Opens the one-cell table that shows a property's name above the tabs.
void PropertyNameCell(PageStream& out, std::string_view name);


}  // namespace qv
