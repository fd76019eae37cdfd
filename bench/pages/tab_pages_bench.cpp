// The People page of a property with many entities and the violation detail
// page, each against its cost floor: the same statements run straight through
// the database layer, with no page text. The database is the one named by
// QV_BENCH_DB, or else a small one built here (one property with 50 entities).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "page_bench.h"
#include "page_floors.h"
#include "test_database.h"
#include "violation_rows.h"

namespace qv {
namespace {

constexpr int kEntities = 50;

// Agency, property 1 with kEntities entities of two phones each, and violation
// 1 of property 1 with three violators.
std::string SmallBenchData() {
  std::string s =
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Quorvale Bench Agency');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (1, 'Harbor View Towers');"
      "INSERT INTO E_TYPE (E_TYPE_ID, DESCRIPTION) VALUES (1, 'Resident');" +
      std::string(pagetest::kViolationLookupRows) + pagetest::FullViolationRow(1, 1, "Moved out");
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
  std::unique_ptr<TestDatabase> own_database;  // when QV_BENCH_DB is not set
  std::unique_ptr<DatabaseSession> session;
  int32_t property_id = 1;   // the property with the most entities
  int32_t violation_id = 1;  // the violation with the most violators
  int entities = 0;
};

int32_t FirstInteger(DatabaseSession& session, const std::string& sql) {
  return session.QueryRows(sql).Integer(0);
}

BenchSetup& Setup() {
  static BenchSetup setup = [] {
    BenchSetup s;
    s.session = std::make_unique<DatabaseSession>();
    const char* path = std::getenv("QV_BENCH_DB");
    if (path != nullptr && *path != '\0') {
      AttachBenchDatabase(*s.session, path);
    } else {
      s.own_database = std::make_unique<TestDatabase>();
      s.own_database->ExecScript(SmallBenchData());
      s.own_database->Configure(s.session->Connection());
      s.session->Attach();
    }
    DatabaseSession& q = *s.session;
    s.property_id = FirstInteger(
        q, "SELECT FIRST 1 PROPERTY_ID FROM ENTITY GROUP BY PROPERTY_ID ORDER BY COUNT(*) DESC");
    s.entities = FirstInteger(
        q, "SELECT COUNT(*) FROM ENTITY WHERE PROPERTY_ID = " + std::to_string(s.property_id));
    s.violation_id = FirstInteger(
        q, "SELECT FIRST 1 VIOLATION_ID FROM VIOLATORS GROUP BY VIOLATION_ID ORDER BY COUNT(*) "
           "DESC");
    s.session->Commit();
    return s;
  }();
  return setup;
}

void BM_PeoplePage(benchmark::State& state) {
  BenchSetup& s = Setup();
  SimplePageRequest request = LoggedInRequest("PROPID", s.property_id);
  RunPageLoop(state, *s.session, "PeoplePage", request);
  state.counters["entities"] = s.entities;
}

// The People page's statements: bracket, agency, heading, people, one phone
// query per entity.
void BM_PeopleFloor(benchmark::State& state) {
  BenchSetup& s = Setup();
  for (auto _ : state) PeopleFloor(*s.session, s.property_id);
  state.counters["entities"] = s.entities;
}

void BM_ViolationDetailPage(benchmark::State& state) {
  BenchSetup& s = Setup();
  SimplePageRequest request = LoggedInRequest("VID", s.violation_id);
  RunPageLoop(state, *s.session, "ViolationDetailPage", request);
}

// The detail page's statements: bracket, agency, violation, property name,
// violators.
void BM_ViolationDetailFloor(benchmark::State& state) {
  BenchSetup& s = Setup();
  for (auto _ : state) ViolationDetailFloor(*s.session, s.violation_id);
}

BENCHMARK(BM_PeoplePage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeopleFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViolationDetailPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViolationDetailFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv
