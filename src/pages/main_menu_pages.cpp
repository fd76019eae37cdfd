// The start page, the request-information page and the placeholder page.
// None of them opens the page's queries: their only query is the banner's,
// which runs in the session's transaction, started by the query when none is
// open.
#include <cstdio>
#include <string>

#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/page_text.h"
#include "platform/datetime.h"

namespace qv {

namespace {

// "hh:mm:ss  AM": 12-hour clock with two-digit fields, two blanks before the designator.
std::string InfoTimeText(const DateTimeParts& now) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d  %s", Hour12(now.hour), kTimeSeparator,
                now.minute, kTimeSeparator, now.second, AmPm(now.hour));
  return buf;
}

}  // namespace

MainMenuData ReadMainMenuPage(PageContext& page) { return {ReadBanner(page, "Main Menu")}; }

void WriteHtml(PageStream& out, const PageEntry& /*entry*/, const MainMenuData& data) {
  out.WriteString(frame::kTitledHeadStart);
  out.WriteString("Property List");
  out.WriteString(frame::kTitledHeadEnd);
  WriteBanner(out, data.banner);
  out.WriteString("<br>");
  out.WriteString(
      "<div style=\"text-align: center;\"><b><big><big><big>Quorvale</big></big></big></big></b>"
      "</div>");
  out.WriteString(
      "<p align=\"center\"><IMG height=291 src=\"/image/qv_logo_jpg.jpg\" width=361 align=center "
      "border=0 name=Graphic1></p>");
  out.WriteString(
      "<div style=\"text-align: center;\"><b><big><big><big>Norvanta Web</big></big></big></b>"
      "</div>");
  out.WriteString("<br>");
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#99CCFF\"><P><a href=\"/\">Setup</a><br></P></th>");
  out.WriteString("      <TH WIDTH=60% bgcolor=\"#99CCFF\"><P><br></P></th>");
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#99CCFF\"><P><br></P></th>");
  out.WriteString("</THEAD></TABLE>");
  out.WriteString("</TBODY></TABLE>");
  out.WriteString("</body>");
  out.WriteString("</html>");
}

void MainMenuPage(PageContext& page) { RenderPage(page, ReadMainMenuPage(page)); }

void HttpInfoPage(PageContext& page) {
  PageStream& out = page.out;
  PageRequest& request = page.request;
  out.WriteString(frame::kInfoHead);
  PageBanner(page, "HTML Info");
  const DateTimeParts now = page.clock.Now();
  out.WriteString(PaddedDateText(now));
  out.WriteString("  @  ");
  out.WriteString(InfoTimeText(now));
  out.WriteString("<br>");
  // Request text is echoed escaped, so a crafted request cannot add markup.
  out.WriteString("Command = ");
  out.WriteString(HtmlEscape(request.Command()));
  out.WriteString("<br>");
  out.WriteString("ContentType = ");
  out.WriteString(HtmlEscape(request.ContentType()));
  out.WriteString("<br>");
  out.WriteString("Connection = ");
  out.WriteString(HtmlEscape(request.Connection()));
  out.WriteString("<br>");
  out.WriteString("From = ");
  out.WriteString(HtmlEscape(request.From()));
  out.WriteString("<br>");
  out.WriteString("GetNamePath = ");
  out.WriteString("TIdHTTPRequestInfo");
  out.WriteString("<br>");
  out.WriteString("Host = ");
  out.WriteString(HtmlEscape(request.Host()));
  out.WriteString("<br>");
  out.WriteString("QueryParams = ");
  out.WriteString(HtmlEscape(request.QueryParams()));
  out.WriteString("<br>");
  out.WriteString("Version = ");
  out.WriteString(HtmlEscape(request.Version()));
  out.WriteString("<br>");
  out.WriteString("Document = ");
  out.WriteString(HtmlEscape(request.Document()));
  out.WriteString("<br>");
  out.WriteString("</body></html>");
}

void UnderConstructionPage(PageContext& page) {
  PageStream& out = page.out;
  out.WriteString(frame::kTitledHeadStart);
  out.WriteString("Under Construction");
  out.WriteString(frame::kTitledHeadEnd);
  PageBanner(page, "Under Construction");
  out.WriteString("</body>");
  out.WriteString("</html>");
}

}  // namespace qv
