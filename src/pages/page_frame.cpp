// The pieces every page shares: the banner with the menu bar, the property
// tab bar, the property name cell and the start of a page's queries.
#include "pages/page_frame.h"

#include <cstdio>
#include <string>

#include "pages/logon_state.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"
#include "platform/datetime.h"
#include "platform/exception.h"

namespace qv {

namespace {

// "h:mm  AM": 12-hour clock, hour without leading zero, two blanks before the designator.
std::string BannerTimeText(const DateTimeParts& now) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d%c%02d  %s", Hour12(now.hour), kTimeSeparator, now.minute,
                AmPm(now.hour));
  return buf;
}

void TabCellText(PageStream& out, const TabCell& tab, int width, int32_t property_id,
                 bool current) {
  out.WriteString("      <TH WIDTH=");
  out.WriteInteger(width);
  if (current) {
    out.WriteString("% bgcolor=\"#51C2F9\"><P>");
    out.WriteString(tab.caption);
    out.WriteString("</P></th>");
    return;
  }
  out.WriteString("% bgcolor=\"#3399FF\">");
  if (tab.paragraph) out.WriteString("<P>");
  out.WriteString("<a href=\"");
  out.WriteString(tab.link);
  out.WriteInteger(property_id);
  out.WriteString("\">");
  out.WriteString(tab.caption);
  out.WriteString("</a><br>");
  if (tab.paragraph) out.WriteString("</P>");
  out.WriteString("</th>");
}

}  // namespace

void RunPage(PageContext& page) {
  try {
    page.entry.handler(page);
  } catch (...) {
    try {
      page.db.Rollback();
    } catch (const Exception&) {
      // The page's own failure is the one the visitor is told about.
    }
    throw;
  }
}

int32_t RecordId(const PageContext& page, std::string_view id_param) {
  return ParseRequestInteger(page.request.Param(id_param), 0);
}

bool RecordIdGiven(const PageContext& page, std::string_view id_param) {
  return IsRequestInteger(page.request.Param(id_param));
}

void WriteRecordPageStart(PageStream& out, const BannerData& banner) {
  out.WriteString(frame::kBareHead);
  WriteBanner(out, banner);
}

BannerData ReadBanner(PageContext& page, std::string_view title) {
  BannerData banner;
  banner.title = title;
  {
    // No agency row: none. Further rows are not read.
    const auto agency = page.db.Query(kAgencyQuery);
    banner.agency = TextOf(agency, AgencyColumn::kAgencyName);
  }
  // Date and time come from two readings of the clock.
  banner.date_reading = page.clock.Now();
  banner.time_reading = page.clock.Now();
  banner.logged_in = page.request.SessionValue(kLoggedInName);
  return banner;
}

void PageBanner(PageContext& page, std::string_view title) {
  WriteBanner(page.out, ReadBanner(page, title));
}

void WriteBanner(PageStream& out, const BannerData& banner) {
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD>");
  out.WriteString("<TH WIDTH=25% bgcolor=\"#99CCFF\">");
  out.WriteString(Plain(banner.agency));
  out.WriteString("</TH>");
  out.WriteString("<TH WIDTH=50% bgcolor=\"#99CCFF\">");
  out.WriteString("<big><big><big>");
  out.WriteString(banner.title);
  out.WriteString("</big></big></big>");
  out.WriteString("</TH>");
  out.WriteString("<TH WIDTH=25% bgcolor=\"#99CCFF\">");

  out.WriteString(ShortDateText(banner.date_reading));
  out.WriteString(" at ");
  out.WriteString(BannerTimeText(banner.time_reading));
  out.WriteString("<BR>");

  if (banner.logged_in == kLoggedInFalse) {
    out.WriteString("by Quorvale Norvanta Web  NOT LOGGED IN </TH>");
  } else {
    out.WriteString("by Quorvale Norvanta Web</TH>");
  }
  out.WriteString("</THEAD></TABLE>");

  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  if (banner.logged_in == kLoggedInTrue) {
    out.WriteString(
        "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGOFF\">Logoff</a><br></P></th>");
  } else {
    out.WriteString(
        "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGON\">Logon</a><br></P></th>");
  }
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/\">Main Menu</a><br></th>");
  out.WriteString(
      "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/list\">Property List</a><br></th>");
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/Reports\"></a><br></th>");
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#3399FF\"><br></th>");
  out.WriteString("</THEAD></TABLE>");
}

void PropertyTabs(PageStream& out, int32_t property_id, const PageEntry* current) {
  out.WriteString("</THEAD></TABLE>");
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  const auto tabs = PropertyTabRows();
  for (size_t position = 0; position < tabs.size(); ++position) {
    const PageEntry* tab = tabs[position];
    TabCellText(out, *tab->tab, TabWidth(position, tabs.size()), property_id, tab == current);
  }
  out.WriteString("</THEAD></TABLE>");
}

void PropertyNameCell(PageStream& out, std::string_view name) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<TBODY>");
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TH WIDTH=100% bgcolor=\"#E8E8E8\">");
  out.WriteString("<div style=\"text-align: center;\">");
  out.WriteString("<big><big><big><b>");
  out.WriteString(name);
  out.WriteString("</big></big></big></b>");
  out.WriteString("</TH>");
}

}  // namespace qv
