// The property information page: name and address, details, the primary
// address's phones, and the manager, management company and owner cells.
#include <string>

#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/page_text.h"

namespace qv {

namespace {

enum class PropertyColumn {
  kPropertyName, kAddress1, kAddress2, kCity, kState, kZipcode, kUnits, kManagerId, kOwnerId,
  kManagementCompanyId, kAreaId, kAreaName, kBeatId, kBeatName, kTypeId, kTypeName,
  kActivityStatusId, kActivityStatusName, kPropertyId, kCount
};
constexpr QueryText<PropertyColumn> kPropertyQuery{
    "SELECT \n"
    "   P.PROPERTY_NAME, \n"
    "   A.PROP_ADDRESS1, \n"
    "   A.PROP_ADDRESS2, \n"
    "   A.PROP_CITY, \n"
    "   A.PROP_STATE, \n"
    "   A.PROP_ZIPCODE, \n"
    "   P.NUM_UNITS, \n"
    "   P.PRIMARY_MANAGER_ID, \n"
    "   P.PRIMARY_OWNER_ID, \n"
    "   P.PRIMARY_MGMT_CO_ID, \n"
    "   P.AREA_ID, \n"
    "   (SELECT AREA.AREA_NAME FROM AREA WHERE AREA.AREA_ID = P.AREA_ID) AS THE_AREA_NAME, \n"
    "   P.BEAT_ID, \n"
    "   (SELECT BEAT.BEAT_NAME FROM BEAT WHERE BEAT.BEAT_ID = P.BEAT_ID) AS THE_BEAT_NAME, \n"
    "   P.TYPE_ID, \n"
    "   (SELECT T.TYPE_NAME FROM PROP_TYPE T WHERE T.TYPE_ID = P.TYPE_ID) AS THE_TYPE_NAME, \n"
    "   P.ACTIVITY_STATUS_ID, \n"
    "   (SELECT ACTIVITY_STATUS.ACTIVITY_STATUS_NAME FROM ACTIVITY_STATUS WHERE "
    "ACTIVITY_STATUS.ACTIVITY_STATUS_ID = P.ACTIVITY_STATUS_ID) AS THE_ACTIVITY_STATUS_NAME, \n"
    "   P.PROPERTY_ID \n"
    "FROM PROPERTY P \n"
    "LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) \n"
    "WHERE P.PROPERTY_ID = :PROPID"};

// The primary address's phones. An inner join: the condition on the property
// keeps only matched rows anyway, and it lets the server start from the
// property (an outer join from the phones reads every property phone of the
// database, some 400 ms a page with 100,000 properties). Either way the phones
// come in the order of their records.
enum class PhoneColumn {
  kPhoneId, kSourceTable, kSourceKey, kEnteredDate, kPhoneType, kPhoneNumber, kCount
};
constexpr QueryText<PhoneColumn> kPhonesQuery{
    "SELECT \n"
    "   PH.PHONE_ID, \n"
    "   PH.SOURCE_TABLE, \n"
    "   PH.SOURCE_KEY, \n"
    "   PH.ENTERED_DATE, \n"
    "   PH.PHONE_TYPE, \n"
    "   PH.PHONE_NUMBER \n"
    "FROM GEN_PHONES PH \n"
    "JOIN PROPERTY P ON (PH.SOURCE_KEY = P.PRIMARY_PROP_ADDRESS_ID) \n"
    "WHERE PH.SOURCE_TABLE = 1\n"
    "  AND P.PROPERTY_ID = :PROPID"};

// A contact and its primary phone. The select list follows the tables, so its
// columns are found by name when the statement is prepared.
enum class EntityColumn {
  kFirstName, kLastName, kAddress1, kAddress2, kCity, kState, kZipcode, kPhoneType, kPhoneNumber,
  kCount
};
constexpr std::string_view kEntityColumnNames[] = {
    "FIRST_NAME",     "LAST_OR_COMPANY_NAME", "ENTITY_ADDR1", "ENTITY_ADDR2", "ENTITY_CITY",
    "ENTITY_STATE",   "ENTITY_ZIPCODE",       "PHONE_TYPE",   "PHONE_NUMBER",
};
constexpr QueryText<EntityColumn> kEntityQuery{
    "SELECT E.*, G.* FROM ENTITY E\n"
    "LEFT JOIN GEN_PHONES G ON (G.PHONE_ID = E.PRIMARY_PHONE_ID)\n"
    "WHERE E.ENTITY_ID = :EID",
    kEntityColumnNames};

ContactData ReadContact(PageContext& page, std::optional<int32_t> entity_id) {
  using enum EntityColumn;
  ContactData contact;
  contact.id = entity_id;
  const auto entity = page.db.Query(kEntityQuery, entity_id.value_or(0));
  contact.found = !entity.AtEnd();
  contact.first_name = TextOf(entity, kFirstName);
  contact.last_name = TextOf(entity, kLastName);
  contact.address1 = TextOf(entity, kAddress1);
  contact.address2 = TextOf(entity, kAddress2);
  contact.city = TextOf(entity, kCity);
  contact.state = TextOf(entity, kState);
  contact.zipcode = TextOf(entity, kZipcode);
  contact.phone = {TextOf(entity, kPhoneType), TextOf(entity, kPhoneNumber)};
  return contact;
}

// One contact cell: a manager, management company or owner, or "None Listed".
void WriteContactCell(PageStream& out, const ContactData& contact) {
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  if (!contact.found) {
    out.WriteString("None Listed<br>");
  } else {
    out.WriteString(Plain(contact.first_name));
    out.WriteString(" ");
    out.WriteString(Plain(contact.last_name));
    out.WriteString("<br>");
    for (const auto& line : {contact.address1, contact.address2}) {
      if (!Plain(line).empty()) {
        out.WriteString(Plain(line));
        out.WriteString("<br>");
      }
    }
    std::string place(Plain(contact.city));
    const std::string_view state = Plain(contact.state);
    if (!state.empty()) place = place.empty() ? std::string(state) : place + ", " + std::string(state);
    const std::string_view zip = Plain(contact.zipcode);
    if (!zip.empty()) place = place.empty() ? std::string(zip) : place + " " + std::string(zip);
    out.WriteString(place);
    out.WriteString(" ");
    out.WriteString("<br>");
    out.WriteString(Plain(contact.phone.type));
    out.WriteString(" ");
    out.WriteString(Plain(contact.phone.number));
    out.WriteString("<br>");
  }
  out.WriteString("</P></TD>");
}

}  // namespace

PropertyInfoData ReadPropertyInfoPage(PageContext& page) {
  using enum PropertyColumn;
  PropertyInfoData data;
  TabStartData& start = data.start;
  start.banner = ReadBanner(page, "Property Information");
  start.requested_id = RecordId(page, "PROPID");
  start.id_given = RecordIdGiven(page, "PROPID");
  {
    const auto property = page.db.Query(kPropertyQuery, start.requested_id);
    start.found = !property.AtEnd();
    start.property_name = TextOf(property, kPropertyName);
    start.tabs_property_id = property.Integer(kPropertyId);
    data.address1 = TextOf(property, kAddress1);
    data.address2 = TextOf(property, kAddress2);
    data.city = TextOf(property, kCity);
    data.state = TextOf(property, kState);
    data.zipcode = TextOf(property, kZipcode);
    data.units = IntegerOf(property, kUnits);
    data.manager.id = IntegerOf(property, kManagerId);
    data.owner.id = IntegerOf(property, kOwnerId);
    data.management_company.id = IntegerOf(property, kManagementCompanyId);
    data.type_id = IntegerOf(property, kTypeId);
    data.type_name = TextOf(property, kTypeName);
    data.area_id = IntegerOf(property, kAreaId);
    data.area_name = TextOf(property, kAreaName);
    data.beat_id = IntegerOf(property, kBeatId);
    data.beat_name = TextOf(property, kBeatName);
    data.activity_status_id = IntegerOf(property, kActivityStatusId);
    data.activity_status_name = TextOf(property, kActivityStatusName);
  }
  // Phones of the primary address.
  for (auto phones = page.db.Query(kPhonesQuery, start.requested_id); !phones.AtEnd();
       phones.Next()) {
    data.phones.push_back(
        {TextOf(phones, PhoneColumn::kPhoneType), TextOf(phones, PhoneColumn::kPhoneNumber)});
  }
  data.manager = ReadContact(page, data.manager.id);
  data.management_company = ReadContact(page, data.management_company.id);
  data.owner = ReadContact(page, data.owner.id);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const PropertyInfoData& data) {
  WriteRecordPageStart(out, data.start.banner);

  // Name header with the tabs.
  PropertyNameCell(out, Plain(data.start.property_name));
  PropertyTabs(out, data.start.tabs_property_id, &entry);
  out.WriteString("</TR></THEAD>");
  out.WriteString("</TBODY></TABLE>");

  // Details table.
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString(
      "<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Property Name<BR> and Address<BR></P></B></TD>");
  out.WriteString(
      "<TD WIDTH=17% bgcolor=\"#99CCFF\"><B><P>Property<BR>Information<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=16% bgcolor=\"#99CCFF\"><B><P>Information<BR>Detail<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=17% bgcolor=\"#99CCFF\"><B><P>Property<BR>Phone Type<BR></P></B></TD>");
  out.WriteString(
      "<TD WIDTH=17% bgcolor=\"#99CCFF\"><B><P>Property<BR>Phone Numbers<BR></P></B></TD>");
  out.WriteString("</THEAD><TR VALIGN=TOP>");

  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  for (const auto* text : {&data.start.property_name, &data.address1, &data.address2}) {
    if (!Plain(*text).empty()) {
      out.WriteString(Plain(*text));
      out.WriteString("<br>");
    }
  }
  const std::string_view city = Plain(data.city);
  if (!city.empty()) {
    out.WriteString(city);
    out.WriteString(" ");
    out.WriteString(Plain(data.state));
    out.WriteString(" ");
    out.WriteString(Plain(data.zipcode));
    out.WriteString("<br>");
  }
  out.WriteString("</P></TD>");

  out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString("Property Type: <br>");
  out.WriteString("Area Name: <br>");
  out.WriteString("Beat Name: <br>");
  out.WriteString("Activity Status: <br>");
  out.WriteString("Number of Units: <br>");
  out.WriteString("</P></TD>");

  out.WriteString("<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(data.type_name));
  out.WriteString(" <br>");
  out.WriteString(Plain(data.area_name));
  out.WriteString(" <br>");
  out.WriteString(Plain(data.beat_name));
  out.WriteString(" <br>");
  out.WriteString(Plain(data.activity_status_name));
  out.WriteString(" <br>");
  out.WriteInteger(data.units.value_or(0));
  out.WriteString("<br>");
  out.WriteString("</P></TD>");

  // Phones of the primary address: types in one cell, numbers line by line in the next.
  if (data.phones.empty()) {
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD><br>");
  } else {
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    for (const PhoneData& phone : data.phones) {
      out.WriteString(Plain(phone.type));
      out.WriteString(" <br>");
    }
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    for (const PhoneData& phone : data.phones) {
      out.WriteString(Plain(phone.number));
      out.WriteString(" <br>");
    }
    out.WriteString("</P></TD><br>");
  }

  out.WriteString("</TR></THEAD>");
  out.WriteString("</TBODY></TABLE>");

  // Contacts.
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Manager<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Management Co<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Owner<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");

  WriteContactCell(out, data.manager);
  WriteContactCell(out, data.management_company);
  WriteContactCell(out, data.owner);

  out.WriteString("</TBODY></TABLE>");
  out.WriteString("</div></div></body></html>");
}

void PropertyInfoPage(PageContext& page) { RenderPage(page, ReadPropertyInfoPage(page)); }

}  // namespace qv
