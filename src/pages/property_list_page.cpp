// The searchable, area-filtered property list, ten rows a page, with paging links.
#include <cstdint>
#include <string>

#include "pages/data_pages.h"
#include "pages/list_rows.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

namespace {

// Page arithmetic is 32-bit; values outside the range wrap as they would there.
int32_t Wrap32(int64_t value) { return static_cast<int32_t>(value); }

}  // namespace

ListSearch ReadListSearch(const PageRequest& request, PropertyListData* data) {
  PropertyListData fields;
  PropertyListData& r = data ? *data : fields;
  const std::string page = request.Param("PAGE");
  r.page = ParseRequestInteger(page, 1);
  r.page_given = page.empty() || IsRequestInteger(page);
  r.previous_page = Wrap32(int64_t{r.page} - 1);
  if (r.previous_page < 0) r.previous_page = 0;
  r.next_page = Wrap32(int64_t{r.page} + 1);
  r.area = TrimText(request.Param("AreaName"));
  r.area_filter = !r.area.empty() && UpperCaseAscii(r.area) != "ALL";

  std::string search = TrimText(request.Param("SEARCHVALUE"));
  if (!request.Param("ADDRESS").empty()) {
    if (!search.empty()) r.mode = ListSearchMode::kAddress;
  } else if (!request.Param("PROPNAME").empty()) {
    if (!search.empty()) r.mode = ListSearchMode::kName;
  }
  if (r.mode != ListSearchMode::kNone) r.search_value = std::move(search);

  ListSearch list;
  list.mode = r.mode;
  list.search_value = r.search_value;
  list.area_filter = r.area_filter;
  list.area = r.area;
  list.skip = Wrap32((int64_t{r.page} - 1) * 10);
  if (list.skip < 0) list.skip = 0;
  return list;
}

namespace {

// A paging link up to its closing quote and caption: the link repeats this
// page's search and area, each encoded as a query value.
void WritePagingLink(PageStream& out, const PropertyListData& r, int32_t page) {
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

void WriteListRow(PageStream& out, const ListedProperty& row) {
  out.WriteString("<TD WIDTH=50% bgcolor=\"#E8E8E8\"><P><a href=\"/propinfo?propid=");
  out.WriteString(row.id.text);
  out.WriteString("\">");
  out.WriteString(Plain(row.name));
  out.WriteString("</a><br></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(row.address1));
  out.WriteString("<br></P></TD>");
  out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(row.city));
  out.WriteString("<br></P></TD></TR>");
}

}  // namespace

PropertyListData ReadPropertyListPage(PageContext& page) {
  PropertyListData data;
  const ListSearch search = ReadListSearch(page.request, &data);
  data.banner = ReadBanner(page, "Property List");
  for (auto areas = page.db.Query(kAreaQuery); !areas.AtEnd(); areas.Next()) {
    data.areas.push_back({IntegerOf(areas, AreaColumn::kAreaId),
                          std::string(areas.Text(AreaColumn::kAreaName))});
  }
  data.rows = ReadListRows(page, search);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& /*entry*/, const PropertyListData& r) {
  out.WriteString(frame::kTitledHeadStart);
  out.WriteString("Property List");
  out.WriteString(frame::kTitledHeadEnd);
  WriteBanner(out, r.banner);

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
  if (!r.area.empty()) {
    const std::string shown = HtmlEscape(r.area);
    out.WriteString("<OPTION value=\"");
    out.WriteString(shown);
    out.WriteString("\" selected>");
    out.WriteString(shown);
    for (const AreaData& area : r.areas) {
      if (area.name != r.area) {
        out.WriteString("<OPTION>");
        out.WriteString(area.name);
        out.WriteString("</OPTION>");
      }
    }
  } else if (!r.areas.empty()) {  // an empty area table gives no options
    out.WriteString("<OPTION value=\"");
    out.WriteString(r.areas.front().name);
    out.WriteString("\" selected>");
    out.WriteString(r.areas.front().name);
    for (size_t i = 1; i < r.areas.size(); ++i) {
      out.WriteString("<OPTION>");
      out.WriteString(r.areas[i].name);
      out.WriteString("</OPTION>");
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

  for (const ListedProperty& row : r.rows) WriteListRow(out, row);

  // Paging row.
  out.WriteString("</TBODY></TABLE>");
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  if (r.rows.size() == 10) {
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

void PropertyListPage(PageContext& page) { RenderPage(page, ReadPropertyListPage(page)); }

}  // namespace qv
