#include "web/answer_format.h"

#include <array>
#include <string>

#include "pages/page_text.h"

namespace qv {

namespace {

// A media range of the header, lower-cased, with its weight in thousandths.
struct MediaRange {
  std::string type, subtype;
  int weight = 1000;
};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "q=0.5" read as thousandths (0 to 1000); a malformed weight counts as 0.
int ReadWeight(std::string_view value) {
  if (value.empty() || (value[0] != '0' && value[0] != '1')) return 0;
  int weight = (value[0] - '0') * 1000;
  if (value.size() == 1) return weight;
  if (value[1] != '.' || value.size() > 5) return 0;
  int scale = 100;
  for (char c : value.substr(2)) {
    if (c < '0' || c > '9') return 0;
    weight += (c - '0') * scale;
    scale /= 10;
  }
  return weight > 1000 ? 0 : weight;
}

MediaRange ReadRange(std::string_view text) {
  MediaRange range;
  const size_t semicolon = text.find(';');
  const std::string type = UpperCaseAscii(Trimmed(text.substr(0, semicolon)));
  const size_t slash = type.find('/');
  range.type = type.substr(0, slash);
  range.subtype = slash == std::string::npos ? std::string() : type.substr(slash + 1);
  for (std::string_view params = semicolon == std::string_view::npos
                                     ? std::string_view()
                                     : text.substr(semicolon + 1);
       !params.empty();) {
    const size_t end = params.find(';');
    const std::string_view param = Trimmed(params.substr(0, end));
    if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
      range.weight = ReadWeight(Trimmed(param.substr(2)));
    }
    if (end == std::string_view::npos) break;
    params.remove_prefix(end + 1);
  }
  return range;
}

// The weight the header gives TYPE/SUBTYPE (upper case): that of the most
// specific range that matches it, 0 when none does.
int WeightOf(std::string_view accept, std::string_view type, std::string_view subtype) {
  int weight = 0;
  int specificity = -1;
  while (!accept.empty()) {
    const size_t comma = accept.find(',');
    const MediaRange range = ReadRange(accept.substr(0, comma));
    int matched = -1;
    if (range.type == type && range.subtype == subtype) {
      matched = 2;
    } else if (range.type == type && range.subtype == "*") {
      matched = 1;
    } else if (range.type == "*" && range.subtype == "*") {
      matched = 0;
    }
    if (matched > specificity) {
      specificity = matched;
      weight = range.weight;
    }
    if (comma == std::string_view::npos) break;
    accept.remove_prefix(comma + 1);
  }
  return weight;
}

}  // namespace

AnswerFormat PreferredFormat(std::string_view accept, bool csv_offered) {
  if (Trimmed(accept).empty()) return AnswerFormat::kHtml;
  const int html = WeightOf(accept, "TEXT", "HTML");
  const int json = WeightOf(accept, "APPLICATION", "JSON");
  const int csv = csv_offered ? WeightOf(accept, "TEXT", "CSV") : 0;
  if (csv > html && csv > json) return AnswerFormat::kCsv;
  if (json > html) return AnswerFormat::kJson;
  return AnswerFormat::kHtml;
}

std::string_view FormatLabel(AnswerFormat format) {
  static constexpr std::array<std::string_view, kAnswerFormats> kLabels = {"html", "json", "csv"};
  return kLabels[static_cast<size_t>(format)];
}

}  // namespace qv
