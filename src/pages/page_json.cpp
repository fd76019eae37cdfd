// The data pages' JSON. Field names are those of docs/api.md and
// docs/openapi.yaml; a change here is a change there.
#include "pages/page_json.h"

#include <cstdio>
#include <map>
#include <mutex>

#include "pages/page_text.h"
#include "platform/datetime.h"

namespace qv {

namespace {

enum class DatabaseCharsetColumn { kName, kCount };
constexpr QueryText<DatabaseCharsetColumn> kDatabaseCharsetQuery{
    "SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE"};

// The encoding of text in the character set of that name: UTF-8 for UTF8
// (and UNICODE_FSS), Windows-1252 for WIN1252, else ISO-8859-1 (ISO8859_1,
// NONE, and the sets this server does not tell apart).
TextEncoding EncodingOf(std::string_view charset) {
  const std::string name = UpperCaseAscii(TrimText(charset));
  if (name == "UTF8" || name == "UTF-8" || name == "UNICODE_FSS") return TextEncoding::kUtf8;
  if (name == "WIN1252") return TextEncoding::kWindows1252;
  return TextEncoding::kLatin1;
}

void Date(JsonWriter& json, std::string_view key, const std::optional<DateValue>& date) {
  json.Key(key);
  if (date) {
    char text[kIsoDateBytes];
    json.String(IsoDateText(*date, text));
  } else {
    json.Null();
  }
}

void Date(JsonWriter& json, std::string_view key, const ShownDate& date) {
  Date(json, key, date.value);
}

void Text(JsonWriter& json, std::string_view key, const std::optional<std::string>& text) {
  json.Key(key).String(text);
}

void Number(JsonWriter& json, std::string_view key, const std::optional<int32_t>& value) {
  json.Key(key).Integer(value);
}

// A SMALLINT flag: non-zero is true.
void Flag(JsonWriter& json, std::string_view key, const std::optional<int32_t>& value) {
  json.Key(key);
  if (value) {
    json.Bool(*value != 0);
  } else {
    json.Null();
  }
}

// An id with its looked-up name: null when the id is.
void Reference(JsonWriter& json, std::string_view key, const std::optional<int32_t>& id,
               const std::optional<std::string>& name) {
  json.Key(key);
  if (!id) {
    json.Null();
    return;
  }
  json.BeginObject();
  Number(json, "id", id);
  Text(json, "name", name);
  json.EndObject();
}

void Property(JsonWriter& json, const TabStartData& start) {
  json.Key("property").BeginObject();
  json.Key("id").Integer(start.requested_id);
  Text(json, "name", start.property_name);
  json.EndObject();
}

void Phone(JsonWriter& json, const PhoneData& phone) {
  json.BeginObject();
  Text(json, "type", phone.type);
  Text(json, "number", phone.number);
  json.EndObject();
}

void Contact(JsonWriter& json, std::string_view key, const ContactData& contact) {
  json.Key(key);
  if (!contact.id || !contact.found) {
    json.Null();
    return;
  }
  json.BeginObject();
  Number(json, "id", contact.id);
  Text(json, "firstName", contact.first_name);
  Text(json, "lastName", contact.last_name);
  Text(json, "address1", contact.address1);
  Text(json, "address2", contact.address2);
  Text(json, "city", contact.city);
  Text(json, "state", contact.state);
  Text(json, "zipcode", contact.zipcode);
  json.Key("phone");
  Phone(json, contact.phone);
  json.EndObject();
}

void Summary(JsonWriter& json, const ViolationSummary& violation) {
  Number(json, "id", violation.id.value);
  Date(json, "date", violation.date);
  Text(json, "apartment", violation.apartment);
  Text(json, "caseNumber", violation.case_number);
  Text(json, "requestPartnerNumber", violation.request_partner_number);
  Flag(json, "evictable", violation.evictable);
  Text(json, "type", violation.type_description);
  Text(json, "plannedAction", violation.action_description);
}

std::string_view ModeName(ListSearchMode mode) {
  switch (mode) {
    case ListSearchMode::kAddress: return "address";
    case ListSearchMode::kName: return "name";
    default: return "none";
  }
}

}  // namespace

std::string IsoDateText(const DateValue& date) {
  char text[kIsoDateBytes];
  return std::string(IsoDateText(date, text));
}

std::string_view IsoDateText(const DateValue& date, char (&text)[kIsoDateBytes]) {
  const DateTimeParts parts = DecodeDateTime(date.days);
  // Written digit by digit: this runs for every date of an answer.
  const auto put = [&text](size_t at, int value, size_t digits) {
    for (size_t i = digits; i > 0; --i, value /= 10) {
      text[at + i - 1] = static_cast<char>('0' + value % 10);
    }
  };
  if (parts.year < 0 || parts.year > 9999) {
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.year,
                                     parts.month, parts.day);
    return std::string_view(text, static_cast<size_t>(length));
  }
  put(0, parts.year, 4);
  text[4] = '-';
  put(5, parts.month, 2);
  text[7] = '-';
  put(8, parts.day, 2);
  if (!date.with_time) return std::string_view(text, 10);
  text[10] = 'T';
  put(11, parts.hour, 2);
  text[13] = ':';
  put(14, parts.minute, 2);
  text[16] = ':';
  put(17, parts.second, 2);
  return std::string_view(text, 19);
}

TextEncoding DatabaseTextEncoding(DatabaseSession& db) {
  const std::string connection_charset = db.Connection().Param("CHARACTER SET");
  if (!connection_charset.empty() && UpperCaseAscii(connection_charset) != "NONE") {
    return EncodingOf(connection_charset);
  }
  static std::mutex mutex;
  static std::map<std::string, TextEncoding> known;
  const std::string database = db.Connection().DatabaseName();
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (auto found = known.find(database); found != known.end()) return found->second;
  }
  TextEncoding encoding = TextEncoding::kLatin1;
  {
    const auto charset = db.Query(kDatabaseCharsetQuery);
    encoding = EncodingOf(charset.Text(DatabaseCharsetColumn::kName));
  }
  std::lock_guard<std::mutex> lock(mutex);
  known[database] = encoding;
  return encoding;
}

PageOutcome DataOutcome(const MainMenuData&, std::string&) { return PageOutcome::kShown; }

PageOutcome DataOutcome(const PropertyListData& data, std::string& detail) {
  if (data.page_given) return PageOutcome::kShown;
  detail = "The parameter page is not a whole number.";
  return PageOutcome::kBadRequest;
}

PageOutcome DataOutcome(const TabStartData& data, std::string& detail) {
  if (!data.id_given) {
    detail = "The parameter propid is missing or not a whole number.";
    return PageOutcome::kBadRequest;
  }
  if (!data.found) {
    detail = "No property has the id " + std::to_string(data.requested_id) + ".";
    return PageOutcome::kNotFound;
  }
  return PageOutcome::kShown;
}

PageOutcome DataOutcome(const ViolationDetailData& data, std::string& detail) {
  if (!data.id_given) {
    detail = "The parameter vid is missing or not a whole number.";
    return PageOutcome::kBadRequest;
  }
  if (data.violations.empty()) {
    detail = "No violation has the id " + std::to_string(data.requested_id) + ".";
    return PageOutcome::kNotFound;
  }
  return PageOutcome::kShown;
}

void WriteJson(JsonWriter& json, const MainMenuData& data) {
  json.BeginObject();
  Text(json, "agency", data.banner.agency);
  json.Key("links").BeginArray();
  for (const auto& [rel, href] : {std::pair{"propertyList", "/list"}}) {
    json.BeginObject();
    json.Key("rel").String(rel);
    json.Key("href").String(href);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const PropertyListData& data) {
  json.BeginObject();
  json.Key("page").Integer(data.page);
  json.Key("hasNextPage").Bool(data.rows.size() == 10);
  json.Key("hasPreviousPage").Bool(data.page > 1);
  json.Key("search").BeginObject();
  json.Key("mode").String(ModeName(data.mode));
  json.Key("value");
  if (data.mode == ListSearchMode::kNone) {
    json.Null();
  } else {
    json.String(data.search_value);
  }
  json.EndObject();
  json.Key("area");
  if (data.area_filter) {
    json.String(data.area);
  } else {
    json.Null();
  }
  json.Key("areas").BeginArray();
  for (const AreaData& area : data.areas) {
    json.BeginObject();
    Number(json, "id", area.id);
    json.Key("name").String(area.name);
    json.EndObject();
  }
  json.EndArray();
  json.Key("properties").BeginArray();
  for (const ListedProperty& row : data.rows) {
    json.BeginObject();
    Number(json, "id", row.id.value);
    Text(json, "name", row.name);
    Text(json, "address1", row.address1);
    Text(json, "address2", row.address2);
    Text(json, "city", row.city);
    Text(json, "state", row.state);
    Text(json, "zipcode", row.zipcode);
    Number(json, "units", row.units);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const PropertyInfoData& data) {
  json.BeginObject();
  json.Key("property").BeginObject();
  json.Key("id").Integer(data.start.requested_id);
  Text(json, "name", data.start.property_name);
  Text(json, "address1", data.address1);
  Text(json, "address2", data.address2);
  Text(json, "city", data.city);
  Text(json, "state", data.state);
  Text(json, "zipcode", data.zipcode);
  Number(json, "units", data.units);
  Reference(json, "type", data.type_id, data.type_name);
  Reference(json, "area", data.area_id, data.area_name);
  Reference(json, "beat", data.beat_id, data.beat_name);
  Reference(json, "activityStatus", data.activity_status_id, data.activity_status_name);
  json.Key("phones").BeginArray();
  for (const PhoneData& phone : data.phones) Phone(json, phone);
  json.EndArray();
  Contact(json, "manager", data.manager);
  Contact(json, "managementCompany", data.management_company);
  Contact(json, "owner", data.owner);
  json.EndObject();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const PeopleData& data) {
  json.BeginObject();
  Property(json, data.start);
  json.Key("people").BeginArray();
  for (const PersonData& person : data.people) {
    json.BeginObject();
    json.Key("entityId").Integer(person.entity_id);
    Text(json, "name", person.name);
    Text(json, "type", person.type);
    Text(json, "primaryPhone", person.primary_phone);
    json.Key("phones").BeginArray();
    for (const auto& phone : person.phones) json.String(phone);
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const AccessData& data) {
  json.BeginObject();
  Property(json, data.start);
  json.Key("accessEntries").BeginArray();
  for (const AccessEntryData& entry : data.entries) {
    json.BeginObject();
    Text(json, "type", entry.type);
    Text(json, "info", entry.info);
    Date(json, "entered", entry.entered);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const NotesData& data) {
  json.BeginObject();
  Property(json, data.start);
  json.Key("notes").BeginArray();
  for (const NoteData& note : data.notes) {
    json.BeginObject();
    Number(json, "id", note.id);
    Date(json, "entered", note.entered);
    Text(json, "enteredBy", note.entered_by);
    Text(json, "title", note.title);
    Text(json, "text", note.text);
    Date(json, "followUpDate", note.follow_up);
    Flag(json, "done", note.item_done);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const CptedData& data) {
  json.BeginObject();
  Property(json, data.start);
  json.Key("inspections").BeginArray();
  for (const InspectionData& inspection : data.inspections) {
    json.BeginObject();
    Number(json, "id", inspection.id);
    Text(json, "title", inspection.title);
    Reference(json, "inspector", inspection.inspector_id, inspection.inspector_name);
    Date(json, "startDate", inspection.started);
    Date(json, "checkBackDate", inspection.check_back);
    Date(json, "meetingDate", inspection.meeting);
    Date(json, "finishDate", inspection.finished);
    Date(json, "renewalDate", inspection.renewal);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const AuthorizationsData& data) {
  json.BeginObject();
  Property(json, data.start);
  json.Key("authorizations").BeginArray();
  for (const AuthorizationData& authorization : data.authorizations) {
    json.BeginObject();
    Number(json, "id", authorization.id);
    Text(json, "title", authorization.title);
    Text(json, "signedByName", authorization.signed_by_name);
    Text(json, "signedByTitle", authorization.signed_by_title);
    Date(json, "noticeSentDate", authorization.notice_sent);
    Date(json, "receivedDate", authorization.received);
    Date(json, "expiresDate", authorization.expires);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const ViolationsData& data) {
  json.BeginObject();
  Property(json, data.start);
  json.Key("violations").BeginArray();
  for (const ViolationSummary& violation : data.violations) {
    json.BeginObject();
    Summary(json, violation);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteJson(JsonWriter& json, const ViolationDetailData& data) {
  const ViolationDetail& violation = data.violations.front();
  json.BeginObject();
  json.Key("violation").BeginObject();
  Summary(json, violation.summary);
  json.Key("property");
  if (violation.property_id) {
    json.BeginObject();
    Number(json, "id", violation.property_id);
    Text(json, "name", data.property_name);
    json.EndObject();
  } else {
    json.Null();
  }
  Text(json, "policeAction", violation.police_action);
  Date(json, "evictionDate", violation.eviction_date);
  Text(json, "evictionExplanation", violation.eviction_explanation);
  Date(json, "managerContactDate", violation.manager_contact_date);
  Text(json, "managerContactBy", violation.manager_contact_by);
  Date(json, "noticeLetterDate", violation.notice_letter_date);
  Date(json, "actionPlanReceivedDate", violation.action_plan_received);
  Date(json, "leaseBeginDate", violation.lease_begin);
  Date(json, "leaseEndDate", violation.lease_end);
  Date(json, "actionPlanSentDate", violation.action_plan_sent);
  json.EndObject();
  json.Key("violators").BeginArray();
  for (const ViolatorData& violator : data.violators) {
    json.BeginObject();
    Text(json, "firstName", violator.first_name);
    Text(json, "middleName", violator.middle_name);
    Text(json, "lastName", violator.last_name);
    Text(json, "status", violator.status);
    Flag(json, "livingThereNow", violator.living_there_now);
    Text(json, "id1", violator.id1);
    Text(json, "id2", violator.id2);
    Date(json, "birthDate", violator.birth_date);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

}  // namespace qv
