// The property information page: name and address, details, the primary
// address's phones, and the manager, management company and owner cells.
#include <string>

#include "pages/page_frame.h"
#include "pages/page_text.h"

namespace qv {

namespace {

constexpr StatementText kPropertyQuery{
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
constexpr StatementText kPhonesQuery{
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

constexpr StatementText kEntityQuery{
    "SELECT E.*, G.* FROM ENTITY E\n"
    "LEFT JOIN GEN_PHONES G ON (G.PHONE_ID = E.PRIMARY_PHONE_ID)\n"
    "WHERE E.ENTITY_ID = :EID"};

// One contact cell: a manager, management company or owner, or "None Listed".
void EntityCell(PageContext& page, int32_t entity_id) {
  PageStream& out = page.out;
  Cursor& entity = page.db.Statement(kEntityQuery);
  entity.Params()[0].SetAsInteger(entity_id);
  entity.Open();
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  if (entity.Eof()) {
    out.WriteString("None Listed<br>");
  } else {
    const auto text = [&entity](std::string_view name) {
      return entity.FieldByName(name).AsString();
    };
    out.WriteString(text("FIRST_NAME"));
    out.WriteString(" ");
    out.WriteString(text("LAST_OR_COMPANY_NAME"));
    out.WriteString("<br>");
    for (std::string_view name : {"ENTITY_ADDR1", "ENTITY_ADDR2"}) {
      const std::string line = text(name);
      if (!line.empty()) {
        out.WriteString(line);
        out.WriteString("<br>");
      }
    }
    std::string place = text("ENTITY_CITY");
    const std::string state = text("ENTITY_STATE");
    if (!state.empty()) place = place.empty() ? state : place + ", " + state;
    const std::string zip = text("ENTITY_ZIPCODE");
    if (!zip.empty()) place = place.empty() ? zip : place + " " + zip;
    out.WriteString(place);
    out.WriteString(" ");
    out.WriteString("<br>");
    out.WriteString(text("PHONE_TYPE"));
    out.WriteString(" ");
    out.WriteString(text("PHONE_NUMBER"));
    out.WriteString("<br>");
  }
  out.WriteString("</P></TD>");
  entity.Close();
}

}  // namespace

void PropertyInfoPage(PageContext& page) {
  PageStream& out = page.out;
  const int32_t property_id = BeginRecordPage(page, "Property Information", "PROPID");

  Cursor& details = page.db.Statement(kPropertyQuery);
  details.Params()[0].SetAsInteger(property_id);
  details.Open();
  Row& property = details.Fields();

  // Name header with the tabs.
  PropertyNameCell(out, property[0].AsString());
  PropertyTabs(out, property[18].AsInteger(), &page.entry);
  out.WriteString("</TR></THEAD>");
  out.WriteString("</TBODY></TABLE>");

  const int32_t manager_id = details.FieldByName("PRIMARY_MANAGER_ID").AsInteger();
  const int32_t owner_id = details.FieldByName("PRIMARY_OWNER_ID").AsInteger();
  const int32_t company_id = details.FieldByName("PRIMARY_MGMT_CO_ID").AsInteger();

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
  for (size_t column = 0; column <= 2; ++column) {
    const std::string text = property[column].AsString();
    if (!text.empty()) {
      out.WriteString(text);
      out.WriteString("<br>");
    }
  }
  const std::string city = property[3].AsString();
  if (!city.empty()) {
    out.WriteString(city);
    out.WriteString(" ");
    out.WriteString(property[4].AsString());
    out.WriteString(" ");
    out.WriteString(property[5].AsString());
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
  out.WriteString(property[15].AsString());
  out.WriteString(" <br>");
  out.WriteString(property[11].AsString());
  out.WriteString(" <br>");
  out.WriteString(property[13].AsString());
  out.WriteString(" <br>");
  out.WriteString(property[17].AsString());
  out.WriteString(" <br>");
  out.WriteInteger(property[6].AsInteger());
  out.WriteString("<br>");
  out.WriteString("</P></TD>");

  // Phones of the primary address: types in one cell, numbers line by line in
  // the next, both from one run of the query.
  Cursor& phones = page.db.Statement(kPhonesQuery);
  phones.Params()[0].SetAsInteger(property_id);
  phones.Open();
  if (phones.Eof()) {
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD><br>");
  } else {
    std::string numbers;
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    while (!phones.Eof()) {
      out.WriteString(phones.Fields()[4].AsString());
      out.WriteString(" <br>");
      numbers += phones.Fields()[5].AsString();
      numbers += " <br>";
      phones.Next();
    }
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(numbers);
    out.WriteString("</P></TD><br>");
  }
  phones.Close();

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

  details.Close();
  EntityCell(page, manager_id);
  EntityCell(page, company_id);
  EntityCell(page, owner_id);

  out.WriteString("</TBODY></TABLE>");
  out.WriteString("</div></div></body></html>");
}

}  // namespace qv
