// The detail page of one lease violation: its list row, police action, eviction,
// manager contact, notice and lease dates, then the violators named in it.
#include "pages/data_pages.h"
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

ViolationDetail ReadViolation(const Cursor<ViolationColumn>& violation) {
  using enum ViolationColumn;
  ViolationDetail data;
  data.summary = tabcells::ReadViolationSummary(violation);
  data.property_id = IntegerOf(violation, kPropertyId);
  data.police_action = TextOf(violation, kPoliceAction);
  data.eviction_date = ShownDateOf(violation, kEvictionDate);
  data.eviction_explanation = TextOf(violation, kEvictionExplanation);
  data.manager_contact_date = ShownDateOf(violation, kManagerContactDate);
  data.manager_contact_by = TextOf(violation, kManagerContactBy);
  data.notice_letter_date = ShownDateOf(violation, kNoticeLetterDate);
  data.action_plan_received = ShownDateOf(violation, kActionPlanReceived);
  data.lease_begin = ShownDateOf(violation, kLeaseBeginDate);
  data.lease_end = ShownDateOf(violation, kLeaseEndDate);
  data.action_plan_sent = ShownDateOf(violation, kActionPlanSent);
  return data;
}

ViolatorData ReadViolator(const Cursor<ViolatorColumn>& violator) {
  using enum ViolatorColumn;
  ViolatorData data;
  data.first_name = TextOf(violator, kFirstName);
  data.middle_name = TextOf(violator, kMiddleName);
  data.last_name = TextOf(violator, kLastName);
  data.status = TextOf(violator, kStatus);
  data.living_there_now = IntegerOf(violator, kLivingThereNow);
  data.id1 = TextOf(violator, kId1);
  data.id2 = TextOf(violator, kId2);
  data.birth_date = ShownDateOf(violator, kBirthDate);
  return data;
}

void WriteViolation(PageStream& out, const ViolationDetail& violation) {
  using tabcells::kGreyCell20;
  using tabcells::kRowEnd;
  using tabcells::WriteCaptionTable;
  using tabcells::WriteValueCell;
  tabcells::WriteViolationRow(out, violation.summary);

  WriteCaptionTable(out, kActionCaptions);
  WriteValueCell(out, kGreyCell20, Plain(violation.police_action));
  WriteValueCell(out, kGreyCell20, violation.eviction_date.text);
  WriteValueCell(out, kGreyCell20, Plain(violation.eviction_explanation));
  WriteValueCell(out, kGreyCell20, violation.manager_contact_date.text);
  WriteValueCell(out, kGreyCell20, Plain(violation.manager_contact_by), kRowEnd);

  WriteCaptionTable(out, kLeaseCaptions);
  WriteValueCell(out, kGreyCell20, violation.notice_letter_date.text);
  WriteValueCell(out, kGreyCell20, violation.action_plan_received.text);
  WriteValueCell(out, kGreyCell20, violation.lease_begin.text);
  WriteValueCell(out, kGreyCell20, violation.lease_end.text);
  WriteValueCell(out, kGreyCell20, violation.action_plan_sent.text, kRowEnd);
}

void WriteViolator(PageStream& out, const ViolatorData& violator) {
  using tabcells::WriteValueCell;
  const std::string_view first = "<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P>";
  const std::string_view other = "<TD WIDTH=12% bgcolor=\"#E8E8E8\"><P>";
  WriteValueCell(out, first, Plain(violator.first_name));
  WriteValueCell(out, other, Plain(violator.middle_name));
  WriteValueCell(out, other, Plain(violator.last_name));
  WriteValueCell(out, other, Plain(violator.status));
  WriteValueCell(out, other, tabcells::YesNoText(violator.living_there_now.value_or(0)));
  WriteValueCell(out, other, Plain(violator.id1));
  WriteValueCell(out, other, Plain(violator.id2));
  WriteValueCell(out, other, violator.birth_date.text, tabcells::kRowEnd);
}

}  // namespace

ViolationDetailData ReadViolationDetailPage(PageContext& page) {
  ViolationDetailData data;
  data.banner = ReadBanner(page, "Property Violation Detail");
  data.requested_id = RecordId(page, "VID");
  data.id_given = RecordIdGiven(page, "VID");
  {
    auto violation = page.db.Query(kViolationQuery, data.requested_id);
    // The first row's property is named above the tabs.
    if (!violation.IsNull(ViolationColumn::kPropertyId)) {
      const auto name =
          page.db.Query(kPropertyNameQuery, violation.Integer(ViolationColumn::kPropertyId));
      data.property_name = TextOf(name, PropertyNameColumn::kPropertyName);
    }
    for (; !violation.AtEnd(); violation.Next()) data.violations.push_back(ReadViolation(violation));
  }
  for (auto violators = page.db.Query(kViolatorsQuery, data.requested_id); !violators.AtEnd();
       violators.Next()) {
    data.violators.push_back(ReadViolator(violators));
  }
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& /*entry*/, const ViolationDetailData& data) {
  WriteRecordPageStart(out, data.banner);
  // A violation that is missing, or that belongs to no property, has no
  // property to name: the page then shows an empty name, tabs for property
  // 0 and no violation rows.
  const std::optional<int32_t> property_id =
      data.violations.empty() ? std::nullopt : data.violations.front().property_id;
  PropertyNameCell(out, property_id ? Plain(data.property_name) : std::string_view());
  PropertyTabs(out, property_id.value_or(0), &PageNamed("ViolationsPage"));

  tabcells::WriteCaptionTable(out, tabcells::kViolationCaptions, kListCaption);
  if (property_id) {
    for (const ViolationDetail& violation : data.violations) WriteViolation(out, violation);
  }

  out.WriteString(frame::kPlainTable);
  out.WriteString("<TBODY>");
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TH WIDTH=100% bgcolor=\"#E8E8E8\">");
  out.WriteString("<div style=\"text-align: center;\">");
  out.WriteString("<big><big><b>");
  out.WriteString("Violators");
  out.WriteString("</big></big></b>");
  out.WriteString("</TH>");
  tabcells::WriteCaptionTable(out, kViolatorCaptions);
  for (const ViolatorData& violator : data.violators) WriteViolator(out, violator);
  out.WriteString("</TBODY></TABLE>");
}

void ViolationDetailPage(PageContext& page) { RenderPage(page, ReadViolationDetailPage(page)); }

}  // namespace qv
