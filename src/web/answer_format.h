// What a request's Accept header asks a data page to answer with: its HTML
// page, unless the header ranks JSON (or, where a page has it, CSV) above
// text/html. Browsers rank text/html first (or only reach other types
// through "*/*"), so they always get the page.
#pragma once

#include <string_view>

namespace qv {

enum class AnswerFormat { kHtml, kJson, kCsv };
inline constexpr size_t kAnswerFormats = 3;

// The media types of the data answers.
inline constexpr std::string_view kJsonContentType = "application/json; charset=utf-8";
inline constexpr std::string_view kProblemContentType = "application/problem+json; charset=utf-8";
inline constexpr std::string_view kCsvContentType = "text/csv; charset=utf-8; header=present";

// The format with the highest weight (q) in the header among those the page
// offers (HTML always; CSV only when `csv_offered`), a type's weight being
// that of the most specific range that matches it ("text/html", then
// "text/*", then "*/*"; none: 0). Ties go to HTML, then JSON; an empty or
// absent header is HTML.
AnswerFormat PreferredFormat(std::string_view accept, bool csv_offered = false);

// "html", "json" or "csv": the format's label in the request metrics.
std::string_view FormatLabel(AnswerFormat format);

}  // namespace qv
