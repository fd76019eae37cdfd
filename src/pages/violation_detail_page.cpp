// The detail page of one lease violation: its list row, police action, eviction,
// manager contact, notice and lease dates, then the violators named in it.
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"
#include "pages/tab_cells.h"

namespace qv {

namespace {

using tabcells::Caption;

// Captions of the violation's row, its actions, its lease dates and its violators.
constexpr Caption kListCaption[] = {{"14%", "Planned Action"}};
constexpr Caption kActionCaptions[] = {
    {"20%", "Police Action"},    {"20%", "Eviction Date"}, {"20%", "Eviction Desc"},
    {"20%", "Mgr Contact Date"}, {"20%", "Mgr Contact By"},
};
constexpr Caption kLeaseCaptions[] = {
    {"20%", "Notice Letter Date"}, {"20%", "Action Plan Recieved"}, {"20%", "Lease Begin Date"},
    {"20%", "Lease End Date"},     {"20%", "Action Plan Sent"},
};
constexpr Caption kViolatorCaptions[] = {
    {"16%", "First Name"},       {"12%", "Middle Name"}, {"12%", "Last Name"},
    {"12%", "Resident Status"},  {"12%", "Living There Now"}, {"12%", "ID 1"},
    {"12%", "ID 2"},             {"12%", "Date Of Birth"},
};

}  // namespace

void ViolationDetailPage(PageContext& page) {
  PageStream& out = page.out;
  using tabcells::kGreyCell20;
  using tabcells::kRowEnd;
  using tabcells::WriteCaptionTable;
  using tabcells::WriteValueCell;
  using tabcells::kViolationCaptions;

  const int32_t requested_id = BeginRecordPage(page, "Property Violation Detail", "VID");

  Cursor& violation = page.db.Statement(kViolationQuery);
  violation.Params()[0].SetAsInteger(requested_id);
  violation.Open();

  // A violation that is missing, or that belongs to no property, has no property
  // to name: the page then shows an empty name, tabs for property 0 and no
  // violation rows.
  const bool has_property = !violation.Fields()[8].IsNull();
  std::string property_name;
  if (has_property) {
    Cursor& name = page.db.Statement(kPropertyNameQuery);
    name.Params()[0].SetAsInteger(violation.Fields()[8].AsInteger());
    name.Open();
    property_name = name.Fields()[0].AsString();
    name.Close();
  }

  PropertyNameCell(out, property_name);
  PropertyTabs(out, violation.Fields()[8].AsInteger(), &PageNamed("ViolationsPage"));

  WriteCaptionTable(out, kViolationCaptions, kListCaption);

  // A property id read means the violation's row is current.
  if (has_property) {
    while (!violation.Eof()) {
      Row& f = violation.Fields();
      tabcells::WriteViolationRow(out, f);

      WriteCaptionTable(out, kActionCaptions);
      WriteValueCell(out, kGreyCell20, f[9].AsString());
      WriteValueCell(out, kGreyCell20, f[10].AsString());
      WriteValueCell(out, kGreyCell20, f[11].AsString());
      WriteValueCell(out, kGreyCell20, f[12].AsString());
      WriteValueCell(out, kGreyCell20, f[13].AsString(), kRowEnd);

      WriteCaptionTable(out, kLeaseCaptions);
      WriteValueCell(out, kGreyCell20, f[14].AsString());
      WriteValueCell(out, kGreyCell20, f[15].AsString());
      WriteValueCell(out, kGreyCell20, f[16].AsString());
      WriteValueCell(out, kGreyCell20, f[17].AsString());
      WriteValueCell(out, kGreyCell20, f[18].AsString(), kRowEnd);

      violation.Next();
    }
  }
  violation.Close();

  Cursor& violators = page.db.Statement(kViolatorsQuery);
  violators.Params()[0].SetAsInteger(requested_id);
  violators.Open();

  out.WriteString(frame::kPlainTable);
  out.WriteString("<TBODY>");
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TH WIDTH=100% bgcolor=\"#E8E8E8\">");
  out.WriteString("<div style=\"text-align: center;\">");
  out.WriteString("<big><big><b>");
  out.WriteString("Violators");
  out.WriteString("</big></big></b>");
  out.WriteString("</TH>");
  WriteCaptionTable(out, kViolatorCaptions);

  const std::string_view first = "<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P>";
  const std::string_view other = "<TD WIDTH=12% bgcolor=\"#E8E8E8\"><P>";
  while (!violators.Eof()) {
    Row& f = violators.Fields();
    WriteValueCell(out, first, f[0].AsString());
    WriteValueCell(out, other, f[1].AsString());
    WriteValueCell(out, other, f[2].AsString());
    WriteValueCell(out, other, f[3].AsString());
    WriteValueCell(out, other, YesNoText(f[4].AsInteger()));
    WriteValueCell(out, other, f[5].AsString());
    WriteValueCell(out, other, f[6].AsString());
    WriteValueCell(out, other, f[7].AsString(), kRowEnd);
    violators.Next();
  }
  violators.Close();
  out.WriteString("</TBODY></TABLE>");
}

}  // namespace qv
