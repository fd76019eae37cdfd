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

// The list's own statement for each search mode, without and with the area
// filter: :ROWS rows (ten a page) after skipping :SKIPPED, then the search
// value (when the mode searches) and the area name (when filtered). A name
// search compares with STARTING WITH, an address search with CONTAINING:
// neither gives % or _ a meaning, and a name search keeps the index on the
// upper-cased name.
//
// Their order is the list's order. Where the server walks the name index for
// them (its plan), equal names come in record order, which the keyset
// statements below keep. Where it sorts their rows (always with the area
// filter, whose plan starts from the area; the address search on many
// databases), equal names come in the order the sort leaves them: that order
// depends on every row sorted (a sort too large for memory merges runs of
// its input), so no statement that reads fewer rows gives it. The page runs
// these statements then, for one page or for all the rows at once.
#define QV_LIST_HEAD                                                                   \
  "SELECT FIRST :ROWS SKIP :SKIPPED P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, " \
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

// The rows of kListQueries[mode][area_filter] among up to ten properties
// (:ID1 to :ID10, NULL for none), in no order; then the search value and the
// area name as there. A page of a sorted search shows them in the order its
// statement gave earlier.
QueryText<ListColumn> ListRowsQuery(ListSearchMode mode, bool area_filter);
inline constexpr int kListRowsIds = 10;

// Where a keyset statement starts its rows.
enum class ListStart {
  // At an offset: FIRST :ROWS SKIP :SKIPPED, the parameters before the others.
  kOffset,
  // After a row with a name (:NAME twice, then :RECORD, after the others).
  kAfterName,
  // After a row without a name (:RECORD after the others).
  kAfterNullName,
};

// The list without the area filter in the order of the name index, for a
// search mode, starting as asked: the rows of kListQueries[mode][0] where
// the server walks the name index for it. The other parameters come in the
// order :SEARCHVALUE (address or upper-cased name) and :LOWEST (name search:
// a name every match is at or after), each only where it applies.
// Columns: those of ListColumn, then the row's place in the order: the name
// followed by a full stop (the stored bytes, trailing blanks kept; kNameKey)
// and the record number (kRecordNumber).
//
// The order is the name (NULL first), then the property's record number: the
// order of the name index, which the server reads without sorting when it
// walks the index. The address search reads every address once, keeps the
// matching ones and sorts them into that same order: a substring test cannot
// use an index, and walking the name index would read every property to find
// a rare fragment's few.
enum class KeysetColumn {
  kPropertyId, kPropertyName, kAddress1, kAddress2, kCity, kState, kZipcode, kUnits,
  kNameKey, kRecordNumber, kCount
};
QueryText<KeysetColumn> KeysetListQuery(ListSearchMode mode, ListStart start);

// The address search's first ten rows within a window of the list: the first
// :WINDOW properties in the list's order, from the first one (kOffset, no
// offset parameters) or after a row (kAfterName, kAfterNullName), those of
// them whose address matches. Ten rows are the ten the whole search gives
// from there; fewer say nothing, and the search's own statement runs. For a
// common fragment this reads a few dozen rows instead of every address.
// Columns as KeysetListQuery's; parameters :WINDOW, the row's (:NAME twice
// and :RECORD, or :RECORD), :SEARCHVALUE.
QueryText<KeysetColumn> AddressWindowQuery(ListStart start);

// The collation of the property name (0: the character set's own, byte
// order), on which the name search's :LOWEST depends.
enum class CollationColumn { kCollationId, kCount };
inline constexpr QueryText<CollationColumn> kNameCollationQuery{
    "SELECT COALESCE(RF.RDB$COLLATION_ID, F.RDB$COLLATION_ID, 0)\n"
    "FROM RDB$RELATION_FIELDS RF\n"
    "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE\n"
    "WHERE RF.RDB$RELATION_NAME = 'PROPERTY' AND RF.RDB$FIELD_NAME = 'PROPERTY_NAME'"};

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

// A sort key that puts the rows of the table under `alias` in the order of its
// records (ascending record number): the order in which the server returns
// rows it finds through an index lookup (it gathers their record numbers
// first), and the order of rows with equal keys within an index. RDB$DB_KEY
// holds the record number in bytes 5 to 8, least significant byte first, and
// its fifth byte in byte 3; the key puts the bytes most significant first, so
// that it sorts as the number.
#define QV_RECORD_ORDER(alias)                                  \
  "substring(" alias ".rdb$db_key from 3 for 1) || reverse(substring(" alias \
  ".rdb$db_key from 5 for 4))"

// The phones of every entity of a property on the People tab, grouped by
// entity; within an entity in the order of the table's records, the order in
// which a lookup of one entity's phones returns them. The outer
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
    "order by g.source_key,\n" QV_RECORD_ORDER("g")};

// The access entries of the property's addresses: address by address in the
// order of the address table's records, and each address's entries in the
// order of the phone table's records, which is the order in which the server
// returns them when it looks them up address by address. The outer join makes
// it start from the property's addresses (an inner join may start from every
// access entry of the database instead); an address without entries gives a
// row of NULLs, which the last condition drops (SOURCE_KEY is never NULL in a
// stored row).
enum class AccessColumn { kType, kInfo, kEnteredDate, kCount };
inline constexpr QueryText<AccessColumn> kAccessQuery{
    "select g.phone_type, g.phone_number, g.entered_date\n"
    "from prop_address a\n"
    "left join gen_phones g on (g.source_table = 3 and g.source_key = a.prop_address_id)\n"
    "where a.property_id = :PROPID\n"
    "and g.source_key is not null\n"
    "order by " QV_RECORD_ORDER("a") ",\n" QV_RECORD_ORDER("g")};

// The property's notes, newest first. Only a note of an existing property is
// shown: the join keeps that, and binding the note's own key lets the server
// start from the property and look its notes up by source table and key (a
// condition on the property of an outer join would make it read every
// property note of the database). The rows and the columns that reach the
// sort are those of the outer join, so notes entered at the same moment come
// in the same order.
enum class NoteColumn {
  kNotesId, kSourceTable, kSourceKey, kEnteredDate, kNote, kEnteredBy, kFollowUpDate, kItemDone,
  kNoteTitle, kCount
};
inline constexpr QueryText<NoteColumn> kNotesQuery{
    "SELECT \n"
    "   N.NOTES_ID, \n"
    "   N.SOURCE_TABLE, \n"
    "   N.SOURCE_KEY, \n"
    "   N.ENTERED_DATE, \n"
    "   N.NOTE, \n"
    "   N.ENTERED_BY, \n"
    "   N.NOTES_FOLLOW_UP_DATE, \n"
    "   N.NOTES_ITEM_DONE, \n"
    "   N.NOTE_TITLE \n"
    "FROM GEN_NOTES N \n"
    "JOIN PROPERTY P ON (N.SOURCE_KEY = P.PROPERTY_ID) \n"
    "WHERE N.SOURCE_TABLE = 1\n"
    "  AND N.SOURCE_KEY = :PROPID\n"
    "  ORDER BY ENTERED_DATE DESC"};

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
