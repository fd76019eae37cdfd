// The statements of each benchmarked page, run straight through the module.
#include "page_floors.h"

#include <benchmark/benchmark.h>

#include <string>

namespace qv {
namespace {

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
  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add("SELECT AGENCY_NAME FROM AGENCY");
  m.qSelect.Prepare();
  m.qSelect.Open();
  ReadText(m.qSelect.Fields()[0]);
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

  m.qSelect.Close();
  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add(
      "SELECT FIRST 10 SKIP 0 P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, "
      "A.PROP_CITY, A.PROP_STATE,");
  m.qSelect.SQL().Add("A.PROP_ZIPCODE, P.NUM_UNITS");
  m.qSelect.SQL().Add("FROM PROPERTY P");
  m.qSelect.SQL().Add("JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)");
  m.qSelect.SQL().Add("ORDER BY PROPERTY_NAME");
  m.qSelect.Prepare();
  m.qSelect.Open();
  while (!m.qSelect.Eof()) {
    TIB_Row& row = m.qSelect.Fields();
    for (size_t column : {0, 1, 2, 4}) ReadText(row[column]);
    m.qSelect.Next();
  }
  m.qSelect.Close();
  m.trMain.Commit();
}

void PeopleFloor(TPageModule& m, int32_t propertyId) {
  const std::string id = std::to_string(propertyId);
  StartBracket(m);
  AgencyQuery(m);

  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add("SELECT ");
  m.qSelect.SQL().Add("   P.PROPERTY_NAME, ");
  m.qSelect.SQL().Add("   P.PROPERTY_ID ");
  m.qSelect.SQL().Add("FROM PROPERTY P ");
  m.qSelect.SQL().Add(
      "LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) ");
  m.qSelect.SQL().Add("WHERE P.PROPERTY_ID = " + id);
  m.qSelect.Prepare();
  m.qSelect.Open();
  ReadText(m.qSelect.Fields()[0]);
  benchmark::DoNotOptimize(m.qSelect.Fields()[1].AsInteger());
  m.qSelect.Close();

  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add(
      "select e.last_or_company_name || ', ' || e.first_name, t.description, p.phone_type || "
      "': ' || p.phone_number,");
  m.qSelect.SQL().Add("e.entity_id");
  m.qSelect.SQL().Add("from entity_enh e");
  m.qSelect.SQL().Add("left join gen_phones p on (e.primary_phone_id = p.phone_id)");
  m.qSelect.SQL().Add("left join e_type t on (t.e_type_id = e.e_type_id)");
  m.qSelect.SQL().Add("where e.property_id = " + id);
  m.qSelect.SQL().Add("order by e.last_or_company_name, e.first_name");
  m.qSelect.Open();
  while (!m.qSelect.Eof()) {
    ReadText(m.qSelect.Fields()[0]);
    ReadText(m.qSelect.Fields()[1]);
    m.qSelect2.Close();
    m.qSelect2.SQL().Clear();
    m.qSelect2.SQL().Add("select g.phone_type || ' ' || g.phone_number");
    m.qSelect2.SQL().Add("from gen_phones g");
    m.qSelect2.SQL().Add("where g.source_table = 2");
    m.qSelect2.SQL().Add("and g.source_key = " + m.qSelect.Fields()[3].AsString());
    m.qSelect2.Open();
    while (!m.qSelect2.Eof()) {
      ReadText(m.qSelect2.Fields()[0]);
      m.qSelect2.Next();
    }
    m.qSelect.Next();
  }
  m.trMain.Commit();
}

void ViolationDetailFloor(TPageModule& m, int32_t violationId) {
  const std::string id = std::to_string(violationId);
  StartBracket(m);
  AgencyQuery(m);

  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add(
      "SELECT V.VIOLATION_ID, V.VIOLATION_DATE, V.APT_NUM, V.CASE_NUM, V.REQUEST_PARTNER_NUM, "
      "V.EVICTABLE,");
  m.qSelect.SQL().Add(
      "(SELECT VT.DESCRIPTION FROM VIOLATION_TYPES VT WHERE VT.VIOLATION_TYPE_ID = "
      "V.VIOLATION_TYPE) AS V_TYPE_DESC,");
  m.qSelect.SQL().Add(
      "(SELECT VA.VIOLATION_ACTION_DESC FROM VIOLATION_ACTIONS VA WHERE "
      "VA.VIOLATION_ACTION_ID = V.PLANNED_ACTION) AS ACTION_DESC,");
  m.qSelect.SQL().Add("V.PROPERTY_ID,");
  m.qSelect.SQL().Add(
      "(SELECT PA.VIOLATION_ACTION_DESC FROM VIOLATION_POLICE_ACTIONS PA WHERE "
      "PA.VIOLATION_ACTION_ID = V.POLICE_ACTION) AS POLICE_ACTION,");
  m.qSelect.SQL().Add(
      "V.EVICTION_DATE, V.EVICTION_EXPLANATION, V.MGR_CONTACT_DATE, V.MGR_CONTACT_BY, "
      "V.NOTICE_LETTER_DATE, V.ACTION_PLAN_RECEIVED,");
  m.qSelect.SQL().Add("V.LEASE_BEGIN_DATE, V.LEASE_END_DATE, V.ACTION_PLAN_SENT");
  m.qSelect.SQL().Add("FROM VIOLATIONS V");
  m.qSelect.SQL().Add("WHERE V.VIOLATION_ID = " + id);
  m.qSelect.Prepare();
  m.qSelect.Open();

  m.qSelect2.Close();
  m.qSelect2.SQL().Clear();
  m.qSelect2.SQL().Add("SELECT PROPERTY_NAME FROM PROPERTY WHERE PROPERTY_ID = " +
                       m.qSelect.Fields()[8].AsString());
  m.qSelect2.Open();
  ReadText(m.qSelect2.Fields()[0]);
  m.qSelect2.Close();

  benchmark::DoNotOptimize(m.qSelect.RecordCount());
  while (!m.qSelect.Eof()) {
    for (size_t c = 0; c < 19; ++c) ReadText(m.qSelect.Fields()[c]);
    m.qSelect.Next();
  }
  m.qSelect.Close();

  m.qSelect2.SQL().Clear();
  m.qSelect2.SQL().Add(
      "SELECT V.VIOLATOR_FIRST_NAME, V.VIOLATOR_MIDDLE_NAME, V.VIOLATOR_LAST_NAME,");
  m.qSelect2.SQL().Add(
      "(SELECT RS.DESCRIPTION FROM RESIDENT_STATUS RS WHERE RS.RESIDENT_STATUS_ID = "
      "V.VIOLATOR_STATUS) AS V_VIO_STATUS_DESC,");
  m.qSelect2.SQL().Add("V.VIOLATOR_LIVINGTHERENOW, V.VIOLATOR_ID1, V.VIOLATOR_ID2, V.VIOLATOR_DOB");
  m.qSelect2.SQL().Add("FROM VIOLATORS V");
  m.qSelect2.SQL().Add("WHERE V.VIOLATION_ID = " + id);
  m.qSelect2.Open();
  benchmark::DoNotOptimize(m.qSelect2.RecordCount());
  while (!m.qSelect2.Eof()) {
    for (size_t c = 0; c < 8; ++c) ReadText(m.qSelect2.Fields()[c]);
    m.qSelect2.Next();
  }
  m.qSelect2.Close();
  m.trMain.Commit();
}

}  // namespace qv
