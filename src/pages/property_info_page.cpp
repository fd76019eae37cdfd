// The property information page: name and address, details, the primary
// address's phones, and the manager, management company and owner cells.
#include <string>

#include "pages/page_frame.h"
#include "pages/page_module.h"
#include "pages/page_text.h"

namespace qv {

void TPageModule::PropertyInfoPage(TStringStream& out, TPageRequest& request) {
  BeginPageTransaction();
  out.WriteString(frame::kBareHead);
  PageBanner(out, request, "Property Information");
  const int32_t propertyId = ParseRequestInteger(request.Param("PROPID"), 0);
  const std::string id = std::to_string(propertyId);

  qSelect.SQL().Clear();
  qSelect.SQL().Add("SELECT ");
  qSelect.SQL().Add("   P.PROPERTY_NAME, ");
  qSelect.SQL().Add("   A.PROP_ADDRESS1, ");
  qSelect.SQL().Add("   A.PROP_ADDRESS2, ");
  qSelect.SQL().Add("   A.PROP_CITY, ");
  qSelect.SQL().Add("   A.PROP_STATE, ");
  qSelect.SQL().Add("   A.PROP_ZIPCODE, ");
  qSelect.SQL().Add("   P.NUM_UNITS, ");
  qSelect.SQL().Add("   P.PRIMARY_MANAGER_ID, ");
  qSelect.SQL().Add("   P.PRIMARY_OWNER_ID, ");
  qSelect.SQL().Add("   P.PRIMARY_MGMT_CO_ID, ");
  qSelect.SQL().Add("   P.AREA_ID, ");
  qSelect.SQL().Add(
      "   (SELECT AREA.AREA_NAME FROM AREA WHERE AREA.AREA_ID = P.AREA_ID) AS THE_AREA_NAME, ");
  qSelect.SQL().Add("   P.BEAT_ID, ");
  qSelect.SQL().Add(
      "   (SELECT BEAT.BEAT_NAME FROM BEAT WHERE BEAT.BEAT_ID = P.BEAT_ID) AS THE_BEAT_NAME, ");
  qSelect.SQL().Add("   P.TYPE_ID, ");
  qSelect.SQL().Add(
      "   (SELECT T.TYPE_NAME FROM PROP_TYPE T WHERE T.TYPE_ID = P.TYPE_ID) AS THE_TYPE_NAME, ");
  qSelect.SQL().Add("   P.ACTIVITY_STATUS_ID, ");
  qSelect.SQL().Add(
      "   (SELECT ACTIVITY_STATUS.ACTIVITY_STATUS_NAME FROM ACTIVITY_STATUS WHERE "
      "ACTIVITY_STATUS.ACTIVITY_STATUS_ID = P.ACTIVITY_STATUS_ID) AS THE_ACTIVITY_STATUS_NAME, ");
  qSelect.SQL().Add("   P.PROPERTY_ID ");
  qSelect.SQL().Add("FROM PROPERTY P ");
  qSelect.SQL().Add("LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) ");
  qSelect.SQL().Add("WHERE P.PROPERTY_ID = " + id);
  qSelect.Prepare();
  qSelect.Open();
  TIB_Row& property = qSelect.Fields();

  // Name header with the tabs.
  PropertyNameCell(out, property[0].AsString());
  PropertyTabs(out, request, property[18].AsInteger(), kTabPropertyInfo);
  out.WriteString("</TR></THEAD>");
  out.WriteString("</TBODY></TABLE>");

  const int32_t managerId = qSelect.FieldByName("PRIMARY_MANAGER_ID").AsInteger();
  const int32_t ownerId = qSelect.FieldByName("PRIMARY_OWNER_ID").AsInteger();
  const int32_t companyId = qSelect.FieldByName("PRIMARY_MGMT_CO_ID").AsInteger();

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

  // Phones of the primary address: types in one cell, numbers line by line in the next.
  qPhones.SQL().Clear();
  qPhones.SQL().Add("SELECT ");
  qPhones.SQL().Add("   PH.PHONE_ID, ");
  qPhones.SQL().Add("   PH.SOURCE_TABLE, ");
  qPhones.SQL().Add("   PH.SOURCE_KEY, ");
  qPhones.SQL().Add("   PH.ENTERED_DATE, ");
  qPhones.SQL().Add("   PH.PHONE_TYPE, ");
  qPhones.SQL().Add("   PH.PHONE_NUMBER ");
  qPhones.SQL().Add("FROM GEN_PHONES PH ");
  qPhones.SQL().Add("LEFT JOIN PROPERTY P ON (PH.SOURCE_KEY = P.PRIMARY_PROP_ADDRESS_ID) ");
  qPhones.SQL().Add("WHERE PH.SOURCE_TABLE = 1");
  qPhones.SQL().Add("  AND P.PROPERTY_ID = " + id);
  qPhones.Prepare();
  qPhones.Open();
  qPhones.First();
  if (qPhones.RecordCount() < 1) {
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("--- <br>");
    out.WriteString("</P></TD><br>");
  } else {
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    while (!qPhones.Eof()) {
      out.WriteString(qPhones.Fields()[4].AsString());
      out.WriteString(" <br>");
      qPhones.Next();
    }
    out.WriteString("</P></TD>");
    qPhones.First();
    out.WriteString("<TD WIDTH=17% bgcolor=\"#E8E8E8\"><P>");
    while (!qPhones.Eof()) {
      out.WriteString(qPhones.Fields()[5].AsString());
      out.WriteString(" <br>");
      qPhones.Next();
    }
    out.WriteString("</P></TD><br>");
  }
  qPhones.Close();

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

  qSelect.Close();
  qSelect.SQL().Clear();
  qSelect.Unprepare();
  qSelect.SQL().Add("SELECT E.*, G.* FROM ENTITY E");
  qSelect.SQL().Add("LEFT JOIN GEN_PHONES G ON (G.PHONE_ID = E.PRIMARY_PHONE_ID)");
  qSelect.SQL().Add("WHERE E.ENTITY_ID = :EID");
  qSelect.Prepare();
  EntityCell(out, managerId);
  EntityCell(out, companyId);
  EntityCell(out, ownerId);

  out.WriteString("</TBODY></TABLE>");
  out.WriteString("</div></div></body></html>");
  EndPageTransaction();
}

void TPageModule::EntityCell(TStringStream& out, int32_t entityId) {
  qSelect.Params()[0].SetAsInteger(entityId);
  qSelect.Open();
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  if (qSelect.Eof()) {
    out.WriteString("None Listed<br>");
  } else {
    const auto text = [this](std::string_view name) { return qSelect.FieldByName(name).AsString(); };
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
  qSelect.Close();
}

}  // namespace qv
