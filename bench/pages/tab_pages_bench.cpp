// The People page of a property with many entities and the violation detail
// page, each against its cost floor: the same statements run straight through
// the database layer, with no page text. The database is the one named by
// QV_BENCH_DB, or else a small one built here (one property with 50 entities).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "pages/page_module.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "test_database.h"

namespace qv {
namespace {

constexpr int kEntities = 50;

// Agency, property 1 with kEntities entities of two phones each, and violation
// 1 of property 1 with three violators.
std::string SmallBenchData() {
  std::string s =
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Quorvale Bench Agency');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (1, 'Harbor View Towers');"
      "INSERT INTO E_TYPE (E_TYPE_ID, DESCRIPTION) VALUES (1, 'Resident');"
      "INSERT INTO VIOLATION_TYPES (VIOLATION_TYPE_ID, DESCRIPTION) VALUES (1, 'Noise');"
      "INSERT INTO VIOLATION_ACTIONS (VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC) "
      "VALUES (1, 'Warning letter');"
      "INSERT INTO VIOLATION_POLICE_ACTIONS (VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC) "
      "VALUES (1, 'Report filed');"
      "INSERT INTO RESIDENT_STATUS (RESIDENT_STATUS_ID, DESCRIPTION) VALUES (1, 'Tenant');"
      "INSERT INTO VIOLATIONS (VIOLATION_ID, PROPERTY_ID, VIOLATION_DATE, APT_NUM, CASE_NUM, "
      "REQUEST_PARTNER_NUM, EVICTABLE, VIOLATION_TYPE, PLANNED_ACTION, POLICE_ACTION, "
      "EVICTION_DATE, EVICTION_EXPLANATION, MGR_CONTACT_DATE, MGR_CONTACT_BY, "
      "NOTICE_LETTER_DATE, ACTION_PLAN_RECEIVED, LEASE_BEGIN_DATE, LEASE_END_DATE, "
      "ACTION_PLAN_SENT) VALUES (1, 1, '2013-05-06', '4B', 'C-100', 'RP-1', 1, 1, 1, 1, "
      "'2013-06-01', 'Moved out', '2013-05-08', 'J. Manager', '2013-05-10', '2013-05-20', "
      "'2012-01-01', '2013-12-31', '2013-05-15');";
  for (int v = 1; v <= 3; ++v) {
    s += "INSERT INTO VIOLATORS (VIOLATOR_ID, VIOLATION_ID, VIOLATOR_FIRST_NAME, "
         "VIOLATOR_MIDDLE_NAME, VIOLATOR_LAST_NAME, VIOLATOR_STATUS, VIOLATOR_LIVINGTHERENOW, "
         "VIOLATOR_ID1, VIOLATOR_ID2, VIOLATOR_DOB) VALUES (" +
         std::to_string(v) + ", 1, 'First', 'M', 'Last" + std::to_string(v) +
         "', 1, 1, 'DL', 'SS', '1980-02-03');";
  }
  for (int e = 1; e <= kEntities; ++e) {
    const std::string id = std::to_string(e);
    s += "INSERT INTO ENTITY (ENTITY_ID, PROPERTY_ID, E_TYPE_ID, FIRST_NAME, "
         "LAST_OR_COMPANY_NAME, PRIMARY_PHONE_ID) VALUES (" + id + ", 1, 1, 'Pat', 'Resident " +
         id + "', " + std::to_string(2 * e) + ");";
    s += "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
         "VALUES (" + std::to_string(2 * e) + ", 2, " + id + ", 'Home', '555-01" + id + "');";
    s += "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
         "VALUES (" + std::to_string(2 * e + 1) + ", 2, " + id + ", 'Work', '555-02" + id + "');";
  }
  return s;
}

struct BenchSetup {
  std::unique_ptr<TestDatabase> ownDatabase;  // when QV_BENCH_DB is not set
  std::unique_ptr<TPageModule> module;
  int32_t propertyId = 1;   // the property with the most entities
  int32_t violationId = 1;  // the violation with the most violators
  int entities = 0;
};

int32_t FirstInteger(TIB_Cursor& cursor, const std::string& sql) {
  cursor.SQL().Clear();
  cursor.SQL().Add(sql);
  cursor.Open();
  const int32_t value = cursor.Fields()[0].AsInteger();
  cursor.Close();
  return value;
}

BenchSetup& Setup() {
  static BenchSetup setup = [] {
    BenchSetup s;
    s.module = std::make_unique<TPageModule>();
    const char* path = std::getenv("QV_BENCH_DB");
    if (path != nullptr && *path != '\0') {
      s.module->dbMain.SetDatabaseName(path);
      s.module->dbMain.SetUsername(std::getenv("QV_BENCH_USER") ? std::getenv("QV_BENCH_USER")
                                                                : "SYSDBA");
    } else {
      s.ownDatabase = std::make_unique<TestDatabase>();
      s.ownDatabase->ExecScript(SmallBenchData());
      s.ownDatabase->Configure(s.module->dbMain);
    }
    s.module->dbMain.Connect();
    TIB_Cursor& q = s.module->qSelect;
    s.propertyId = FirstInteger(
        q, "SELECT FIRST 1 PROPERTY_ID FROM ENTITY GROUP BY PROPERTY_ID ORDER BY COUNT(*) DESC");
    s.entities = FirstInteger(
        q, "SELECT COUNT(*) FROM ENTITY WHERE PROPERTY_ID = " + std::to_string(s.propertyId));
    s.violationId = FirstInteger(
        q, "SELECT FIRST 1 VIOLATION_ID FROM VIOLATORS GROUP BY VIOLATION_ID ORDER BY COUNT(*) "
           "DESC");
    s.module->trMain.Commit();
    return s;
  }();
  return setup;
}

TSimplePageRequest LoggedInRequest(const char* name, int32_t value) {
  TSimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  request.Add(name, std::to_string(value));
  return request;
}

void ReadText(TIB_Column& column) {
  std::string text = column.AsString();
  benchmark::DoNotOptimize(text.data());
}

void BM_PeoplePage(benchmark::State& state) {
  BenchSetup& s = Setup();
  TSimplePageRequest request = LoggedInRequest("PROPID", s.propertyId);
  size_t bytes = 0;
  for (auto _ : state) {
    TStringStream out;
    s.module->PeoplePage(out, request);
    bytes = out.Size();
    benchmark::DoNotOptimize(out.DataString().data());
  }
  state.counters["entities"] = s.entities;
  state.counters["page_bytes"] = static_cast<double>(bytes);
}

// The People page's statements: bracket, agency, heading, people, one phone
// query per entity.
void BM_PeopleFloor(benchmark::State& state) {
  BenchSetup& s = Setup();
  TPageModule& m = *s.module;
  const std::string id = std::to_string(s.propertyId);
  for (auto _ : state) {
    if (m.trMain.InTransaction()) m.trMain.Commit();
    m.trMain.StartTransaction();
    m.qSelect.SQL().Clear();
    m.qSelect.SQL().Add("SELECT AGENCY_NAME FROM AGENCY");
    m.qSelect.Prepare();
    m.qSelect.Open();
    ReadText(m.qSelect.Fields()[0]);

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
  state.counters["entities"] = s.entities;
}

void BM_ViolationDetailPage(benchmark::State& state) {
  BenchSetup& s = Setup();
  TSimplePageRequest request = LoggedInRequest("VID", s.violationId);
  size_t bytes = 0;
  for (auto _ : state) {
    TStringStream out;
    s.module->ViolationDetailPage(out, request);
    bytes = out.Size();
    benchmark::DoNotOptimize(out.DataString().data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}

// The detail page's statements: bracket, agency, violation, property name, the
// violation's count, violators and their count.
void BM_ViolationDetailFloor(benchmark::State& state) {
  BenchSetup& s = Setup();
  TPageModule& m = *s.module;
  const std::string id = std::to_string(s.violationId);
  for (auto _ : state) {
    if (m.trMain.InTransaction()) m.trMain.Commit();
    m.trMain.StartTransaction();
    m.qSelect.SQL().Clear();
    m.qSelect.SQL().Add("SELECT AGENCY_NAME FROM AGENCY");
    m.qSelect.Prepare();
    m.qSelect.Open();
    ReadText(m.qSelect.Fields()[0]);

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
    m.qSelect2.SQL().Add(
        "V.VIOLATOR_LIVINGTHERENOW, V.VIOLATOR_ID1, V.VIOLATOR_ID2, V.VIOLATOR_DOB");
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
}

BENCHMARK(BM_PeoplePage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeopleFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViolationDetailPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViolationDetailFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv
