// The People tab: every person or company attached to a property, with type and
// phones; and the property heading that opens the tab pages.
#include "pages/page_frame.h"
#include "pages/page_module.h"
#include "pages/page_text.h"

namespace qv {

void TPageModule::PropertyHeading(TStringStream& out, TPageRequest& request, int32_t requestedId,
                                  int currentTab) {
  qSelect.SQL().Clear();
  qSelect.SQL().Add("SELECT ");
  qSelect.SQL().Add("   P.PROPERTY_NAME, ");
  qSelect.SQL().Add("   P.PROPERTY_ID ");
  qSelect.SQL().Add("FROM PROPERTY P ");
  qSelect.SQL().Add("LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) ");
  qSelect.SQL().Add("WHERE P.PROPERTY_ID = " + std::to_string(requestedId));
  qSelect.Prepare();
  qSelect.Open();
  // No row: every column reads as NULL, so the name is empty and the tabs get 0.
  PropertyNameCell(out, qSelect.Fields()[0].AsString());
  PropertyTabs(out, request, qSelect.Fields()[1].AsInteger(), currentTab);
  qSelect.Close();
}

void TPageModule::PeoplePage(TStringStream& out, TPageRequest& request) {
  BeginPageTransaction();
  out.WriteString(frame::kBareHead);
  PageBanner(out, request, "Property People");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);
  PropertyHeading(out, request, requestedId, kTabPeople);

  qSelect.SQL().Clear();
  qSelect.SQL().Add(
      "select e.last_or_company_name || ', ' || e.first_name, t.description, p.phone_type || "
      "': ' || p.phone_number,");
  qSelect.SQL().Add("e.entity_id");
  qSelect.SQL().Add("from entity_enh e");
  qSelect.SQL().Add("left join gen_phones p on (e.primary_phone_id = p.phone_id)");
  qSelect.SQL().Add("left join e_type t on (t.e_type_id = e.e_type_id)");
  qSelect.SQL().Add("where e.property_id = " + std::to_string(requestedId));
  qSelect.SQL().Add("order by e.last_or_company_name, e.first_name");
  qSelect.Open();

  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Person/Company<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Phone<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");

  while (!qSelect.Eof()) {
    out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(qSelect.Fields()[0].AsString());
    out.WriteString("<BR></B></P></TD>");
    out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(qSelect.Fields()[1].AsString());
    out.WriteString("<BR></B></P></TD>");
    out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");

    // The entity's phones, one query per entity.
    qSelect2.Close();
    qSelect2.SQL().Clear();
    qSelect2.SQL().Add("select g.phone_type || ' ' || g.phone_number");
    qSelect2.SQL().Add("from gen_phones g");
    qSelect2.SQL().Add("where g.source_table = 2");
    qSelect2.SQL().Add("and g.source_key = " + qSelect.Fields()[3].AsString());
    qSelect2.Open();
    while (!qSelect2.Eof()) {
      out.WriteString(qSelect2.Fields()[0].AsString());
      out.WriteString("<br>");
      qSelect2.Next();
    }

    out.WriteString("</B></P></TD>");
    out.WriteString("</TR></TBODY>");
    qSelect.Next();
  }
  EndPageTransaction();
}

}  // namespace qv
