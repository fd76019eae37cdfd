// Cells the property tab pages share: caption tables written from a list of
// captions, a cell holding a column's text with " <br>" after it, and the
// list row of one violation with its captions.
#pragma once

#include <span>
#include <string_view>

#include "db/cursor.h"
#include "pages/page_data.h"
#include "pages/string_stream.h"

namespace qv::tabcells {

inline constexpr std::string_view kCellEnd = "</P></TD>";
inline constexpr std::string_view kRowEnd = "</P></TD></TR>";
inline constexpr std::string_view kGreyCell14 = "<TD WIDTH=14% bgcolor=\"#E8E8E8\"><P>";
inline constexpr std::string_view kGreyCell20 = "<TD WIDTH=20% bgcolor=\"#E8E8E8\"><P>";

// One caption cell: its width and its text.
struct Caption {
  std::string_view width;
  std::string_view text;
};

// A table of its own headed by one caption cell per entry, captions then
// more ("<TD WIDTH=" width " bgcolor=\"#99CCFF\"><B><P>" text "<BR></P></B></TD>"),
// with its body opened for the data rows.
void WriteCaptionTable(PageStream& out, std::span<const Caption> captions,
                       std::span<const Caption> more = {});

// The captions over a violation's row, but for the last one, which the
// violations list and the detail page word differently.
inline constexpr Caption kViolationCaptions[] = {
    {"16%", "Violation Date"}, {"14%", "Apt #"},     {"14%", "Case #"},
    {"14%", "Request Partner #"}, {"14%", "Evictable?"}, {"14%", "Violation Type"},
};

// The opening, the text followed by " <br>", then the end (a cell or a row end).
inline void WriteValueCell(PageStream& out, std::string_view opening, std::string_view text,
                           std::string_view end = kCellEnd) {
  out.WriteString(opening);
  out.WriteString(text);
  out.WriteString(" <br>");
  out.WriteString(end);
}

// "Yes" for a non-zero value, "No" for zero.
inline std::string_view YesNoText(int32_t value) { return value != 0 ? "Yes" : "No"; }

// A violation as the violations list shows it, read from a row with the
// columns kViolationId, kViolationDate, kAptNum, kCaseNum,
// kRequestPartnerNum, kEvictable, kTypeDescription and kActionDescription.
template <ColumnList Column>
ViolationSummary ReadViolationSummary(const Cursor<Column>& violation) {
  return {ShownIntegerOf(violation, Column::kViolationId),
          ShownDateOf(violation, Column::kViolationDate),
          TextOf(violation, Column::kAptNum),
          TextOf(violation, Column::kCaseNum),
          TextOf(violation, Column::kRequestPartnerNum),
          IntegerOf(violation, Column::kEvictable),
          TextOf(violation, Column::kTypeDescription),
          TextOf(violation, Column::kActionDescription)};
}

// The seven cells of one violation as the violations list shows it. Ends the row.
void WriteViolationRow(PageStream& out, const ViolationSummary& violation);

}  // namespace qv::tabcells
