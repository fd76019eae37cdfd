#include "pages/list_rows.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pages/list_bookmarks.h"
#include "pages/page_text.h"

namespace qv {

namespace {

// Pages before one walked to whose starts the walk notes, for Previous.
constexpr int64_t kPagesNotedBehind = 10;
// The properties the address search looks through in name order before it
// reads every address instead: a fragment found in one address of a hundred
// fills its page from them.
constexpr int32_t kAddressWindow = 1000;

// A row of the page, with its place in name-index order when read.
struct ListedRow {
  ListedProperty property;
  std::optional<ListRowKey> key;
};

// The row a cursor of ListColumn or KeysetColumn is on.
template <typename Column>
ListedRow RowAt(const Cursor<Column>& list) {
  return {{ShownIntegerOf(list, Column::kPropertyId), TextOf(list, Column::kPropertyName),
           TextOf(list, Column::kAddress1), TextOf(list, Column::kAddress2),
           TextOf(list, Column::kCity), TextOf(list, Column::kState),
           TextOf(list, Column::kZipcode), IntegerOf(list, Column::kUnits)},
          {}};
}

std::vector<ListedProperty> Properties(std::vector<ListedRow>&& rows) {
  std::vector<ListedProperty> properties;
  properties.reserve(rows.size());
  for (ListedRow& row : rows) properties.push_back(std::move(row.property));
  return properties;
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

// The values of a list statement's parameters, in order; the texts they
// refer to live here too.
class ListParams {
 public:
  void Add(ParamValue value) { values_.push_back(value); }
  void AddText(std::string text) { Add(texts_.emplace_back(std::move(text))); }
  std::span<const ParamValue> Values() const { return values_; }

  // The search value (a name search's upper-cased), where the mode searches.
  void AddSearch(const ListSearch& s) {
    if (s.mode == ListSearchMode::kName) AddText(UpperCaseAscii(s.search_value));
    if (s.mode == ListSearchMode::kAddress) Add(s.search_value);
  }
  // A name search's :LOWEST; every name is at or after the empty text.
  void AddLowest(DatabaseSession& db, const ListSearch& s) {
    if (s.mode == ListSearchMode::kName) {
      AddText(NamesInByteOrder(db) ? UpperCaseAscii(s.search_value) : std::string());
    }
  }
  void AddArea(const ListSearch& s) {
    if (s.area_filter) Add(s.area);
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

// The bookmarks' name for this visitor's search; empty when the visitor has
// no session (nothing is remembered then).
std::string SearchKey(PageContext& page, const ListSearch& s) {
  const std::string visitor = page.request.VisitorKey();
  if (visitor.empty()) return {};
  std::string key = visitor;
  for (const std::string& part :
       {page.db.Connection().DatabaseName(), std::to_string(static_cast<int>(s.mode)),
        s.area_filter ? "area " + s.area : std::string("all"), s.search_value}) {
    key += '\0';
    key += part;
  }
  return key;
}

QueryText<ListColumn> ListStatement(const ListSearch& s) {
  return kListQueries[static_cast<int>(s.mode)][s.area_filter ? 1 : 0];
}

// Whether the server walks the name index for the list's statement of this
// mode without the area filter (its plan), so that equal names come in
// record order.
bool ListWalksTheNameIndex(DatabaseSession& db, ListSearchMode mode) {
  const std::string plan = db.QueryPlan(kListQueries[static_cast<int>(mode)][0]);
  return plan.find("SORT") == std::string::npos && plan.find("P ORDER ") != std::string::npos;
}

// ---- The sorted list: the statement itself, or the order it gave.

// The page's rows by the list's own statement, skipping to the page.
std::vector<ListedRow> SkippedRows(PageContext& page, const ListSearch& s) {
  ListParams params;
  params.Add(10);
  params.Add(s.skip);
  params.AddSearch(s);
  params.AddArea(s);
  std::vector<ListedRow> rows;
  for (auto list = page.db.Query(ListStatement(s), params.Values()); !list.AtEnd(); list.Next()) {
    rows.push_back(RowAt(list));
  }
  return rows;
}

// The ids of all the rows of the list's own statement, in its order.
std::shared_ptr<const ListOrder> TakeOrder(PageContext& page, const ListSearch& s) {
  ListParams params;
  params.Add(std::numeric_limits<int32_t>::max());
  params.Add(0);
  params.AddSearch(s);
  params.AddArea(s);
  auto order = std::make_shared<ListOrder>();
  for (auto list = page.db.Query(ListStatement(s), params.Values()); !list.AtEnd(); list.Next()) {
    order->push_back(list.Integer(ListColumn::kPropertyId));
  }
  return order;
}

// The page's rows, those of the order from offset skip, read by id; none
// when one of them is no longer a row of the search.
std::optional<std::vector<ListedRow>> RowsOfOrder(PageContext& page, const ListSearch& s,
                                                  const ListOrder& order) {
  const size_t first = std::min(order.size(), static_cast<size_t>(s.skip));
  const std::span<const int32_t> ids(order.data() + first,
                                     std::min<size_t>(10, order.size() - first));
  if (ids.empty()) return std::vector<ListedRow>{};
  ListParams params;
  for (size_t i = 0; i < static_cast<size_t>(kListRowsIds); ++i) {
    params.Add(i < ids.size() ? ParamValue(ids[i]) : ParamValue(kNull));
  }
  params.AddSearch(s);
  params.AddArea(s);
  std::unordered_map<int32_t, ListedRow> found;
  for (auto list = page.db.Query(ListRowsQuery(s.mode, s.area_filter), params.Values());
       !list.AtEnd(); list.Next()) {
    found.emplace(list.Integer(ListColumn::kPropertyId), RowAt(list));
  }
  std::vector<ListedRow> rows;
  for (int32_t id : ids) {
    auto row = found.find(id);
    if (row == found.end()) return std::nullopt;
    rows.push_back(std::move(row->second));
  }
  return rows;
}

// The page's rows of a sorted search. The first page runs the statement for
// its ten rows (many visitors look no further); a later page of a visitor
// takes the order of all the rows unless one is kept, and reads its rows by
// it. One whose rows have gone from the search (the data changed) runs the
// statement and leaves the next page to take the order again.
std::vector<ListedProperty> SortedRows(PageContext& page, const ListSearch& s) {
  const std::string search = SearchKey(page, s);
  ListBookmarks& bookmarks = SharedListBookmarks();
  if (!search.empty() && s.skip > 0) {
    std::shared_ptr<const ListOrder> order = bookmarks.FindOrder(search);
    if (!order) {
      order = TakeOrder(page, s);
      bookmarks.RememberOrder(search, order);
    }
    if (auto rows = RowsOfOrder(page, s, *order)) return Properties(std::move(*rows));
  }
  if (!search.empty()) bookmarks.RememberOrder(search, nullptr);
  return Properties(SkippedRows(page, s));
}

// ---- The list in name-index order: keyset statements and bookmarks.

// A fetched row's place in name-index order; none when its name cannot be
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

// Every row of a keyset statement run with these values.
std::vector<ListedRow> KeysetRows(DatabaseSession& db, const QueryText<KeysetColumn>& query,
                                  const ListParams& params) {
  std::vector<ListedRow> rows;
  for (auto list = db.Query(query, params.Values()); !list.AtEnd(); list.Next()) {
    rows.push_back(RowAt(list));
    rows.back().key = RowKey(list);
  }
  return rows;
}

ListStart StartAfter(const std::optional<ListRowKey>& after) {
  if (!after) return ListStart::kOffset;
  return after->null_name ? ListStart::kAfterNullName : ListStart::kAfterName;
}

// The address search's ten rows from the window after `after` (or from the
// first row), when the window holds ten.
std::optional<std::vector<ListedRow>> AddressWindowRows(PageContext& page, const ListSearch& s,
                                                        const std::optional<ListRowKey>& after) {
  ListParams params;
  params.Add(kAddressWindow);
  if (after) params.AddAfter(*after);
  params.Add(s.search_value);
  std::vector<ListedRow> rows = KeysetRows(page.db, AddressWindowQuery(StartAfter(after)), params);
  if (rows.size() < 10) return std::nullopt;
  return rows;
}

// The page's rows in name-index order. With a bookmark for the offset the
// statement starts after that row and reads about as many rows as it shows;
// without one it walks to the offset, fetching the pages just before it as
// well to note where they start. Every page shown notes where the next one
// starts.
std::vector<ListedProperty> RowsInNameOrder(PageContext& page, const ListSearch& s) {
  ListBookmarks& bookmarks = SharedListBookmarks();
  const std::string search = SearchKey(page, s);
  const int64_t offset = s.skip;
  std::optional<ListRowKey> after;
  if (offset > 0 && !search.empty()) after = bookmarks.Find(search, offset);

  std::optional<std::vector<ListedRow>> rows;
  int64_t first = offset;  // the offset of the first row fetched
  if (s.mode == ListSearchMode::kAddress && (after || offset == 0)) {
    rows = AddressWindowRows(page, s, after);
  }
  if (!rows && after) {
    ListParams params;
    params.AddSearch(s);
    params.AddLowest(page.db, s);
    params.AddAfter(*after);
    rows = KeysetRows(page.db, KeysetListQuery(s.mode, StartAfter(after)), params);
  } else if (!rows) {
    const int64_t behind = search.empty() ? 0 : std::min(offset, kPagesNotedBehind * 10);
    first = offset - behind;
    ListParams params;
    params.Add(static_cast<int32_t>(10 + behind));
    params.Add(static_cast<int32_t>(first));
    params.AddSearch(s);
    params.AddLowest(page.db, s);
    rows = KeysetRows(page.db, KeysetListQuery(s.mode, ListStart::kOffset), params);
  }

  std::vector<ListedProperty> shown;
  int64_t at = first;
  for (ListedRow& row : *rows) {
    if (at >= offset) shown.push_back(std::move(row.property));
    if (!search.empty() && row.key && (at + 1) % 10 == 0) {
      bookmarks.Remember(search, at + 1, *row.key);
    }
    ++at;
  }
  return shown;
}

}  // namespace

std::vector<ListedProperty> ReadListRows(PageContext& page, const ListSearch& search) {
  if (!search.area_filter && ListWalksTheNameIndex(page.db, search.mode)) {
    return RowsInNameOrder(page, search);
  }
  return SortedRows(page, search);
}

}  // namespace qv
