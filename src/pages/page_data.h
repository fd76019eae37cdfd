// What each data page reads, once, before anything is written: the page's
// HTML and its data answers are both written from these records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/page_statements.h"
#include "pages/page_values.h"
#include "platform/datetime.h"

namespace qv {

// The banner: the agency's name (none without an agency row), the page's
// title, the two readings of the clock it shows (date, then time) and the
// visitor's log-on state (the session's LoggedIn value).
struct BannerData {
  std::string_view title;
  std::optional<std::string> agency;
  DateTimeParts date_reading;
  DateTimeParts time_reading;
  std::string logged_in;
};

struct MainMenuData {
  BannerData banner;
};

// ---- The property list.

struct ListedProperty {
  ShownInteger id;
  std::optional<std::string> name, address1, address2, city, state, zipcode;
  std::optional<int32_t> units;
};

struct AreaData {
  std::optional<int32_t> id;
  std::string name;  // as the selection box shows it
};

struct PropertyListData {
  BannerData banner;
  bool page_given = true;  // PAGE is absent or a whole number
  ListSearchMode mode = ListSearchMode::kNone;
  std::string search_value;  // empty unless the mode searches
  std::string area;          // the area asked for, trimmed; empty: none
  bool area_filter = false;  // an area other than "ALL" was asked for
  int32_t page = 1;
  int32_t previous_page = 0;
  int32_t next_page = 2;
  std::vector<AreaData> areas;  // in the area table's name order
  std::vector<ListedProperty> rows;  // at most ten
};

// ---- The property tab pages.

// What every property tab page starts with: the banner, the id asked for,
// and the property named above the tab bar (its name, and the id its tabs
// link to).
struct TabStartData {
  BannerData banner;
  int32_t requested_id = 0;
  bool id_given = false;  // PROPID holds a whole number
  bool found = false;  // the property was found
  std::optional<std::string> property_name;
  int32_t tabs_property_id = 0;
};

struct PhoneData {
  std::optional<std::string> type, number;
};

// A manager, management company or owner; not found: no row.
struct ContactData {
  std::optional<int32_t> id;  // the property's reference, none for NULL
  bool found = false;
  std::optional<std::string> first_name, last_name, address1, address2, city, state, zipcode;
  PhoneData phone;
};

struct PropertyInfoData {
  TabStartData start;
  std::optional<std::string> address1, address2, city, state, zipcode;
  std::optional<int32_t> units;
  std::optional<int32_t> type_id, area_id, beat_id, activity_status_id;
  std::optional<std::string> type_name, area_name, beat_name, activity_status_name;
  std::vector<PhoneData> phones;  // of the primary address
  ContactData manager, management_company, owner;
};

struct PersonData {
  int32_t entity_id = 0;
  std::optional<std::string> name;  // "last or company, first"
  std::optional<std::string> type;
  std::optional<std::string> primary_phone;  // "type: number"
  std::vector<std::optional<std::string>> phones;  // "type number" each
};

struct PeopleData {
  TabStartData start;
  std::vector<PersonData> people;
};

struct AccessEntryData {
  std::optional<std::string> type, info;
  std::optional<DateValue> entered;
};

struct AccessData {
  TabStartData start;
  std::vector<AccessEntryData> entries;
};

struct NoteData {
  std::optional<int32_t> id;
  ShownDate entered;
  std::optional<std::string> entered_by, title, text;
  std::optional<DateValue> follow_up;
  std::optional<int32_t> item_done;
};

struct NotesData {
  TabStartData start;
  std::vector<NoteData> notes;
};

struct InspectionData {
  std::optional<int32_t> id;
  std::optional<std::string> title;
  std::optional<int32_t> inspector_id;
  std::optional<std::string> inspector_name;
  ShownDate started, check_back, meeting, finished, renewal;
  // Not the note: a BLOB the page does not show, read only at a cost.
};

struct CptedData {
  TabStartData start;
  std::vector<InspectionData> inspections;
};

struct AuthorizationData {
  std::optional<int32_t> id;
  std::optional<std::string> title, signed_by_name, signed_by_title;
  ShownDate notice_sent, received, expires;
};

struct AuthorizationsData {
  TabStartData start;
  std::vector<AuthorizationData> authorizations;
};

// A violation as the violations list shows it.
struct ViolationSummary {
  ShownInteger id;
  ShownDate date;
  std::optional<std::string> apartment, case_number, request_partner_number;
  std::optional<int32_t> evictable;  // non-zero: yes
  std::optional<std::string> type_description, action_description;
};

struct ViolationsData {
  TabStartData start;
  std::vector<ViolationSummary> violations;
};

struct ViolationDetail {
  ViolationSummary summary;
  std::optional<int32_t> property_id;
  std::optional<std::string> police_action;
  ShownDate eviction_date;
  std::optional<std::string> eviction_explanation;
  ShownDate manager_contact_date;
  std::optional<std::string> manager_contact_by;
  ShownDate notice_letter_date, action_plan_received, lease_begin, lease_end, action_plan_sent;
};

struct ViolatorData {
  std::optional<std::string> first_name, middle_name, last_name, status;
  std::optional<int32_t> living_there_now;  // non-zero: yes
  std::optional<std::string> id1, id2;
  ShownDate birth_date;
};

struct ViolationDetailData {
  BannerData banner;
  int32_t requested_id = 0;
  bool id_given = false;  // VID holds a whole number
  // The violation's rows (one for an id of the table, none for another);
  // the first one's property is the one named above the tabs.
  std::vector<ViolationDetail> violations;
  std::optional<std::string> property_name;  // read when there is a property
  std::vector<ViolatorData> violators;
};

}  // namespace qv
