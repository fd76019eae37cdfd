// The searchable, area-filtered property list, ten rows a page, with paging links.
#include <cstdint>
#include <string>

#include "pages/list_rows.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

namespace {

// Page arithmetic is 32-bit; values outside the range wrap as they would there.
int32_t Wrap32(int64_t value) { return static_cast<int32_t>(value); }

struct ListRequest : ListSearch {
  int32_t page = 1;
  int32_t previous_page = 0;
  int32_t next_page = 2;
};

ListRequest ReadListRequest(const PageRequest& request) {
  ListRequest r;
  r.page = ParseRequestInteger(request.Param("PAGE"), 1);
  r.previous_page = Wrap32(int64_t{r.page} - 1);
  if (r.previous_page < 0) r.previous_page = 0;
  r.next_page = Wrap32(int64_t{r.page} + 1);
  r.skip = Wrap32((int64_t{r.page} - 1) * 10);
  if (r.skip < 0) r.skip = 0;
  r.area = TrimText(request.Param("AreaName"));
  r.area_filter = !r.area.empty() && UpperCaseAscii(r.area) != "ALL";

  const std::string search = TrimText(request.Param("SEARCHVALUE"));
  if (!request.Param("ADDRESS").empty()) {
    if (!search.empty()) r.mode = ListSearchMode::kAddress;
  } else if (!request.Param("PROPNAME").empty()) {
    if (!search.empty()) r.mode = ListSearchMode::kName;
  }
  if (r.mode != ListSearchMode::kNone) r.search_value = search;
  return r;
}

// A paging link up to its closing quote and caption: the link repeats this
// page's search and area, each encoded as a query value.
void WritePagingLink(PageStream& out, const ListRequest& r, int32_t page) {
  out.WriteString("<a href=\"/list?page=");
  out.WriteInteger(page);
  if (r.mode == ListSearchMode::kAddress) {
    out.WriteString("&SearchValue=");
    out.WriteString(UrlEncodeQueryValue(r.search_value));
    out.WriteString("&Address=a&AreaName=");
  } else if (r.mode == ListSearchMode::kName) {
    out.WriteString("&SearchValue=");
    out.WriteString(UrlEncodeQueryValue(r.search_value));
    out.WriteString("&PropName=a&AreaName=");
  } else {
    out.WriteString("&AreaName=");
  }
  out.WriteString(UrlEncodeQueryValue(r.area));
}

}  // namespace

void PropertyListPage(PageContext& page) {
  PageStream& out = page.out;
  PageRequest& request = page.request;
  const ListRequest r = ReadListRequest(request);

  out.WriteString(frame::kTitledHeadStart);
  out.WriteString("Property List");
  out.WriteString(frame::kTitledHeadEnd);
  PageBanner(page, "Property List");

  // Search form; the text box shows the name value only.
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TH WIDTH=100% bgcolor=\"#E8E8E8\"><br>");
  out.WriteString("<form method=\"GET\"  action=\"/List\">");
  out.WriteString(" Search for : ");
  out.WriteString("  <input type=\"text\" name=\"SearchValue\" size=\"30\" value=\"");
  if (r.mode == ListSearchMode::kName) out.WriteString(HtmlEscape(r.search_value));
  out.WriteString("\">&nbsp;");
  out.WriteString("  <input type=\"submit\" value=\"Search by Property Name\" name=\"PropName\">");
  out.WriteString(
      "  <input type=\"submit\" value=\"Search by Street Address\" name=\"Address\">&nbsp;<br>");
  out.WriteString(" Area Name : ");
  out.WriteString(
      "<SELECT style=\"FONT-SIZE: 10pt; FONT-FAMILY: 'Cumberland', monospace\" name=AreaName>");

  // Area options: the requested area first and selected, else the first area.
  {
    auto areas = page.db.Query(kAreaQuery);
    if (!r.area.empty()) {
      const std::string shown = HtmlEscape(r.area);
      out.WriteString("<OPTION value=\"");
      out.WriteString(shown);
      out.WriteString("\" selected>");
      out.WriteString(shown);
      while (!areas.AtEnd()) {
        const std::string_view name = areas.Text(AreaColumn::kAreaName);
        if (name != r.area) {
          out.WriteString("<OPTION>");
          out.WriteString(name);
          out.WriteString("</OPTION>");
        }
        areas.Next();
      }
    } else if (!areas.AtEnd()) {  // an empty area table gives no options
      const std::string_view first = areas.Text(AreaColumn::kAreaName);
      out.WriteString("<OPTION value=\"");
      out.WriteString(first);
      out.WriteString("\" selected>");
      out.WriteString(first);
      areas.Next();
      while (!areas.AtEnd()) {
        out.WriteString("<OPTION>");
        out.WriteString(areas.Text(AreaColumn::kAreaName));
        out.WriteString("</OPTION>");
        areas.Next();
      }
    }
  }

  out.WriteString("<input type=\"submit\" value=\"Refresh List\" name=\"Refresh\">");
  out.WriteString("</form>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP></TABLE>");

  // Column captions.
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TH WIDTH=50% bgcolor=\"#99CCFF\"><P>Property Name<BR></P></TH>");
  out.WriteString("<TH WIDTH=33% bgcolor=\"#99CCFF\"><P>Address<BR></P></TH>");
  out.WriteString("<TH WIDTH=17% bgcolor=\"#99CCFF\"><P>City<BR></P></TH>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");

  const int rows = WriteListRows(page, r);

  // Paging row.
  out.WriteString("</TBODY></TABLE>");
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  if (rows == 10) {
    out.WriteString("<TH WIDTH=25% bgcolor=\"#99CCFF\">");
    WritePagingLink(out, r, r.next_page);
    out.WriteString("\">Next Page</a>");
    out.WriteString(
        "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;"
        "&nbsp;&nbsp;");
    out.WriteString("</TH>");
  }
  if (r.page > 0) {
    out.WriteString("<TH WIDTH=25% bgcolor=\"#99CCFF\">");
    WritePagingLink(out, r, r.previous_page);
    out.WriteString("\">Previous Page</a><br>");
    out.WriteString("</TH>");
  }
  out.WriteString("<TH WIDTH=50% bgcolor=\"#99CCFF\"></TH>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
  out.WriteString("</div></div></body></html>");
}

}  // namespace qv
