// The property information page: name and address, details, the primary
// address's phones, and the manager, management company and owner cells.
#include <string>

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

// One contact cell: a manager, management company or owner, or "None Listed".
void EntityCell(PageContext& page, int32_t entity_id) {
  using enum EntityColumn;
  PageStream& out = page.out;
  const auto entity = page.db.Query(kEntityQuery, entity_id);
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  if (entity.AtEnd()) {
    out.WriteString("None Listed<br>");
  } else {
    out.WriteString(entity.Text(kFirstName));
    out.WriteString(" ");
    out.WriteString(entity.Text(kLastName));
    out.WriteString("<br>");
    for (EntityColumn column : {kAddress1, kAddress2}) {
      const std::string_view line = entity.Text(column);
      if (!line.empty()) {
        out.WriteString(line);
        out.WriteString("<br>");
      }
    }
    std::string place(entity.Text(kCity));
    const std::string_view state = entity.Text(kState);
    if (!state.empty()) place = place.empty() ? std::string(state) : place + ", " + std::string(state);
    const std::string_view zip = entity.Text(kZipcode);
    if (!zip.empty()) place = place.empty() ? std::string(zip) : place + " " + std::string(zip);
    out.WriteString(place);
    out.WriteString(" ");
    out.WriteString("<br>");
    out.WriteString(entity.Text(kPhoneType));
    out.WriteString(" ");
    out.WriteString(entity.Text(kPhoneNumber));
    out.WriteString("<br>");
  }
  out.WriteString("</P></TD>");
}

}  // namespace

void PropertyInfoPage(PageContext& page) {
  PageStream& out = page.out;
  const int32_t property_id = BeginRecordPage(page, "Property Information", "PROPID");

  using enum PropertyColumn;
  auto property = page.db.Query(kPropertyQuery, property_id);

  // Name header with the tabs.
  PropertyNameCell(out, property.Text(kPropertyName));
  PropertyTabs(out, property.Integer(kPropertyId), &page.entry);
  out.WriteString("</TR></THEAD>");
  out.WriteString("</TBODY></TABLE>");

  const int32_t manager_id = property.Integer(kManagerId);
  const int32_t owner_id = property.Integer(kOwnerId);
  const int32_t company_id = property.Integer(kManagementCompanyId);

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
  for (PropertyColumn column : {kPropertyName, kAddress1, kAddress2}) {
    const std::string_view text = property.Text(column);
    if (!text.empty()) {
      out.WriteString(text);
      out.WriteString("<br>");
    }
  }
  const std::string_view city = property.Text(kCity);
  if (!city.empty()) {
    out.WriteString(city);
    out.WriteString(" ");
    out.WriteString(property.Text(kState));
    out.WriteString(" ");
    out.WriteString(property.Text(kZipcode));
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
  out.WriteString(property.Text(kTypeName));
  out.WriteString(" <br>");
  out.WriteString(property.Text(kAreaName));
  out.WriteString(" <br>");
  out.WriteString(property.Text(kBeatName));
  out.WriteString(" <br>");
  out.WriteString(property.Text(kActivityStatusName));
  out.WriteString(" <br>");
  out.WriteInteger(property.Integer(kUnits));
  out.WriteString("<br>");
  out.WriteString("</P></TD>");

  // Phones of the primary address: types in one cell, numbers line by line in
  // the next, both from one run of the query.
  auto phones = page.db.Query(kPhonesQuery, property_id);
  if (phones.AtEnd()) {
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD><br>");
  } else {
    std::string numbers;
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    for (; !phones.AtEnd(); phones.Next()) {
      out.WriteString(phones.Text(PhoneColumn::kPhoneType));
      out.WriteString(" <br>");
      numbers += phones.Text(PhoneColumn::kPhoneNumber);
      numbers += " <br>";
    }
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(numbers);
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

  EntityCell(page, manager_id);
  EntityCell(page, company_id);
  EntityCell(page, owner_id);

  out.WriteString("</TBODY></TABLE>");
  out.WriteString("</div></div></body></html>");
}

}  // namespace qv
