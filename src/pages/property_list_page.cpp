// The searchable, area-filtered property list, ten rows a page, with paging links.
#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pages/list_bookmarks.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

namespace {

// Page arithmetic is 32-bit; values outside the range wrap as they would there.
int32_t Wrap32(int64_t value) { return static_cast<int32_t>(value); }

struct ListRequest {
  int32_t page = 1;
  int32_t previous_page = 0;
  int32_t next_page = 2;
  int32_t skip = 0;
  std::string area;
  bool area_filter = false;
  std::string search_value;  // the address value or the name value, by mode
  ListSearchMode mode = ListSearchMode::kNone;
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


// Pages before one walked to whose starts the walk notes, for Previous.
constexpr int64_t kPagesNotedBehind = 10;
// The rows of an area up to which walking the name index is the cheaper way.
constexpr int64_t kWalkedAreaRows = 30;
// The properties the address search looks through in name order before it
// reads every address instead: a fragment found in one address of a hundred
// fills its page from them.
constexpr int32_t kAddressWindow = 1000;

// The bookmarks' name for this visitor's search; empty when the visitor has
// no session (nothing is remembered then).
std::string SearchKey(PageContext& page, const ListRequest& r) {
  const std::string visitor = page.request.VisitorKey();
  if (visitor.empty()) return {};
  std::string key = visitor;
  for (const std::string& part :
       {page.db.Connection().DatabaseName(), std::to_string(static_cast<int>(r.mode)),
        r.area_filter ? "area " + r.area : std::string("all"), r.search_value}) {
    key += '\0';
    key += part;
  }
  return key;
}

// A fetched row's place in the list's order (columns 8 and 9); none when its
// name cannot be read back whole.
std::optional<ListRowKey> RowKey(Row& row) {
  ListRowKey key;
  key.record = row[9].AsString();
  key.null_name = row[8].IsNull();
  if (!key.null_name) {
    key.name = row[8].AsString();
    if (key.name.empty() || key.name.back() != '.') return std::nullopt;
    key.name.pop_back();
  }
  return key;
}

// Whether the database orders property names by their bytes (the character
// set's own collation), asked once per database. Then every name whose
// upper-cased form starts with an upper-cased text is at or after that text:
// each of its first characters is that text's character or a lower-case
// letter, which comes after its capital.
bool NamesInByteOrder(DatabaseSession& db) {
  static std::mutex mutex;
  static std::map<std::string, bool> known;
  const std::string database = db.Connection().DatabaseName();
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (auto found = known.find(database); found != known.end()) return found->second;
  }
  Cursor& collation = db.Statement(kNameCollationQuery);
  collation.Open();
  const bool bytes = !collation.Eof() && collation.Fields()[0].AsInteger() == 0;
  collation.Close();
  std::lock_guard<std::mutex> lock(mutex);
  known[database] = bytes;
  return bytes;
}

// Binds the search value and the area from parameter `next` on; returns the
// position after them.
size_t BindSearch(PageContext& page, Row& params, size_t next, const ListRequest& r) {
  if (r.mode == ListSearchMode::kName) {
    const std::string upper = UpperCaseAscii(r.search_value);
    SetTextParam(params[next++], upper);
    // Every name is at or after the empty text.
    SetTextParam(params[next++], NamesInByteOrder(page.db) ? upper : std::string());
  } else if (r.mode == ListSearchMode::kAddress) {
    SetTextParam(params[next++], r.search_value);
  }
  if (r.area_filter) SetTextParam(params[next++], r.area);
  return next;
}

// A fetched row: what the page shows of it and its place in the order.
struct ListedRow {
  std::string id, name, address, city;
  std::optional<ListRowKey> key;
};

void WriteListRow(PageStream& out, const ListedRow& row) {
  out.WriteString("<TD WIDTH=50% bgcolor=\"#E8E8E8\"><P><a href=\"/propinfo?propid=");
  out.WriteString(row.id);
  out.WriteString("\">");
  out.WriteString(row.name);
  out.WriteString("</a><br></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(row.address);
  out.WriteString("<br></P></TD>");
  out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(row.city);
  out.WriteString("<br></P></TD></TR>");
}

// Every row of the opened statement, which is then closed.
std::vector<ListedRow> FetchRows(Cursor& list) {
  std::vector<ListedRow> rows;
  while (!list.Eof()) {
    Row& row = list.Fields();
    rows.push_back({row[0].AsString(), row[1].AsString(), row[2].AsString(), row[4].AsString(),
                    RowKey(row)});
    list.Next();
  }
  list.Close();
  return rows;
}

// Binds a bookmarked row from parameter `next` on.
void BindAfter(Row& params, size_t next, const ListRowKey& after) {
  if (!after.null_name) {
    SetTextParam(params[next++], after.name);
    SetTextParam(params[next++], after.name);
  }
  params[next].SetAsString(after.record);
}

ListStart StartAfter(const std::optional<ListRowKey>& after) {
  if (!after) return ListStart::kOffset;
  return after->null_name ? ListStart::kAfterNullName : ListStart::kAfterName;
}

// The address search's ten rows from the window after `after` (or from the
// first row), when the window holds ten.
std::optional<std::vector<ListedRow>> AddressWindowRows(PageContext& page, const ListRequest& r,
                                                        const std::optional<ListRowKey>& after) {
  Cursor& list = page.db.Statement(AddressWindowQuery(r.area_filter, StartAfter(after)));
  Row& params = list.Params();
  size_t next = 0;
  params[next++].SetAsInteger(kAddressWindow);
  if (r.area_filter) SetTextParam(params[next++], r.area);
  if (after) {
    BindAfter(params, next, *after);
    next += after->null_name ? 1 : 3;
  }
  SetTextParam(params[next], r.search_value);
  list.Open();
  std::vector<ListedRow> rows = FetchRows(list);
  if (rows.size() < 10) return std::nullopt;
  return rows;
}

// Writes the page's rows (at most ten, from offset skip) and returns how many.
// With a bookmark for the offset the statement starts after that row and
// reads about as many rows as it shows; without one it walks to the offset,
// fetching the pages just before it as well to note where they start. Every
// page shown notes where the next one starts.
int WriteListRows(PageContext& page, const ListRequest& r) {
  ListBookmarks& bookmarks = SharedListBookmarks();
  const std::string search = SearchKey(page, r);
  const int64_t offset = r.skip;
  std::optional<ListRowKey> after;
  if (offset > 0 && !search.empty()) after = bookmarks.Find(search, offset);

  std::optional<std::vector<ListedRow>> rows;
  int64_t first = offset;  // the offset of the first row fetched
  if (r.mode == ListSearchMode::kAddress && (after || offset == 0)) {
    rows = AddressWindowRows(page, r, after);
  }
  if (!rows && after) {
    Cursor& list = page.db.Statement(ListQuery(r.mode, r.area_filter, StartAfter(after)));
    BindAfter(list.Params(), BindSearch(page, list.Params(), 0, r), *after);
    list.Open();
    rows = FetchRows(list);
  } else if (!rows) {
    const int64_t behind = search.empty() ? 0 : std::min(offset, kPagesNotedBehind * 10);
    first = offset - behind;
    // Far into an area, reading the area's rows costs less than walking there.
    const bool in_area = r.area_filter && r.mode != ListSearchMode::kAddress &&
                         offset + 10 > kWalkedAreaRows;
    Cursor& list = page.db.Statement(
        ListQuery(r.mode, r.area_filter, in_area ? ListStart::kOffsetInArea : ListStart::kOffset));
    Row& params = list.Params();
    params[0].SetAsInteger(static_cast<int32_t>(10 + behind));
    params[1].SetAsInteger(static_cast<int32_t>(first));
    BindSearch(page, params, 2, r);
    list.Open();
    rows = FetchRows(list);
  }

  int shown = 0;
  int64_t at = first;
  for (const ListedRow& row : *rows) {
    if (at >= offset) {
      WriteListRow(page.out, row);
      ++shown;
    }
    if (!search.empty() && row.key && (at + 1) % 10 == 0) {
      bookmarks.Remember(search, at + 1, *row.key);
    }
    ++at;
  }
  return shown;
}

}  // namespace

void PropertyListPage(PageContext& page) {
  PageStream& out = page.out;
  PageRequest& request = page.request;
  BeginPageTransaction(page.db);
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
  Cursor& areas = page.db.Statement(kAreaQuery);
  areas.Open();
  if (!r.area.empty()) {
    const std::string shown = HtmlEscape(r.area);
    out.WriteString("<OPTION value=\"");
    out.WriteString(shown);
    out.WriteString("\" selected>");
    out.WriteString(shown);
    while (!areas.Eof()) {
      const std::string name = areas.Fields()[1].AsString();
      if (name != r.area) {
        out.WriteString("<OPTION>");
        out.WriteString(name);
        out.WriteString("</OPTION>");
      }
      areas.Next();
    }
  } else if (!areas.Eof()) {  // an empty area table gives no options
    const std::string first = areas.Fields()[1].AsString();
    out.WriteString("<OPTION value=\"");
    out.WriteString(first);
    out.WriteString("\" selected>");
    out.WriteString(first);
    areas.Next();
    while (!areas.Eof()) {
      out.WriteString("<OPTION>");
      out.WriteString(areas.Fields()[1].AsString());
      out.WriteString("</OPTION>");
      areas.Next();
    }
  }
  areas.Close();

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
