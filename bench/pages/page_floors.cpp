// The statements of each benchmarked page, run straight through the module,
// each prepared once per module with its values as parameters, as the pages do.
#include "page_floors.h"

#include <benchmark/benchmark.h>

#include <string>

namespace qv {
namespace {

constexpr TStatementText kAgencyQuery{"SELECT AGENCY_NAME FROM AGENCY"};

constexpr TStatementText kListQuery{
    "SELECT FIRST 10 SKIP :SKIPPED P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, "
    "A.PROP_ADDRESS2, A.PROP_CITY, A.PROP_STATE,\n"
    "A.PROP_ZIPCODE, P.NUM_UNITS\n"
    "FROM PROPERTY P\n"
    "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n"
    "ORDER BY PROPERTY_NAME"};

constexpr TStatementText kHeadingQuery{
    "SELECT \n"
    "   P.PROPERTY_NAME, \n"
    "   P.PROPERTY_ID \n"
    "FROM PROPERTY P \n"
    "LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) \n"
    "WHERE P.PROPERTY_ID = :PROPID"};

constexpr TStatementText kPeopleQuery{
    "select e.last_or_company_name || ', ' || e.first_name, t.description, p.phone_type || ': ' "
    "|| p.phone_number,\n"
    "e.entity_id\n"
    "from entity_enh e\n"
    "left join gen_phones p on (e.primary_phone_id = p.phone_id)\n"
    "left join e_type t on (t.e_type_id = e.e_type_id)\n"
    "where e.property_id = :PROPID\n"
    "order by e.last_or_company_name, e.first_name"};

constexpr TStatementText kPhonesQuery{
    "select g.phone_type || ' ' || g.phone_number\n"
    "from gen_phones g\n"
    "where g.source_table = 2\n"
    "and g.source_key = :EID"};

constexpr TStatementText kViolationQuery{
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

constexpr TStatementText kPropertyNameQuery{
    "SELECT PROPERTY_NAME FROM PROPERTY WHERE PROPERTY_ID = :PROPID"};

constexpr TStatementText kViolatorsQuery{
    "SELECT V.VIOLATOR_FIRST_NAME, V.VIOLATOR_MIDDLE_NAME, V.VIOLATOR_LAST_NAME,\n"
    "(SELECT RS.DESCRIPTION FROM RESIDENT_STATUS RS WHERE RS.RESIDENT_STATUS_ID = "
    "V.VIOLATOR_STATUS) AS V_VIO_STATUS_DESC,\n"
    "V.VIOLATOR_LIVINGTHERENOW, V.VIOLATOR_ID1, V.VIOLATOR_ID2, V.VIOLATOR_DOB\n"
    "FROM VIOLATORS V\n"
    "WHERE V.VIOLATION_ID = :VID"};

// Reads a value as the page would, kept from being optimised away.
void ReadText(TIB_Column& column) {
  std::string text = column.AsString();
  benchmark::DoNotOptimize(text.data());
}

// Each page but the main menu runs inside one transaction of its own.
void StartBracket(TPageModule& m) {
  if (m.trMain.InTransaction()) m.trMain.Commit();
  m.trMain.StartTransaction();
}

// The banner's agency name, on every page.
void AgencyQuery(TPageModule& m) {
  TIB_Cursor& agency = m.Statement(kAgencyQuery);
  agency.Open();
  ReadText(agency.Fields()[0]);
  agency.Close();
}

}  // namespace

void MainMenuFloor(TPageModule& m) {
  AgencyQuery(m);
  m.trMain.Commit();
}

void PropertyListFloor(TPageModule& m) {
  StartBracket(m);
  AgencyQuery(m);
  m.qArea.Open();
  while (!m.qArea.Eof()) {
    ReadText(m.qArea.Fields()[1]);
    m.qArea.Next();
  }
  m.qArea.Close();

  TIB_Cursor& list = m.Statement(kListQuery);
  list.Params()[0].SetAsInteger(0);
  list.Open();
  while (!list.Eof()) {
    TIB_Row& row = list.Fields();
    for (size_t column : {0, 1, 2, 4}) ReadText(row[column]);
    list.Next();
  }
  list.Close();
  m.trMain.Commit();
}

void PeopleFloor(TPageModule& m, int32_t propertyId) {
  StartBracket(m);
  AgencyQuery(m);

  TIB_Cursor& heading = m.Statement(kHeadingQuery);
  heading.Params()[0].SetAsInteger(propertyId);
  heading.Open();
  ReadText(heading.Fields()[0]);
  benchmark::DoNotOptimize(heading.Fields()[1].AsInteger());
  heading.Close();

  TIB_Cursor& people = m.Statement(kPeopleQuery);
  people.Params()[0].SetAsInteger(propertyId);
  people.Open();
  while (!people.Eof()) {
    ReadText(people.Fields()[0]);
    ReadText(people.Fields()[1]);
    TIB_Cursor& phones = m.Statement(kPhonesQuery);
    phones.Params()[0].SetAsInteger(people.Fields()[3].AsInteger());
    phones.Open();
    while (!phones.Eof()) {
      ReadText(phones.Fields()[0]);
      phones.Next();
    }
    phones.Close();
    people.Next();
  }
  m.trMain.Commit();
}

void ViolationDetailFloor(TPageModule& m, int32_t violationId) {
  StartBracket(m);
  AgencyQuery(m);

  TIB_Cursor& violation = m.Statement(kViolationQuery);
  violation.Params()[0].SetAsInteger(violationId);
  violation.Open();

  TIB_Cursor& name = m.Statement(kPropertyNameQuery);
  name.Params()[0].SetAsInteger(violation.Fields()[8].AsInteger());
  name.Open();
  ReadText(name.Fields()[0]);
  name.Close();

  benchmark::DoNotOptimize(violation.RecordCount());
  while (!violation.Eof()) {
    for (size_t c = 0; c < 19; ++c) ReadText(violation.Fields()[c]);
    violation.Next();
  }
  violation.Close();

  TIB_Cursor& violators = m.Statement(kViolatorsQuery);
  violators.Params()[0].SetAsInteger(violationId);
  violators.Open();
  benchmark::DoNotOptimize(violators.RecordCount());
  while (!violators.Eof()) {
    for (size_t c = 0; c < 8; ++c) ReadText(violators.Fields()[c]);
    violators.Next();
  }
  violators.Close();
  m.trMain.Commit();
}

}  // namespace qv
