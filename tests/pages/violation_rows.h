// Rows of a violation with every column the detail page shows, and the lookup
// rows it names; the page tests and the page benchmarks build on them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::pagetest {

// Violation type, planned action, police action and resident status 1.
inline constexpr std::string_view kViolationLookupRows =
    "INSERT INTO VIOLATION_TYPES (VIOLATION_TYPE_ID, DESCRIPTION) VALUES (1, 'Noise');"
    "INSERT INTO VIOLATION_ACTIONS (VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC) "
    "VALUES (1, 'Warning letter');"
    "INSERT INTO VIOLATION_POLICE_ACTIONS (VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC) "
    "VALUES (1, 'Report filed');"
    "INSERT INTO RESIDENT_STATUS (RESIDENT_STATUS_ID, DESCRIPTION) VALUES (1, 'Tenant');";

// Violation `id` of property `property_id`, evictable, naming the lookups of
// kViolationLookupRows, with every date and text filled.
inline std::string FullViolationRow(int32_t id, int32_t property_id,
                                    std::string_view eviction_explanation) {
  return "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, APT_NUM, CASE_NUM, "
         "REQUEST_PARTNER_NUM, EVICTABLE, VIOLATION_TYPE, PLANNED_ACTION, POLICE_ACTION, "
         "EVICTION_DATE, EVICTION_EXPLANATION, MGR_CONTACT_DATE, MGR_CONTACT_BY, "
         "NOTICE_LETTER_DATE, ACTION_PLAN_RECEIVED, LEASE_BEGIN_DATE, LEASE_END_DATE, "
         "ACTION_PLAN_SENT) VALUES (" +
         std::to_string(id) + ", " + std::to_string(property_id) +
         ", '2013-05-06', '4B', 'C-100', 'RP-1', 1, 1, 1, 1, '2013-06-01', '" +
         std::string(eviction_explanation) +
         "', '2013-05-08', 'J. Manager', '2013-05-10', '2013-05-20', '2012-01-01', "
         "'2013-12-31', '2013-05-15');";
}

}  // namespace qv::pagetest
