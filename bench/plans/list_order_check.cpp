// Whether the property list's pages on a demo database (qvdemo) show the rows
// of the list's statement as it stood before bookmarks, page for page: the
// sorted searches (the area filter, and the address search where the server
// sorts it) put equal names in an order that only the sort of all their rows
// gives, and a large sort merges runs, which small test databases never do.
// For each search: Next from page 1, then jumps of new visitors and Previous
// from there. Prints how many pages differ; CONTROL=1 compares with another
// order instead, to show that the check tells orders apart.
// Usage: qv_list_order_check DATABASE [PAGES]
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "db/database_session.h"
#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "platform/error_sink.h"

namespace qv {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

std::vector<int> PageIds(DatabaseSession& session, const Params& params, int page,
                         const std::string& visitor) {
  SimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  request.visitor = visitor;
  request.Add("page", std::to_string(page));
  for (const auto& [name, value] : params) request.Add(name, value);
  PageStream out;
  static ErrorSink errors;  // standard error
  PageContext context{request, out, session, SystemClock::Instance(),
                      PageNamed("PropertyListPage"), errors};
  RunPage(context);
  const std::string text = out.DataString();
  std::vector<int> ids;
  static const std::regex link("propinfo\\?propid=(-?[0-9]+)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), link);
       it != std::sregex_iterator(); ++it) {
    ids.push_back(std::stoi((*it)[1]));
  }
  return ids;
}

struct Search {
  const char* label;
  int mode;  // 0 none, 1 address, 2 name
  std::string value;
  std::string area;  // empty: no area filter
  Params params;
};

// The page as the list's statement gave it before bookmarks.
std::vector<int> OldPage(DatabaseSession& session, const Search& search, int page) {
  static const char* const kWhere[] = {"", "WHERE A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE\n",
                                       "WHERE UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE\n"};
  const bool area = !search.area.empty();
  std::string text =
      "SELECT FIRST 10 SKIP :SKIPPED P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, "
      "A.PROP_ADDRESS2, A.PROP_CITY, A.PROP_STATE,\nA.PROP_ZIPCODE, P.NUM_UNITS\n"
      "FROM PROPERTY P\nJOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n";
  if (area) text += "JOIN AREA AR ON (AR.AREA_ID = P.AREA_ID)\n";
  text += kWhere[search.mode];
  if (area) text += search.mode == 0 ? "WHERE " : "AND ";
  if (area) text += "AR.AREA_NAME = :AREANAME\n";
  text += std::getenv("CONTROL") ? "ORDER BY PROPERTY_NAME, P.PROPERTY_ID"
                                 : "ORDER BY PROPERTY_NAME";
  std::string upper = search.value;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::vector<ParamValue> values{(page - 1) * 10};
  if (search.mode == 1) values.push_back(search.value);
  if (search.mode == 2) values.push_back(upper);
  if (area) values.push_back(search.area);
  std::vector<int> ids;
  for (auto row = session.QueryRows(text, values); !row.AtEnd(); row.Next()) {
    ids.push_back(row.Integer(0));
  }
  return ids;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  using namespace qv;
  if (argc < 2) {
    std::fprintf(stderr, "usage: qv_list_order_check DATABASE [PAGES]\n");
    return 2;
  }
  const int pages = argc > 2 ? std::atoi(argv[2]) : 30;
  try {
    DatabaseSession session;
    session.Connection().SetDatabaseName(argv[1]);
    session.Connection().SetUsername(std::getenv("QV_BENCH_USER") ? std::getenv("QV_BENCH_USER")
                                                                  : "SYSDBA");
    session.Attach();
    const Search searches[] = {
        {"area", 0, "", "Riverside", {{"AreaName", "Riverside"}}},
        {"area, address", 1, "Harbor", "Riverside",
         {{"SearchValue", "Harbor"}, {"Address", "a"}, {"AreaName", "Riverside"}}},
        {"area, name", 2, "harbor", "Riverside",
         {{"SearchValue", "harbor"}, {"PropName", "a"}, {"AreaName", "Riverside"}}},
        {"address", 1, "Harbor", "", {{"SearchValue", "Harbor"}, {"Address", "a"}}},
        {"no search", 0, "", "", {}},
    };
    for (const Search& search : searches) {
      int differ = 0, compared = 0, shown = 0;
      const std::string visitor = std::string("check ") + search.label;
      for (int page = 1; page <= pages; ++page) {  // Next
        const std::vector<int> old_page = OldPage(session, search, page);
        differ += PageIds(session, search.params, page, visitor) != old_page;
        ++compared;
        shown += !old_page.empty();
        if (old_page.empty()) break;
      }
      for (int page : {64, 777, 1500, 2471}) {  // jumps, then Previous
        const std::string jumper = visitor + " " + std::to_string(page);
        for (int at : {page, page - 1}) {
          const std::vector<int> old_page = OldPage(session, search, at);
          differ += PageIds(session, search.params, at, jumper) != old_page;
          ++compared;
          shown += !old_page.empty();
        }
      }
      session.Commit();
      std::printf("%-16s %d of %d pages differ (%d with rows)\n", search.label, differ, compared,
                  shown);
    }
    session.Detach();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
