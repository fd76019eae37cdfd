// The fixed statement texts of the pages that the page benchmarks run as well,
// kept here once so that both run the same statements, each with its columns
// named beside it in select-list order.
#pragma once

#include "db/query.h"

namespace qv {

// The banner's agency name, on every page.
enum class AgencyColumn { kAgencyName, kCount };
inline constexpr QueryText<AgencyColumn> kAgencyQuery{"SELECT AGENCY_NAME FROM AGENCY"};

// The areas of the property list's selection box.
enum class AreaColumn { kAreaId, kAreaName, kCount };
inline constexpr QueryText<AreaColumn> kAreaQuery{"SELECT AREA_ID, AREA_NAME\nFROM AREA\nORDER BY AREA_NAME"};

// The property list's search modes, in the order that indexes kListQueries.
enum class ListSearchMode { kNone, kAddress, kName };

// The list's statement for each search mode, without and with the area
// filter; the parameters are the rows skipped, the search value (when the
// mode searches) and the area name (when filtered).
// A name search compares with STARTING WITH, an address search with
// CONTAINING: neither gives % or _ a meaning, and a name search keeps the index
// on the upper-cased name.
#define QV_LIST_HEAD                                                                   \
  "SELECT FIRST 10 SKIP :SKIPPED P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, "    \
  "A.PROP_ADDRESS2, A.PROP_CITY, A.PROP_STATE,\n"                                      \
  "A.PROP_ZIPCODE, P.NUM_UNITS\n"                                                      \
  "FROM PROPERTY P\n"                                                                  \
  "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n"
#define QV_LIST_AREA_JOIN "JOIN AREA AR ON (AR.AREA_ID = P.AREA_ID)\n"
#define QV_LIST_ADDRESS "WHERE A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE\n"
#define QV_LIST_NAME "WHERE UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE\n"
#define QV_LIST_ORDER "ORDER BY PROPERTY_NAME"
enum class ListColumn {
  kPropertyId, kPropertyName, kAddress1, kAddress2, kCity, kState, kZipcode, kUnits, kCount
};
inline constexpr QueryText<ListColumn> kListQueries[3][2] = {
    {{QV_LIST_HEAD QV_LIST_ORDER},
     {QV_LIST_HEAD QV_LIST_AREA_JOIN "WHERE AR.AREA_NAME = :AREANAME\n" QV_LIST_ORDER}},
    {{QV_LIST_HEAD QV_LIST_ADDRESS QV_LIST_ORDER},
     {QV_LIST_HEAD QV_LIST_AREA_JOIN QV_LIST_ADDRESS "AND AR.AREA_NAME = :AREANAME\n"
      QV_LIST_ORDER}},
    {{QV_LIST_HEAD QV_LIST_NAME QV_LIST_ORDER},
     {QV_LIST_HEAD QV_LIST_AREA_JOIN QV_LIST_NAME "AND AR.AREA_NAME = :AREANAME\n" QV_LIST_ORDER}},
};
#undef QV_LIST_HEAD
#undef QV_LIST_AREA_JOIN
#undef QV_LIST_ADDRESS
#undef QV_LIST_NAME
#undef QV_LIST_ORDER

// The heading of the property tab pages: the property's name and id.
enum class HeadingColumn { kPropertyName, kPropertyId, kCount };
inline constexpr QueryText<HeadingColumn> kHeadingQuery{
    "SELECT \n"
    "   P.PROPERTY_NAME, \n"
    "   P.PROPERTY_ID \n"
    "FROM PROPERTY P \n"
    "LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) \n"
    "WHERE P.PROPERTY_ID = :PROPID"};

// The People tab's rows: name, type, primary phone and entity id.
enum class PeopleColumn { kName, kType, kPrimaryPhone, kEntityId, kCount };
inline constexpr QueryText<PeopleColumn> kPeopleQuery{
    "select e.last_or_company_name || ', ' || e.first_name, t.description, p.phone_type || "
    "': ' || p.phone_number,\n"
    "e.entity_id\n"
    "from entity_enh e\n"
    "left join gen_phones p on (e.primary_phone_id = p.phone_id)\n"
    "left join e_type t on (t.e_type_id = e.e_type_id)\n"
    "where e.property_id = :PROPID\n"
    "order by e.last_or_company_name, e.first_name"};

// The phones of every entity of a property on the People tab, grouped by
// entity; within an entity in the order of the table's records (ascending
// record number), the order in which a lookup of one entity's phones returns
// them. RDB$DB_KEY holds the record number in bytes 5 to 8, least
// significant byte first, and its fifth byte in byte 3; the key below puts the
// bytes most significant first, so that it sorts as the number. The outer
// join makes the server look the phones up entity by entity (an inner join
// may start from every entity phone of the database instead); an entity
// without phones gives one row whose phone columns are NULL, which sorts
// first. (Sorting on the entity's id instead costs half as much again.)
enum class PeoplePhoneColumn { kEntityId, kPhone, kCount };
inline constexpr QueryText<PeoplePhoneColumn> kPeoplePhonesQuery{
    "select g.source_key, g.phone_type || ' ' || g.phone_number\n"
    "from entity e\n"
    "left join gen_phones g on (g.source_table = 2 and g.source_key = e.entity_id)\n"
    "where e.property_id = :PROPID\n"
    "order by g.source_key,\n"
    "substring(g.rdb$db_key from 3 for 1) || reverse(substring(g.rdb$db_key from 5 for 4))"};

// One violation with everything its detail page shows.
enum class ViolationColumn {
  kViolationId, kViolationDate, kAptNum, kCaseNum, kRequestPartnerNum, kEvictable,
  kTypeDescription, kActionDescription, kPropertyId, kPoliceAction, kEvictionDate,
  kEvictionExplanation, kManagerContactDate, kManagerContactBy, kNoticeLetterDate,
  kActionPlanReceived, kLeaseBeginDate, kLeaseEndDate, kActionPlanSent, kCount
};
inline constexpr QueryText<ViolationColumn> kViolationQuery{
    "SELECT V.VIOLATION_ID, V.VIOLATION_DATE, V.APT_NUM, V.CASE_NUM, V.REQUEST_PARTNER_NUM, "
    "V.EVICTABLE,\n"
    "(SELECT VT.DESCRIPTION FROM VIOLATION_TYPES VT WHERE VT.VIOLATION_TYPE_ID = "
    "V.VIOLATION_TYPE) AS V_TYPE_DESC,\n"
    "(SELECT VA.VIOLATION_ACTION_DESC FROM VIOLATION_ACTIONS VA WHERE VA.VIOLATION_ACTION_ID = "
    "V.PLANNED_ACTION) AS ACTION_DESC,\n"
    "V.PROPERTY_ID,\n"
    "(SELECT PA.VIOLATION_ACTION_DESC FROM VIOLATION_POLICE_ACTIONS PA WHERE "
    "PA.VIOLATION_ACTION_ID = V.POLICE_ACTION) AS POLICE_ACTION,\n"
    "V.EVICTION_DATE, V.EVICTION_EXPLANATION, V.MGR_CONTACT_DATE, V.MGR_CONTACT_BY, "
    "V.NOTICE_LETTER_DATE, V.ACTION_PLAN_RECEIVED,\n"
    "V.LEASE_BEGIN_DATE, V.LEASE_END_DATE, V.ACTION_PLAN_SENT\n"
    "FROM VIOLATIONS V\n"
    "WHERE V.VIOLATION_ID = :VID"};

// A property's name, above the tabs of the violation pages.
enum class PropertyNameColumn { kPropertyName, kCount };
inline constexpr QueryText<PropertyNameColumn> kPropertyNameQuery{
    "SELECT PROPERTY_NAME FROM PROPERTY WHERE PROPERTY_ID = :PROPID"};

// The violators named in one violation.
enum class ViolatorColumn {
  kFirstName, kMiddleName, kLastName, kStatus, kLivingThereNow, kId1, kId2, kBirthDate, kCount
};
inline constexpr QueryText<ViolatorColumn> kViolatorsQuery{
    "SELECT V.VIOLATOR_FIRST_NAME, V.VIOLATOR_MIDDLE_NAME, V.VIOLATOR_LAST_NAME,\n"
    "(SELECT RS.DESCRIPTION FROM RESIDENT_STATUS RS WHERE RS.RESIDENT_STATUS_ID = "
    "V.VIOLATOR_STATUS) AS V_VIO_STATUS_DESC,\n"
    "V.VIOLATOR_LIVINGTHERENOW, V.VIOLATOR_ID1, V.VIOLATOR_ID2, V.VIOLATOR_DOB\n"
    "FROM VIOLATORS V\n"
    "WHERE V.VIOLATION_ID = :VID"};

}  // namespace qv
