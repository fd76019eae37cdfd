// The People tab: every person or company attached to a property, with type and
// phones.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

void WriteHead(PageContext& page, int32_t /*property_id*/) {
  PageStream& out = page.out;
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Person/Company<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Phone<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

// Each entity's phone cell text (a "type number<br>" piece per phone), in
// entity id order.
using PhoneCells = std::vector<std::pair<int32_t, std::string>>;

PhoneCells ReadPhoneCells(PageContext& page, int32_t property_id) {
  PhoneCells cells;
  Cursor& phones = page.db.Statement(kPeoplePhonesQuery);
  phones.Params()[0].SetAsInteger(property_id);
  phones.Open();
  for (; !phones.Eof(); phones.Next()) {
    if (phones.Fields()[0].IsNull()) continue;  // an entity without phones
    const int32_t entity_id = phones.Fields()[0].AsInteger();
    if (cells.empty() || cells.back().first != entity_id) cells.emplace_back(entity_id, "");
    cells.back().second += phones.Fields()[1].AsString();
    cells.back().second += "<br>";
  }
  phones.Close();
  return cells;
}

void WriteRow(PageStream& out, Row& person, const PhoneCells& phones) {
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(person[0].AsString());
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(person[1].AsString());
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  const int32_t entity_id = person[3].AsInteger();
  const auto found = std::lower_bound(
      phones.begin(), phones.end(), entity_id,
      [](const PhoneCells::value_type& cell, int32_t id) { return cell.first < id; });
  if (found != phones.end() && found->first == entity_id) out.WriteString(found->second);
  out.WriteString("</B></P></TD>");
  out.WriteString("</TR></TBODY>");
}

// Two statements whatever the number of entities: first the phones of all the
// property's entities, then the entities in the page's order, each row written
// with its phones as it is fetched.
void WriteRows(PageContext& page, int32_t property_id) {
  const PhoneCells phones = ReadPhoneCells(page, property_id);
  Cursor& people = page.db.Statement(kPeopleQuery);
  people.Params()[0].SetAsInteger(property_id);
  people.Open();
  while (!people.Eof()) {
    WriteRow(page.out, people.Fields(), phones);
    people.Next();
  }
  people.Close();
}

// Each row closes the body it opened; nothing follows the last one.
constexpr TabPageLayout kLayout{
    .title = "Property People",
    .write_head = WriteHead,
    .write_rows = WriteRows,
    .end = "",
};

}  // namespace

void PeoplePage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv
