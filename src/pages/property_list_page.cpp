// The searchable, area-filtered property list, ten rows a page, with paging links.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
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
// The properties the address search looks through in name order before it
// reads every address instead: a fragment found in one address of a hundred
// fills its page from them.
constexpr int32_t kAddressWindow = 1000;

// A page row: what the page shows of it.
void WriteListRow(PageStream& out, std::string_view id, std::string_view name,
                  std::string_view address, std::string_view city) {
  out.WriteString("<TD WIDTH=50% bgcolor=\"#E8E8E8\"><P><a href=\"/propinfo?propid=");
  out.WriteString(id);
  out.WriteString("\">");
  out.WriteString(name);
  out.WriteString("</a><br></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(address);
  out.WriteString("<br></P></TD>");
  out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(city);
  out.WriteString("<br></P></TD></TR>");
}

// Whether the list comes in the order of the name index: the server walks
// the index for the list's own statement of this mode (no area filter), so
// that equal names come in record order and the keyset statements give its
// rows. Else it sorts them, and only the statement itself gives its order.
bool ListWalksTheNameIndex(DatabaseSession& db, ListSearchMode mode) {
  const std::string plan = db.QueryPlan(kListQueries[static_cast<int>(mode)][0]);
  return plan.find("SORT") == std::string::npos &&
         plan.find("P ORDER ") != std::string::npos;
}

// Writes the page's rows by the list's own statement, skipping to the page,
// and returns how many.
int WriteSkippedRows(PageContext& page, const ListRequest& r) {
  std::string upper_search;
  std::array<ParamValue, 3> params{r.skip, kNull, kNull};
  size_t count = 1;
  if (r.mode == ListSearchMode::kName) {
    upper_search = UpperCaseAscii(r.search_value);
    params[count++] = upper_search;
  } else if (r.mode == ListSearchMode::kAddress) {
    params[count++] = r.search_value;
  }
  if (r.area_filter) params[count++] = r.area;
  auto list = page.db.Query(kListQueries[static_cast<int>(r.mode)][r.area_filter ? 1 : 0],
                            std::span<const ParamValue>(params.data(), count));
  int rows = 0;
  for (; !list.AtEnd(); list.Next()) {
    using enum ListColumn;
    WriteListRow(page.out, list.Text(kPropertyId), list.Text(kPropertyName), list.Text(kAddress1),
                 list.Text(kCity));
    ++rows;
  }
  return rows;
}

// The bookmarks' name for this visitor's search; empty when the visitor has
// no session (nothing is remembered then).
std::string SearchKey(PageContext& page, const ListRequest& r) {
  const std::string visitor = page.request.VisitorKey();
  if (visitor.empty()) return {};
  std::string key = visitor;
  for (const std::string& part : {page.db.Connection().DatabaseName(),
                                  std::to_string(static_cast<int>(r.mode)), r.search_value}) {
    key += '\0';
    key += part;
  }
  return key;
}

// A fetched row's place in the list's order; none when its name cannot be
// read back whole.
std::optional<ListRowKey> RowKey(const Cursor<KeysetColumn>& row) {
  ListRowKey key;
  const std::string_view record = row.Text(KeysetColumn::kRecordNumber);
  if (std::from_chars(record.data(), record.data() + record.size(), key.record).ec !=
      std::errc()) {
    return std::nullopt;
  }
  key.null_name = row.IsNull(KeysetColumn::kNameKey);
  if (!key.null_name) {
    const std::string_view name = row.Text(KeysetColumn::kNameKey);
    if (name.empty() || name.back() != '.') return std::nullopt;
    key.name = name.substr(0, name.size() - 1);
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
  bool bytes = false;
  {
    const auto collation = db.Query(kNameCollationQuery);
    bytes = !collation.AtEnd() && collation.Integer(CollationColumn::kCollationId) == 0;
  }
  std::lock_guard<std::mutex> lock(mutex);
  known[database] = bytes;
  return bytes;
}

// The values of a keyset statement's parameters, in order; the texts they
// refer to live here too.
class KeysetParams {
 public:
  void Add(ParamValue value) { values_.push_back(value); }
  void AddText(std::string text) { Add(texts_.emplace_back(std::move(text))); }
  std::span<const ParamValue> Values() const { return values_; }

  // The search value, where the mode searches.
  void AddSearch(DatabaseSession& db, const ListRequest& r) {
    if (r.mode == ListSearchMode::kName) {
      const std::string upper = UpperCaseAscii(r.search_value);
      AddText(upper);
      // Every name is at or after the empty text.
      AddText(NamesInByteOrder(db) ? upper : std::string());
    } else if (r.mode == ListSearchMode::kAddress) {
      Add(r.search_value);
    }
  }
  // A bookmarked row: :NAME twice and :RECORD, or :RECORD alone for a NULL name.
  void AddAfter(const ListRowKey& after) {
    if (!after.null_name) {
      Add(after.name);
      Add(after.name);
    }
    Add(after.record);
  }

 private:
  std::vector<ParamValue> values_;
  std::deque<std::string> texts_;  // stable: the values refer to them
};

// A fetched row: what the page shows of it and its place in the order.
struct ListedRow {
  std::string id, name, address, city;
  std::optional<ListRowKey> key;
};

// Every row of a keyset statement run with these values.
std::vector<ListedRow> FetchRows(DatabaseSession& db, const QueryText<KeysetColumn>& query,
                                 const KeysetParams& params) {
  std::vector<ListedRow> rows;
  for (auto list = db.Query(query, params.Values()); !list.AtEnd(); list.Next()) {
    using enum KeysetColumn;
    rows.push_back({std::string(list.Text(kPropertyId)), std::string(list.Text(kPropertyName)),
                    std::string(list.Text(kAddress1)), std::string(list.Text(kCity)),
                    RowKey(list)});
  }
  return rows;
}

ListStart StartAfter(const std::optional<ListRowKey>& after) {
  if (!after) return ListStart::kOffset;
  return after->null_name ? ListStart::kAfterNullName : ListStart::kAfterName;
}

// The address search's ten rows from the window after `after` (or from the
// first row), when the window holds ten.
std::optional<std::vector<ListedRow>> AddressWindowRows(PageContext& page, const ListRequest& r,
                                                        const std::optional<ListRowKey>& after) {
  KeysetParams params;
  params.Add(kAddressWindow);
  if (after) params.AddAfter(*after);
  params.Add(r.search_value);
  std::vector<ListedRow> rows = FetchRows(page.db, AddressWindowQuery(StartAfter(after)), params);
  if (rows.size() < 10) return std::nullopt;
  return rows;
}

// Writes the page's rows of the list in name-index order (at most ten, from
// offset skip) and returns how many. With a bookmark for the offset the
// statement starts after that row and reads about as many rows as it shows;
// without one it walks to the offset, fetching the pages just before it as
// well to note where they start. Every page shown notes where the next one
// starts.
int WriteKeysetRows(PageContext& page, const ListRequest& r) {
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
    KeysetParams params;
    params.AddSearch(page.db, r);
    params.AddAfter(*after);
    rows = FetchRows(page.db, KeysetListQuery(r.mode, StartAfter(after)), params);
  } else if (!rows) {
    const int64_t behind = search.empty() ? 0 : std::min(offset, kPagesNotedBehind * 10);
    first = offset - behind;
    KeysetParams params;
    params.Add(static_cast<int32_t>(10 + behind));
    params.Add(static_cast<int32_t>(first));
    params.AddSearch(page.db, r);
    rows = FetchRows(page.db, KeysetListQuery(r.mode, ListStart::kOffset), params);
  }

  int shown = 0;
  int64_t at = first;
  for (const ListedRow& row : *rows) {
    if (at >= offset) {
      WriteListRow(page.out, row.id, row.name, row.address, row.city);
      ++shown;
    }
    if (!search.empty() && row.key && (at + 1) % 10 == 0) {
      bookmarks.Remember(search, at + 1, *row.key);
    }
    ++at;
  }
  return shown;
}

// Writes the page's rows (at most ten, from offset skip) in the order of the
// list's own statement and returns how many.
int WriteListRows(PageContext& page, const ListRequest& r) {
  if (!r.area_filter && ListWalksTheNameIndex(page.db, r.mode)) return WriteKeysetRows(page, r);
  return WriteSkippedRows(page, r);
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
