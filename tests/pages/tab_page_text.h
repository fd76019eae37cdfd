// Expected text of the pieces the property tab pages share: their opening (head,
// banner, property heading, tabs), data cells, and the property id cases.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "page_fixture.h"

namespace qv::pagetest {

inline constexpr std::string_view kTestAgency = "Quorvale Test Agency";
inline constexpr std::string_view kAgencyRow =
    "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Quorvale Test Agency');";
inline constexpr std::string_view kRowStart = "<TBODY><TR VALIGN=TOP>";
inline constexpr std::string_view kTableEnd = "</TBODY></TABLE>";

// The heading cell that names a property, without the tab bar.
inline std::string NameHeading(std::string_view name) {
  return std::string(kPlainTable) + "<TBODY><THEAD><TR VALIGN=TOP><TH WIDTH=100% bgcolor=\"#E8E8E8\">"
         "<div style=\"text-align: center;\"><big><big><big><b>" + std::string(name) +
         "</big></big></big></b></TH>";
}

// Head line, banner of a logged-on visitor, property name and tab bar.
inline std::string TabPageStart(std::string_view title, std::string_view name, int32_t tabId,
                                int tab) {
  return std::string(kBareHead) + BannerText(kTestAgency, title, "True") + NameHeading(name) +
         TabsText(tabId, tab);
}

// A data cell as the tab pages write it: opening, text, " <br>", end.
inline std::string Cell(std::string_view opening, std::string_view text,
                        std::string_view end = "</P></TD>") {
  return std::string(opening) + std::string(text) + " <br>" + std::string(end);
}

// PROPID (or VID) texts and the id a page reads from them; nullptr means absent.
struct IdCase {
  const char* text;
  int32_t id;
};
inline constexpr IdCase kIdCases[] = {
    {nullptr, 0}, {"x", 0}, {" 42", 42}, {"$2A", 42}, {"42 ", 0}, {"42", 42},
};

inline TSimplePageRequest RequestWith(const char* name, const char* value) {
  TSimplePageRequest request = Request();
  if (value != nullptr) request.Add(name, value);
  return request;
}

}  // namespace qv::pagetest
