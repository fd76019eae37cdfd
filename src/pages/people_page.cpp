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
  using enum PeoplePhoneColumn;
  PhoneCells cells;
  for (auto phones = page.db.Query(kPeoplePhonesQuery, property_id); !phones.AtEnd();
       phones.Next()) {
    if (phones.IsNull(kEntityId)) continue;  // an entity without phones
    const int32_t entity_id = phones.Integer(kEntityId);
    if (cells.empty() || cells.back().first != entity_id) cells.emplace_back(entity_id, "");
    cells.back().second += phones.Text(kPhone);
    cells.back().second += "<br>";
  }
  return cells;
}

void WriteRow(PageStream& out, const Cursor<PeopleColumn>& person, const PhoneCells& phones) {
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(person.Text(PeopleColumn::kName));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(person.Text(PeopleColumn::kType));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  const int32_t entity_id = person.Integer(PeopleColumn::kEntityId);
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
  for (auto people = page.db.Query(kPeopleQuery, property_id); !people.AtEnd(); people.Next()) {
    WriteRow(page.out, people, phones);
  }
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
