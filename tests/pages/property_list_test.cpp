// The property list: search modes, area filter, paging links, escaping of
// echoed request text, and statements that request text cannot alter.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "page_fixture.h"
#include "platform/exception.h"

namespace qv::pagetest {
namespace {

struct Property {
  int id;
  const char* name;     // nullptr: NULL
  const char* address;  // nullptr: NULL
  const char* city;
  int area_id;  // 0: NULL
  bool has_address_row;
};

// Listed without a filter in name order (binary, NULLs first), except 9,
// which has no address row.
const Property kProperties[] = {
    {1, "Abbey Court", "12 Main Street", "Springfield", 1, true},
    {2, "ABC Flats", "40 Oak Avenue", "Shelbyville", 2, true},
    {3, "aBlue Homes", "7 MAIN st", "Springfield", 3, true},
    {4, "abacus Place", "99 Elm Road", "Capital City", 1, true},
    {5, "Birch Villas", "5 Mainly Lane", "Ogdenville", 2, true},
    {6, "Cedar Rows", "18 Pine Way", "Springfield", 1, true},
    {7, "Dune Terrace", nullptr, nullptr, 1, true},
    {8, nullptr, "1 Nameless Road", "Springfield", 2, true},
    {9, "Elm Lofts", "2 Lost Lane", "Springfield", 1, false},
    {10, "Fir Commons", "6 Fir Street", "Shelbyville", 0, true},
    {11, "O'Brien Court", "3 Quay St", "Springfield", 3, true},
    {12, "Gable Yard", "8 Hill Street", "Ogdenville", 1, true},
    {13, "Harbor View", "21 Dock Road", "Capital City", 2, true},
};
const std::vector<int> kNameOrder = {8, 2, 1, 5, 6, 7, 10, 12, 13, 11, 3, 4};

std::string SqlText(const char* text) {
  if (text == nullptr) return "NULL";
  std::string s = "'";
  for (const char* p = text; *p; ++p) s += *p == '\'' ? std::string("''") : std::string(1, *p);
  return s + "'";
}

void AddProperty(TestDatabase& database, const Property& p) {
  if (p.has_address_row) {
    database.Exec("INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, "
                  "PROP_CITY, PROP_STATE) VALUES (" +
                  std::to_string(p.id + 100) + ", " + std::to_string(p.id) + ", " +
                  SqlText(p.address) + ", " + SqlText(p.city) + ", 'IL')");
  }
  database.Exec("INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, "
                "AREA_ID, NUM_UNITS) VALUES (" +
                std::to_string(p.id) + ", " + SqlText(p.name) + ", " +
                std::to_string(p.id + 100) + ", " +
                (p.area_id ? std::to_string(p.area_id) : std::string("NULL")) + ", 4)");
}

const Property& PropertyById(int id) {
  for (const Property& p : kProperties) {
    if (p.id == id) return p;
  }
  throw std::out_of_range("no such property");
}

std::string RowText(const Property& p) {
  auto text = [](const char* s) { return std::string(s ? s : ""); };
  return "<TD WIDTH=50% bgcolor=\"#E8E8E8\"><P><a href=\"/propinfo?propid=" +
         std::to_string(p.id) + "\">" + text(p.name) +
         "</a><br></P></TD><TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>" + text(p.address) +
         "<br></P></TD><TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>" + text(p.city) +
         "<br></P></TD></TR>";
}

std::string RowsText(const std::vector<int>& ids) {
  std::string s;
  for (int id : ids) s += RowText(PropertyById(id));
  return s;
}

std::vector<int> Slice(const std::vector<int>& ids, size_t from, size_t count) {
  std::vector<int> out;
  for (size_t i = from; i < ids.size() && i < from + count; ++i) out.push_back(ids[i]);
  return out;
}

// The area drop-down, as the three areas East, North, South give it.
const char kFirstAreaSelected[] =
    "<OPTION value=\"East\" selected>East<OPTION>North</OPTION><OPTION>South</OPTION>";
const char kNorthSelected[] =
    "<OPTION value=\"North\" selected>North<OPTION>East</OPTION><OPTION>South</OPTION>";

struct Paging {
  std::optional<int> next;
  std::optional<int> previous;
  std::string query;  // what follows the page number in both links
};

std::string PageText(std::string_view box, std::string_view options, std::string_view rows,
                     const Paging& paging) {
  std::string s = TitledHead("Property List") +
                  BannerText("Harbor Housing", "Property List", "True") +
                  std::string(kColumnTable) +
                  "<THEAD><TR VALIGN=TOP><TH WIDTH=100% bgcolor=\"#E8E8E8\"><br>"
                  "<form method=\"GET\"  action=\"/List\"> Search for : "
                  "  <input type=\"text\" name=\"SearchValue\" size=\"30\" value=\"";
  s += box;
  s += "\">&nbsp;"
       "  <input type=\"submit\" value=\"Search by Property Name\" name=\"PropName\">"
       "  <input type=\"submit\" value=\"Search by Street Address\" name=\"Address\">&nbsp;<br>"
       " Area Name : "
       "<SELECT style=\"FONT-SIZE: 10pt; FONT-FAMILY: 'Cumberland', monospace\" name=AreaName>";
  s += options;
  s += "<input type=\"submit\" value=\"Refresh List\" name=\"Refresh\"></form></TR></THEAD>"
       "<TBODY><TR VALIGN=TOP></TABLE>";
  s += kColumnTable;
  s += "<THEAD><TR VALIGN=TOP>"
       "<TH WIDTH=50% bgcolor=\"#99CCFF\"><P>Property Name<BR></P></TH>"
       "<TH WIDTH=33% bgcolor=\"#99CCFF\"><P>Address<BR></P></TH>"
       "<TH WIDTH=17% bgcolor=\"#99CCFF\"><P>City<BR></P></TH>"
       "</TR></THEAD><TBODY><TR VALIGN=TOP>";
  s += rows;
  s += "</TBODY></TABLE>";
  s += kColumnTable;
  s += "<THEAD><TR VALIGN=TOP>";
  if (paging.next) {
    s += "<TH WIDTH=25% bgcolor=\"#99CCFF\"><a href=\"/list?page=" + std::to_string(*paging.next) +
         paging.query +
         "\">Next Page</a>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;"
         "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</TH>";
  }
  if (paging.previous) {
    s += "<TH WIDTH=25% bgcolor=\"#99CCFF\"><a href=\"/list?page=" +
         std::to_string(*paging.previous) + paging.query + "\">Previous Page</a><br></TH>";
  }
  s += "<TH WIDTH=50% bgcolor=\"#99CCFF\"></TH></TR></THEAD><TBODY><TR VALIGN=TOP>"
       "</div></div></body></html>";
  return s;
}

class PropertyListTest : public PageTest {
 protected:
  PropertyListTest() {
    database.ExecScript(
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'East');");
  }
  void AddAllProperties() {
    for (const Property& p : kProperties) AddProperty(database, p);
  }
  std::string List(const std::vector<std::pair<std::string, std::string>>& params) {
    SimplePageRequest request = Request("True");
    request.document = "/list";
    for (const auto& [name, value] : params) request.Add(name, value);
    return Run("PropertyListPage", request);
  }
};

struct ListCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> params;
  std::string box;
  std::string options;
  std::vector<int> rows;
  Paging paging;
};

TEST_F(PropertyListTest, SearchAreaAndPaging) {
  AddAllProperties();
  const std::vector<int> first_ten = Slice(kNameOrder, 0, 10);
  const std::string search_by_name = "Search by Property Name";
  const std::string search_by_address = "Search by Street Address";
  const ListCase cases[] = {
      {"no parameters", {}, "", kFirstAreaSelected, first_ten, {2, 0, "&AreaName="}},
      {"page not a number", {{"PAGE", "abc"}}, "", kFirstAreaSelected, first_ten,
       {2, 0, "&AreaName="}},
      {"page 2 as the links send it", {{"page", "2"}}, "", kFirstAreaSelected,
       Slice(kNameOrder, 10, 10), {std::nullopt, 1, "&AreaName="}},
      {"page 0", {{"PAGE", "0"}}, "", kFirstAreaSelected, first_ten,
       {1, std::nullopt, "&AreaName="}},
      {"negative page", {{"PAGE", "-5"}}, "", kFirstAreaSelected, first_ten,
       {-4, std::nullopt, "&AreaName="}},
      {"page past the end", {{"PAGE", "3"}}, "", kFirstAreaSelected, {},
       {std::nullopt, 2, "&AreaName="}},
      {"all areas in any case",
       {{"AreaName", " all "}},
       "",
       "<OPTION value=\"all\" selected>all<OPTION>East</OPTION><OPTION>North</OPTION>"
       "<OPTION>South</OPTION>",
       first_ten,
       {2, 0, "&AreaName=all"}},
      {"one area", {{"AreaName", "North"}}, "", kNorthSelected, {1, 6, 7, 12, 4},
       {std::nullopt, 0, "&AreaName=North"}},
      {"address search, any letter case",
       {{"SearchValue", "main"}, {"Address", search_by_address}},
       "",
       kFirstAreaSelected,
       {1, 5, 3},
       {std::nullopt, 0, "&SearchValue=main&Address=a&AreaName="}},
      {"both buttons mean address search, with an area",
       {{"SearchValue", " main "}, {"PropName", search_by_name}, {"Address", search_by_address},
        {"AreaName", "North"}},
       "",
       kNorthSelected,
       {1},
       {std::nullopt, 0, "&SearchValue=main&Address=a&AreaName=North"}},
      {"address button with a blank search",
       {{"SearchValue", "   "}, {"Address", search_by_address}},
       "",
       kFirstAreaSelected,
       first_ten,
       {2, 0, "&AreaName="}},
      {"name search matches any letter case",
       {{"SearchValue", " ab "}, {"PropName", search_by_name}},
       "ab",
       kFirstAreaSelected,
       {2, 1, 3, 4},
       {std::nullopt, 0, "&SearchValue=ab&PropName=a&AreaName="}},
      {"name search within an area",
       {{"SearchValue", "aB"}, {"PropName", search_by_name}, {"AreaName", "North"}},
       "aB",
       kNorthSelected,
       {1, 4},
       {std::nullopt, 0, "&SearchValue=aB&PropName=a&AreaName=North"}},
      {"a quote in the name search",
       {{"SearchValue", "o'brien"}, {"PropName", search_by_name}},
       "o&#39;brien",
       kFirstAreaSelected,
       {11},
       {std::nullopt, 0, "&SearchValue=o%27brien&PropName=a&AreaName="}},
      {"a quote in the address search cannot widen it",
       {{"SearchValue", "x' OR 'a'='a"}, {"Address", search_by_address}},
       "",
       kFirstAreaSelected,
       {},
       {std::nullopt, 0, "&SearchValue=x%27 OR %27a%27=%27a&Address=a&AreaName="}},
      {"markup in the name search is echoed as text",
       {{"SearchValue", "\"><b>&"}, {"PropName", search_by_name}},
       "&quot;&gt;&lt;b&gt;&amp;",
       kFirstAreaSelected,
       {},
       {std::nullopt, 0, "&SearchValue=%22%3E%3Cb%3E%26&PropName=a&AreaName="}},
      {"markup and quotes in the area",
       {{"AreaName", "N' \"&<x>"}},
       "",
       "<OPTION value=\"N&#39; &quot;&amp;&lt;x&gt;\" selected>N&#39; &quot;&amp;&lt;x&gt;"
       "<OPTION>East</OPTION><OPTION>North</OPTION><OPTION>South</OPTION>",
       {},
       {std::nullopt, 0, "&AreaName=N%27 %22%26%3Cx%3E"}},
      {"link values that would change the query",
       {{"SearchValue", "a+b#c%d"}, {"Address", search_by_address}},
       "",
       kFirstAreaSelected,
       {},
       {std::nullopt, 0, "&SearchValue=a%2Bb%23c%25d&Address=a&AreaName="}},
  };
  for (const ListCase& c : cases) {
    EXPECT_EQ(List(c.params), PageText(c.box, c.options, RowsText(c.rows), c.paging)) << c.label;
    EXPECT_FALSE(HoldsSnapshot(session)) << c.label;
  }
}

TEST_F(PropertyListTest, ExactlyTenMatches) {
  for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 10, 12}) AddProperty(database, PropertyById(id));
  const std::vector<int> ten = {8, 2, 1, 5, 6, 7, 10, 12, 3, 4};
  EXPECT_EQ(List({}), PageText("", kFirstAreaSelected, RowsText(ten), {2, 0, "&AreaName="}));
  EXPECT_EQ(List({{"PAGE", "2"}}),
            PageText("", kFirstAreaSelected, "", {std::nullopt, 1, "&AreaName="}));
}

TEST_F(PropertyListTest, EmptyAreaTableGivesNoOptions) {
  database.Exec("DELETE FROM AREA");
  AddProperty(database, PropertyById(10));
  EXPECT_EQ(List({}), PageText("", "", RowsText({10}), {std::nullopt, 0, "&AreaName="}));
  EXPECT_EQ(List({{"AreaName", "Lost"}}),
            PageText("", "<OPTION value=\"Lost\" selected>Lost", "",
                     {std::nullopt, 0, "&AreaName=Lost"}));
}

// An area long enough to push the statement just past the client's 65535
// bytes must not get it cut short before the area test, which would list every
// property. Refusing the statement is fine.
TEST_F(PropertyListTest, AnOverlongAreaNeverDropsTheFilter) {
  AddAllProperties();
  for (size_t length = 65536 - 56; length <= 65536 - 40; ++length) {
    std::string page;
    try {
      page = List({{"AreaName", std::string(length, 'n')}});
    } catch (const Exception&) {
      continue;
    }
    EXPECT_EQ(page.find("propinfo?propid="), std::string::npos) << length;
  }
}

// Search texts reach the statement as values: % and _ match only themselves,
// quotes are text, and a text longer than the column matches nothing.
TEST_F(PropertyListTest, SearchTextsAreComparedAsTheyAre) {
  const Property kWild[] = {
      {21, "5% Off Lofts", "1_2 Main", "Springfield", 1, true},
      {22, "50 Oaks", "1x2 Main", "Springfield", 1, true},
      {23, "A_B Court", "9 Side St", "Springfield", 1, true},
      {24, "AxB Court", "9% Side St", "Springfield", 1, true},
      {25, "It's Here", "4 O'Hara Row", "Springfield", 1, true},
  };
  for (const Property& p : kWild) AddProperty(database, p);
  const struct {
    const char* mode;
    std::string value;
    std::vector<int> ids;
  } cases[] = {
      {"PropName", "5%", {21}},      {"PropName", "a_", {23}},
      {"PropName", "%", {}},         {"PropName", "it's", {25}},
      {"Address", "1_2", {21}},      {"Address", "9%", {24}},
      {"Address", "_", {21}},        {"Address", "o'h", {25}},
      {"PropName", std::string(81, 'A'), {}},
      {"Address", std::string(300, '9'), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.value.substr(0, 10));
    const std::string page = List({{"SearchValue", c.value}, {c.mode, "a"}});
    std::vector<int> ids;
    const std::string link = "propinfo?propid=";
    for (size_t at = page.find(link); at != std::string::npos; at = page.find(link, at + 1)) {
      ids.push_back(std::stoi(page.substr(at + link.size())));
    }
    EXPECT_EQ(ids, c.ids);
  }
}

TEST_F(PropertyListTest, NewRowsShowOnTheNextPage) {
  AddProperty(database, PropertyById(1));
  EXPECT_EQ(List({}), PageText("", kFirstAreaSelected, RowsText({1}), {std::nullopt, 0, "&AreaName="}));
  AddProperty(database, PropertyById(2));
  EXPECT_EQ(List({}),
            PageText("", kFirstAreaSelected, RowsText({2, 1}), {std::nullopt, 0, "&AreaName="}));
}

}  // namespace
}  // namespace qv::pagetest
