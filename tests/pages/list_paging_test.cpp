// The property list's pages, reached by Next, by Previous and by jumping to a
// page number, show the rows that the list's statements (FIRST 10 SKIP n ...
// ORDER BY PROPERTY_NAME) showed for that page number, with and without the
// area filter, on databases with many equal names (also equal but for
// trailing blanks), NULL and empty names, names that differ in case only,
// varied addresses and cities, properties without an address row or without
// an area, and record numbers that run against the ids (rows deleted and
// their places taken again).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "db/cursor.h"
#include "page_fixture.h"
#include "pages/list_bookmarks.h"

namespace qv::pagetest {
namespace {

// The list's statements as they were before it kept bookmarks, by search
// mode, without and with the area filter.
constexpr const char* kOldHead =
    "SELECT FIRST 10 SKIP :SKIPPED P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, "
    "A.PROP_ADDRESS2, A.PROP_CITY, A.PROP_STATE,\n"
    "A.PROP_ZIPCODE, P.NUM_UNITS\n"
    "FROM PROPERTY P\n"
    "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n";
constexpr const char* kOldAreaJoin = "JOIN AREA AR ON (AR.AREA_ID = P.AREA_ID)\n";
const char* const kOldWhere[] = {
    "",
    "WHERE A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE\n",
    "WHERE UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE\n",
};

std::string OldText(int mode, bool area) {
  std::string text = kOldHead;
  if (area) text += kOldAreaJoin;
  text += kOldWhere[mode];
  if (area) text += mode == 0 ? "WHERE " : "AND ";
  if (area) text += "AR.AREA_NAME = :AREANAME\n";
  return text + "ORDER BY PROPERTY_NAME";
}

// Column values by row; a null pointer is NULL.
const char* const kNames[] = {"Elm Row", "Elm Row ", "elm row", nullptr, "ABC Flats", "Abc Flats",
                              "Oak",     "Elm Row",  "Oak  ",   "Zed",   "",          "ELM ROW",
                              "Elm Row", "Oak"};
const char* const kStreets[] = {"12 Main St", "4 MAIN Ave", "9 Hill Rd", nullptr,
                                "12 Main St ", "1 Elm Row", "", "77 Hill Main Way"};
const char* const kSecondLines[] = {nullptr, "Apt 1", "Apt 2", "", "Suite 9"};
const char* const kCities[] = {"City", "Town", nullptr, "Aville", "City ", ""};

std::string Quoted(const char* value) {
  return value ? "'" + std::string(value) + "'" : std::string("NULL");
}

struct Search {
  const char* label;
  int mode;  // 0 none, 1 address, 2 name
  std::vector<std::pair<std::string, std::string>> params;
  std::string value;  // as the old statement got it
};

class ListPagingTest : public PageTest {
 protected:
  // `properties` properties, a few without an address row, with no area, or
  // with an area that has no row (4).
  void Load(int properties) {
    std::string s =
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'South');";
    // A first batch whose record numbers the second batch takes over.
    for (int i = 1; i <= 40; ++i) {
      s += "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (" + std::to_string(5000 + i) +
           ", 'gone');";
    }
    database.ExecScript(s);
    database.Exec("DELETE FROM PROPERTY");
    s.clear();
    for (int i = 1; i <= properties; ++i) {
      const int id = (i * 53) % 211;  // ids run against the record order
      const std::string key = std::to_string(id);
      const int area = i % 5 < 3 ? 1 : i % 5;  // 1 mostly, 3, and 4 (no row)
      if (i % 13 != 0) {  // some properties have no address row
        s += "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, "
             "PROP_ADDRESS2, PROP_CITY, PROP_STATE, PROP_ZIPCODE) VALUES (" +
             std::to_string(1000 + (i * 37) % 199) + ", " + key + ", " + Quoted(kStreets[i % 8]) +
             ", " + Quoted(kSecondLines[i % 5]) + ", " + Quoted(kCities[(i / 3) % 6]) + ", " +
             (i % 2 ? "'WA'" : "NULL") + ", '9" + std::to_string(i % 7) + "');";
      }
      s += "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID, "
           "NUM_UNITS) VALUES (" + key + ", " + Quoted(kNames[i % 14]) + ", " +
           std::to_string(1000 + (i * 37) % 199) + ", " +
           (i % 11 == 0 ? std::string("NULL") : std::to_string(area)) + ", " +
           std::to_string(i % 6) + ");";
    }
    database.ExecScript(s);
  }

  // The ids the old statement gives, all pages after one another.
  std::vector<int> OldOrder(const Search& search, const std::string& area) {
    const std::string text = OldText(search.mode, !area.empty());
    std::vector<int> ids;
    for (int32_t skip = 0;; skip += 10) {
      std::vector<ParamValue> values{skip};
      if (search.mode != 0) values.push_back(search.value);
      if (!area.empty()) values.push_back(area);
      const size_t before = ids.size();
      for (auto cursor = session.QueryRows(text, values); !cursor.AtEnd(); cursor.Next()) {
        ids.push_back(cursor.Integer(0));
      }
      if (ids.size() - before < 10) break;
    }
    return ids;
  }

  // The ids one page shows, for a visitor (empty: no session).
  std::vector<int> PageIds(const Search& search, const std::string& area, int page,
                           const std::string& visitor, bool* next = nullptr) {
    SimplePageRequest request = Request("True");
    request.document = "/list";
    request.visitor = visitor;
    request.Add("page", std::to_string(page));
    for (const auto& [name, value] : search.params) request.Add(name, value);
    if (!area.empty()) request.Add("AreaName", area);
    const std::string text = Run("PropertyListPage", request);
    std::vector<int> ids;
    static const std::regex link("propinfo\\?propid=(-?[0-9]+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), link);
         it != std::sregex_iterator(); ++it) {
      ids.push_back(std::stoi((*it)[1]));
    }
    if (next) *next = text.find(">Next Page</a>") != std::string::npos;
    return ids;
  }

  // Every page of the search, reached by Next from page 1 to the end, by
  // Previous back to the start, by a jump of a new visitor (and Previous from
  // there) and without a session, shows the old statement's page.
  void ExpectEveryPageOfTheOldStatement(const Search& search, const std::string& area) {
    const std::vector<int> expected = OldOrder(search, area);
    SCOPED_TRACE(std::string(search.label) + ", area " + area + ", the old statement's plan " +
                 session.Plan(OldText(search.mode, !area.empty())));
    const int pages = static_cast<int>(expected.size() / 10) + 1;
    const std::string visitor = "v" + std::to_string(++visitors_);
    bool next = true;
    int page = 1;
    for (; next; ++page) {  // Next to the end
      EXPECT_EQ(PageIds(search, area, page, visitor, &next), Chunk(expected, page)) << page;
    }
    EXPECT_EQ(page - 1, pages);
    for (page = pages; page >= 1; --page) {  // and Previous back to the start
      EXPECT_EQ(PageIds(search, area, page, visitor), Chunk(expected, page)) << page;
    }
    for (page = pages; page >= 1; --page) {  // jumps, then Previous from there
      const std::string jumper = "j" + std::to_string(++visitors_);
      EXPECT_EQ(PageIds(search, area, page, jumper), Chunk(expected, page)) << page;
      if (page > 1) {
        EXPECT_EQ(PageIds(search, area, page - 1, jumper), Chunk(expected, page - 1)) << page;
      }
      EXPECT_EQ(PageIds(search, area, page, ""), Chunk(expected, page)) << page;
    }
  }

  static std::vector<int> Chunk(const std::vector<int>& ids, int page) {
    std::vector<int> out;
    for (size_t i = static_cast<size_t>(page - 1) * 10; i < ids.size() && out.size() < 10; ++i) {
      out.push_back(ids[i]);
    }
    return out;
  }

  int visitors_ = 0;
};

const Search kSearches[] = {
    {"no search", 0, {}, ""},
    {"address search", 1, {{"SearchValue", "main"}, {"Address", "a"}}, "main"},
    {"rare address", 1, {{"SearchValue", "hill"}, {"Address", "a"}}, "hill"},
    {"name search", 2, {{"SearchValue", "el"}, {"PropName", "a"}}, "EL"},
};

TEST_F(ListPagingTest, NextPreviousAndJumpsShowTheRowsOfTheOldStatement) {
  Load(150);
  // The area filter's statement sorts the area's rows, and equal names do not
  // come in the order the whole list shows them.
  std::vector<int> in_list_order;
  const std::vector<int> sorted = OldOrder(kSearches[0], "North");
  for (int id : OldOrder(kSearches[0], "")) {
    if (std::find(sorted.begin(), sorted.end(), id) != sorted.end()) in_list_order.push_back(id);
  }
  ASSERT_NE(sorted, in_list_order);
  for (const Search& search : kSearches) {
    ASSERT_GT(OldOrder(search, "").size(), 25u) << search.label;
    ASSERT_GT(OldOrder(search, "North").size(), 15u) << search.label;
    for (const std::string area : {"", "North"}) ExpectEveryPageOfTheOldStatement(search, area);
  }
}

// A few properties: the server sorts the address search's rows instead of
// walking the name index, and its sort puts equal names in an order of its own.
TEST_F(ListPagingTest, FewPropertiesShowTheRowsOfTheOldStatement) {
  Load(40);
  for (const Search& search : kSearches) {
    for (const std::string area : {"", "North"}) ExpectEveryPageOfTheOldStatement(search, area);
  }
}

// A visitor's next page of a sorted search whose rows have gone from it
// since the visitor's earlier pages shows the statement's page as the data
// is now, and the page after it takes the order again.
TEST_F(ListPagingTest, ASortedSearchWhoseRowsChangedShowsTheDataAsItIsNow) {
  Load(150);
  const Search& none = kSearches[0];
  const std::vector<int> before = OldOrder(none, "North");
  ASSERT_GT(before.size(), 40u);
  for (int page : {1, 2}) EXPECT_EQ(PageIds(none, "North", page, "changing"), Chunk(before, page));
  database.Exec("UPDATE PROPERTY SET AREA_ID = 3 WHERE PROPERTY_ID = " +
                std::to_string(before[25]));
  database.Exec("DELETE FROM PROPERTY WHERE PROPERTY_ID = " + std::to_string(before[35]));
  const std::vector<int> after = OldOrder(none, "North");
  ASSERT_NE(Chunk(after, 3), Chunk(before, 3));
  for (int page : {3, 4, 2}) {
    EXPECT_EQ(PageIds(none, "North", page, "changing"), Chunk(after, page)) << page;
  }
}

// A visitor's bookmark belongs to that visitor's search only.
TEST_F(ListPagingTest, BookmarksAreKeptPerVisitorAndSearch) {
  const Search none{"no search", 0, {}, ""};
  const Search name{"name search", 2, {{"SearchValue", "el"}, {"PropName", "a"}}, "EL"};
  Load(150);
  const std::vector<int> all = OldOrder(none, "");
  const std::vector<int> named = OldOrder(name, "");
  EXPECT_EQ(PageIds(none, "", 1, "a"), Chunk(all, 1));
  EXPECT_EQ(PageIds(name, "", 2, "a"), Chunk(named, 2));
  EXPECT_EQ(PageIds(none, "", 2, "a"), Chunk(all, 2));
  EXPECT_EQ(PageIds(none, "", 2, "b"), Chunk(all, 2));
}

TEST(ListBookmarksTest, KeepsAFewOffsetsPerSearchAndFewSearches) {
  ListBookmarks bookmarks;
  ListRowKey key{false, "Elm", 7};
  for (int64_t offset = 10; offset <= 10 * 200; offset += 10) bookmarks.Remember("s", offset, key);
  EXPECT_TRUE(bookmarks.Find("s", 2000).has_value());
  EXPECT_FALSE(bookmarks.Find("s", 10).has_value());  // farthest from the visitor: dropped
  EXPECT_FALSE(bookmarks.Find("t", 2000).has_value());
  for (size_t i = 0; i <= ListBookmarks::kMaxSearches; ++i) {
    bookmarks.Remember("other " + std::to_string(i), 10, key);
  }
  EXPECT_FALSE(bookmarks.Find("s", 2000).has_value());  // least recently used: dropped
  EXPECT_EQ(bookmarks.Find("other 5", 10)->name, "Elm");
}

TEST(ListBookmarksTest, KeepsOrdersWithinTheirBudget) {
  ListBookmarks bookmarks;
  const auto order = [](size_t ids) { return std::make_shared<const ListOrder>(ids, 7); };
  const size_t half = ListBookmarks::kMaxOrderIds / 2;
  bookmarks.RememberOrder("a", order(half));
  bookmarks.RememberOrder("b", order(half));
  ASSERT_TRUE(bookmarks.FindOrder("a"));  // now used after b
  bookmarks.RememberOrder("c", order(10));
  EXPECT_TRUE(bookmarks.FindOrder("a"));
  EXPECT_FALSE(bookmarks.FindOrder("b"));  // least recently used: dropped
  EXPECT_EQ(bookmarks.FindOrder("c")->size(), 10u);
  bookmarks.RememberOrder("d", order(ListBookmarks::kMaxOrderIds + 1));
  EXPECT_FALSE(bookmarks.FindOrder("d"));  // too large to keep
  EXPECT_TRUE(bookmarks.FindOrder("a"));
  bookmarks.RememberOrder("a", nullptr);
  EXPECT_FALSE(bookmarks.FindOrder("a"));
}

}  // namespace
}  // namespace qv::pagetest
