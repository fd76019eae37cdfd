// The property list's pages, reached by Next, by Previous and by jumping to a
// page number, show the rows that the list's earlier statements (FIRST 10 SKIP
// n ... ORDER BY PROPERTY_NAME) showed for that page number, on a database
// with equal names (also equal but for trailing blanks), NULL names,
// properties without an address row or without an area, and record numbers
// that run against the ids (rows deleted and their places taken again).
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "db/cursor.h"
#include "page_fixture.h"
#include "pages/list_bookmarks.h"

namespace qv::pagetest {
namespace {

// The statements the list ran before it kept bookmarks, by search mode.
constexpr const char* kOldHead =
    "SELECT FIRST 10 SKIP :SKIPPED P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, "
    "A.PROP_ADDRESS2, A.PROP_CITY, A.PROP_STATE,\n"
    "A.PROP_ZIPCODE, P.NUM_UNITS\n"
    "FROM PROPERTY P\n"
    "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n";
const char* const kOldWhere[] = {
    "",
    "WHERE A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE\n",
    "WHERE UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE\n",
};

const char* const kNames[] = {"Elm Row", "Elm Row ", "elm row", nullptr, "ABC Flats",
                              "Abc Flats", "Oak", "Elm Row", "Oak", "Zed"};

struct Search {
  const char* label;
  int mode;  // 0 none, 1 address, 2 name
  std::vector<std::pair<std::string, std::string>> params;
  std::string value;  // as the old statement got it
};

class ListPagingTest : public PageTest {
 protected:
  ListPagingTest() {
    std::string s =
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South');";
    // A first batch whose record numbers the second batch takes over.
    for (int i = 1; i <= 40; ++i) {
      s += "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (" + std::to_string(5000 + i) +
           ", 'gone');";
    }
    database.ExecScript(s);
    database.Exec("DELETE FROM PROPERTY");
    s.clear();
    for (int i = 1; i <= 150; ++i) {
      const int id = (i * 53) % 211;  // ids run against the record order
      const char* name = kNames[i % 10];
      const int area = i % 4;          // 0: no area, 3: an area without a row
      const bool address = i % 13 != 0;  // some properties have no address row
      const std::string street = i % 3 == 0 ? "12 Main St" : i % 3 == 1 ? "4 MAIN Ave" : "9 Hill Rd";
      if (address) {
        s += "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_CITY) "
             "VALUES (" + std::to_string(1000 + id) + ", " + std::to_string(id) + ", '" + street +
             "', 'City')";
        s += ";";
      }
      s += "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID) "
           "VALUES (" + std::to_string(id) + ", " +
           (name ? "'" + std::string(name) + "'" : std::string("NULL")) + ", " +
           std::to_string(1000 + id) + ", " + (area ? std::to_string(area) : "NULL") + ");";
      areas_[id] = area;
    }
    database.ExecScript(s);
  }

  // The ids the old statement gives, all pages after one another.
  std::vector<int> OldOrder(const Search& search) {
    const std::string text = std::string(kOldHead) + kOldWhere[search.mode] + "ORDER BY PROPERTY_NAME";
    std::vector<int> ids;
    for (int32_t skip = 0;; skip += 10) {
      std::vector<ParamValue> values{skip};
      if (search.mode != 0) values.push_back(search.value);
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

  std::map<int, int> areas_;
};

std::vector<int> Chunk(const std::vector<int>& ids, int page) {
  std::vector<int> out;
  for (size_t i = static_cast<size_t>(page - 1) * 10; i < ids.size() && out.size() < 10; ++i) {
    out.push_back(ids[i]);
  }
  return out;
}

TEST_F(ListPagingTest, NextPreviousAndJumpsShowTheRowsOfTheWalk) {
  const Search searches[] = {
      {"no search", 0, {}, ""},
      {"address search", 1, {{"SearchValue", "main"}, {"Address", "a"}}, "main"},
      {"rare address", 1, {{"SearchValue", "hill"}, {"Address", "a"}}, "hill"},
      {"name search", 2, {{"SearchValue", "el"}, {"PropName", "a"}}, "EL"},
  };
  int visitors = 0;
  for (const Search& search : searches) {
    const std::vector<int> all = OldOrder(search);
    ASSERT_GT(all.size(), 25u) << search.label;
    // Without a filter the old statement is the reference. The area filter
    // keeps that order: the rows of an area in the order the whole list shows
    // them.
    for (const std::string area : {"", "North"}) {
      SCOPED_TRACE(std::string(search.label) + " area " + area);
      std::vector<int> expected;
      for (int id : all) {
        if (area.empty() || areas_[id] == 1) expected.push_back(id);
      }
      const int pages = static_cast<int>(expected.size() / 10) + 1;
      const std::string visitor = "v" + std::to_string(++visitors);
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
        const std::string jumper = "j" + std::to_string(++visitors);
        EXPECT_EQ(PageIds(search, area, page, jumper), Chunk(expected, page)) << page;
        if (page > 1) {
          EXPECT_EQ(PageIds(search, area, page - 1, jumper), Chunk(expected, page - 1)) << page;
        }
        EXPECT_EQ(PageIds(search, area, page, ""), Chunk(expected, page)) << page;
      }
    }
  }
}

// A visitor's bookmark belongs to that visitor's search only.
TEST_F(ListPagingTest, BookmarksAreKeptPerVisitorAndSearch) {
  const Search none{"no search", 0, {}, ""};
  const Search name{"name search", 2, {{"SearchValue", "el"}, {"PropName", "a"}}, "EL"};
  const std::vector<int> all = OldOrder(none);
  const std::vector<int> named = OldOrder(name);
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

}  // namespace
}  // namespace qv::pagetest
