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

  {
    using enum ViolationColumn;
    auto violation = page.db.Query(kViolationQuery, requested_id);

    // A violation that is missing, or that belongs to no property, has no
    // property to name: the page then shows an empty name, tabs for property
    // 0 and no violation rows.
    const bool has_property = !violation.IsNull(kPropertyId);
    std::string property_name;
    if (has_property) {
      const auto name = page.db.Query(kPropertyNameQuery, violation.Integer(kPropertyId));
      property_name = name.Text(PropertyNameColumn::kPropertyName);
    }

    PropertyNameCell(out, property_name);
    PropertyTabs(out, violation.Integer(kPropertyId), &PageNamed("ViolationsPage"));

    WriteCaptionTable(out, kViolationCaptions, kListCaption);

    // A property id read means the violation's row is current.
    if (has_property) {
      while (!violation.AtEnd()) {
        tabcells::WriteViolationRow(out, violation);

        WriteCaptionTable(out, kActionCaptions);
        WriteValueCell(out, kGreyCell20, violation.Text(kPoliceAction));
        WriteValueCell(out, kGreyCell20, violation.Text(kEvictionDate));
        WriteValueCell(out, kGreyCell20, violation.Text(kEvictionExplanation));
        WriteValueCell(out, kGreyCell20, violation.Text(kManagerContactDate));
        WriteValueCell(out, kGreyCell20, violation.Text(kManagerContactBy), kRowEnd);

        WriteCaptionTable(out, kLeaseCaptions);
        WriteValueCell(out, kGreyCell20, violation.Text(kNoticeLetterDate));
        WriteValueCell(out, kGreyCell20, violation.Text(kActionPlanReceived));
        WriteValueCell(out, kGreyCell20, violation.Text(kLeaseBeginDate));
        WriteValueCell(out, kGreyCell20, violation.Text(kLeaseEndDate));
        WriteValueCell(out, kGreyCell20, violation.Text(kActionPlanSent), kRowEnd);

        violation.Next();
      }
    }
  }

  using enum ViolatorColumn;
  auto violators = page.db.Query(kViolatorsQuery, requested_id);

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
  for (; !violators.AtEnd(); violators.Next()) {
    WriteValueCell(out, first, violators.Text(kFirstName));
    WriteValueCell(out, other, violators.Text(kMiddleName));
    WriteValueCell(out, other, violators.Text(kLastName));
    WriteValueCell(out, other, violators.Text(kStatus));
    WriteValueCell(out, other, tabcells::YesNoText(violators.Integer(kLivingThereNow)));
    WriteValueCell(out, other, violators.Text(kId1));
    WriteValueCell(out, other, violators.Text(kId2));
    WriteValueCell(out, other, violators.Text(kBirthDate), kRowEnd);
  }
  out.WriteString("</TBODY></TABLE>");
}

}  // namespace qv
