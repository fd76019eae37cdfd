// The data pages' data as JSON: one object per page, named fields, numbers as
// numbers, dates as ISO 8601 text, absent values as null (docs/api.md).
#pragma once

#include <string>
#include <string_view>

#include "db/database_session.h"
#include "pages/json_writer.h"
#include "pages/page_context.h"
#include "pages/page_data.h"

namespace qv {

void WriteJson(JsonWriter& json, const MainMenuData& data);
void WriteJson(JsonWriter& json, const PropertyListData& data);
void WriteJson(JsonWriter& json, const PropertyInfoData& data);
void WriteJson(JsonWriter& json, const PeopleData& data);
void WriteJson(JsonWriter& json, const AccessData& data);
void WriteJson(JsonWriter& json, const NotesData& data);
void WriteJson(JsonWriter& json, const CptedData& data);
void WriteJson(JsonWriter& json, const AuthorizationsData& data);
void WriteJson(JsonWriter& json, const ViolationsData& data);
void WriteJson(JsonWriter& json, const ViolationDetailData& data);

// Whether the data answers the request: a record page whose id parameter is
// not a whole number asks for nothing (kBadRequest), one whose record the
// database does not hold gets kNotFound; `detail` says which in words.
PageOutcome DataOutcome(const MainMenuData& data, std::string& detail);
PageOutcome DataOutcome(const PropertyListData& data, std::string& detail);
PageOutcome DataOutcome(const TabStartData& data, std::string& detail);
PageOutcome DataOutcome(const ViolationDetailData& data, std::string& detail);
template <typename TabData>
  requires requires(const TabData& d) { d.start; }
PageOutcome DataOutcome(const TabData& data, std::string& detail) {
  return DataOutcome(data.start, detail);
}

// How the database's text is encoded, by the connection's character set or
// else the database's default one: UTF-8 for UTF8 (or UNICODE_FSS),
// Windows-1252 for WIN1252, else ISO-8859-1 (the character set of the pages).
// Asked once per database.
TextEncoding DatabaseTextEncoding(DatabaseSession& db);

// ISO 8601: "2026-03-05" for a date, "2026-03-05T14:30:00" for a moment
// (local time, as stored).
std::string IsoDateText(const DateValue& date);
// The same in `text`, which the view shows.
inline constexpr size_t kIsoDateBytes = 48;
std::string_view IsoDateText(const DateValue& date, char (&text)[kIsoDateBytes]);

// The data as the context's answer: its JSON, or the outcome that stops it.
template <typename Data>
void WriteJsonAnswer(PageContext& page, const Data& data) {
  page.outcome = DataOutcome(data, page.outcome_detail);
  if (page.outcome != PageOutcome::kShown) return;
  JsonWriter json(page.out.Data(), DatabaseTextEncoding(page.db));
  WriteJson(json, data);
}

}  // namespace qv
