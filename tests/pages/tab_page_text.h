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
inline std::string TabPageStart(std::string_view title, std::string_view name, int32_t tab_id,
                                int tab) {
  return std::string(kBareHead) + BannerText(kTestAgency, title, "True") + NameHeading(name) +
         TabsText(tab_id, tab);
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
    {nullptr, 0}, {"", 0},        {"x", 0},      {" 42", 42},  {"$2A", 42},
    {"42 ", 0},   {"4 2", 0},     {"42", 42},    {"+42", 42},  {"0x2a", 42},
    // Beyond 32 bits gives 0, never a wrapped value (2^32 + 42 in decimal and hex).
    {"2147483690", 0}, {"4294967338", 0}, {"$10000002A", 0},
};

inline SimplePageRequest RequestWith(const char* name, const char* value) {
  SimplePageRequest request = Request();
  if (value != nullptr) request.Add(name, value);
  return request;
}

// One violation as the violations list and the detail page show it.
struct ViolationRow {
  std::string id, date, apt, case_num, partner, evictable, type, action;
};

inline std::string ViolationRowText(const ViolationRow& v) {
  const std::string_view cell = "<TD WIDTH=14% bgcolor=\"#E8E8E8\"><P>";
  return "<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P><a href=\"/vdetail?vid=" + v.id + "\">" + v.date +
         "</a><br></P></TD>" + Cell(cell, v.apt) + Cell(cell, v.case_num) + Cell(cell, v.partner) +
         Cell(cell, v.evictable) + Cell(cell, v.type) + Cell(cell, v.action, "</P></TD></TR>");
}

// The head of the violations table; `last_caption` is the seventh header cell.
inline std::string ViolationTableHead(std::string_view last_caption) {
  return std::string(kPlainTable) +
         "<THEAD><TR VALIGN=TOP>"
         "<TD WIDTH=16% bgcolor=\"#99CCFF\"><B><P>Violation Date<BR></P></B></TD>"
         "<TD WIDTH=14% bgcolor=\"#99CCFF\"><B><P>Apt #<BR></P></B></TD>"
         "<TD WIDTH=14% bgcolor=\"#99CCFF\"><B><P>Case #<BR></P></B></TD>"
         "<TD WIDTH=14% bgcolor=\"#99CCFF\"><B><P>Request Partner #<BR></P></B></TD>"
         "<TD WIDTH=14% bgcolor=\"#99CCFF\"><B><P>Evictable?<BR></P></B></TD>"
         "<TD WIDTH=14% bgcolor=\"#99CCFF\"><B><P>Violation Type<BR></P></B></TD>"
         "<TD WIDTH=14% bgcolor=\"#99CCFF\"><B><P>" +
         std::string(last_caption) + "<BR></P></B></TD></TR></THEAD>" + std::string(kRowStart);
}

}  // namespace qv::pagetest
