// The People tab: every person or company attached to a property, with type and
// phones.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

// Each entity's phones, in entity id order.
using EntityPhones = std::vector<std::pair<int32_t, std::vector<std::optional<std::string>>>>;

EntityPhones ReadPhones(PageContext& page, int32_t property_id) {
  using enum PeoplePhoneColumn;
  EntityPhones phones;
  for (auto rows = page.db.Query(kPeoplePhonesQuery, property_id); !rows.AtEnd(); rows.Next()) {
    if (rows.IsNull(kEntityId)) continue;  // an entity without phones
    const int32_t entity_id = rows.Integer(kEntityId);
    if (phones.empty() || phones.back().first != entity_id) phones.push_back({entity_id, {}});
    phones.back().second.push_back(TextOf(rows, kPhone));
  }
  return phones;
}

// Two statements whatever the number of entities: first the phones of all the
// property's entities, then the entities in the page's order, each given its
// phones as it is fetched.
std::vector<PersonData> ReadPeople(PageContext& page, int32_t property_id) {
  EntityPhones phones = ReadPhones(page, property_id);
  std::vector<PersonData> people;
  for (auto row = page.db.Query(kPeopleQuery, property_id); !row.AtEnd(); row.Next()) {
    PersonData& person = people.emplace_back();
    person.entity_id = row.Integer(PeopleColumn::kEntityId);
    person.name = TextOf(row, PeopleColumn::kName);
    person.type = TextOf(row, PeopleColumn::kType);
    person.primary_phone = TextOf(row, PeopleColumn::kPrimaryPhone);
    const auto found = std::lower_bound(
        phones.begin(), phones.end(), person.entity_id,
        [](const EntityPhones::value_type& entry, int32_t id) { return entry.first < id; });
    if (found != phones.end() && found->first == person.entity_id) person.phones = found->second;
  }
  return people;
}

void WriteHead(PageStream& out) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Person/Company<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Phone<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

// Each row closes the body it opened; nothing follows the last one.
void WriteRow(PageStream& out, const PersonData& person) {
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(person.name));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(person.type));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  for (const auto& phone : person.phones) {
    out.WriteString(Plain(phone));
    out.WriteString("<br>");
  }
  out.WriteString("</B></P></TD>");
  out.WriteString("</TR></TBODY>");
}

}  // namespace

PeopleData ReadPeoplePage(PageContext& page) {
  PeopleData data{ReadTabStart(page, "Property People", TabHeading::kPropertyQuery), {}};
  data.people = ReadPeople(page, data.start.requested_id);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const PeopleData& data) {
  WriteTabStart(out, entry, data.start);
  WriteHead(out);
  for (const PersonData& person : data.people) WriteRow(out, person);
}

void PeoplePage(PageContext& page) { RenderPage(page, ReadPeoplePage(page)); }

}  // namespace qv
