// Rates on five connections at once, as many as the server's pool holds: each
// page's statements alone (its cost floor) and the whole page built in memory,
// in pages per second. run_wrk_pages.sh holds the pages served over HTTP to the
// floor rates. The database is the one named by QV_BENCH_DB; the People page's
// property and the detail page's violation come from QV_BENCH_PROPID and
// QV_BENCH_VID, or else are looked up (most entities, most violators).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "pages/page_module.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"

namespace qv {
namespace {

constexpr int kPoolSize = 5;

struct RateSetup {
  std::string database;
  std::string user;
  int32_t propertyId = 0;
  int32_t violationId = 0;
  // One module per benchmark thread, attached on first use and kept for every
  // later benchmark, as a pool keeps its modules.
  std::array<std::unique_ptr<TPageModule>, kPoolSize> modules;
};

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

int32_t FirstInteger(TPageModule& m, const std::string& sql) {
  m.qSelect.Close();
  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add(sql);
  m.qSelect.Open();
  const int32_t value = m.qSelect.Fields()[0].AsInteger();
  m.qSelect.Close();
  return value;
}

// Null when QV_BENCH_DB is not set.
RateSetup* Setup() {
  static std::unique_ptr<RateSetup> setup = []() -> std::unique_ptr<RateSetup> {
    const char* path = Env("QV_BENCH_DB");
    if (path == nullptr) return nullptr;
    auto s = std::make_unique<RateSetup>();
    s->database = path;
    s->user = Env("QV_BENCH_USER") ? Env("QV_BENCH_USER") : "SYSDBA";
    auto m = std::make_unique<TPageModule>();
    m->dbMain.SetDatabaseName(s->database);
    m->dbMain.SetUsername(s->user);
    m->dbMain.Connect();
    s->propertyId =
        Env("QV_BENCH_PROPID")
            ? std::atoi(Env("QV_BENCH_PROPID"))
            : FirstInteger(*m, "SELECT FIRST 1 PROPERTY_ID FROM ENTITY GROUP BY PROPERTY_ID "
                               "ORDER BY COUNT(*) DESC, PROPERTY_ID");
    s->violationId =
        Env("QV_BENCH_VID")
            ? std::atoi(Env("QV_BENCH_VID"))
            : FirstInteger(*m, "SELECT FIRST 1 VIOLATION_ID FROM VIOLATORS GROUP BY "
                               "VIOLATION_ID ORDER BY COUNT(*) DESC, VIOLATION_ID");
    if (m->trMain.InTransaction()) m->trMain.Commit();
    s->modules[0] = std::move(m);
    return s;
  }();
  return setup.get();
}

// The module of this benchmark thread; each thread touches only its own slot.
TPageModule* ThreadModule(benchmark::State& state) {
  RateSetup* s = Setup();
  if (s == nullptr) {
    state.SkipWithError("QV_BENCH_DB is not set: make a demo database with "
                        "qvdemo --db PATH --properties 100000 and point QV_BENCH_DB at it");
    return nullptr;
  }
  std::unique_ptr<TPageModule>& slot = s->modules[static_cast<size_t>(state.thread_index())];
  if (!slot) {
    slot = std::make_unique<TPageModule>();
    slot->dbMain.SetDatabaseName(s->database);
    slot->dbMain.SetUsername(s->user);
    slot->dbMain.Connect();
  }
  return slot.get();
}

void ReadText(TIB_Column& column) {
  std::string text = column.AsString();
  benchmark::DoNotOptimize(text.data());
}

void StartBracket(TPageModule& m) {
  if (m.trMain.InTransaction()) m.trMain.Commit();
  m.trMain.StartTransaction();
}

void AgencyQuery(TPageModule& m) {
  m.qSelect.SQL().Clear();
  m.qSelect.SQL().Add("SELECT AGENCY_NAME FROM AGENCY");
  m.qSelect.Prepare();
  m.qSelect.Open();
  ReadText(m.qSelect.Fields()[0]);
}

// The main menu's only statement, outside any bracket, like the page.
void MainMenuStatements(TPageModule& m) { AgencyQuery(m); }

// Bracket, agency, areas, the first ten rows.
void PropertyListStatements(TPageModule& m) {
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

// Bracket, agency, heading, people, one phone query per entity.
void PeopleStatements(TPageModule& m, int32_t propertyId) {
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

// Bracket, agency, violation, property name, the violation's count, violators
// and their count.
void ViolationDetailStatements(TPageModule& m, int32_t violationId) {
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

enum class Page { kMainMenu, kPropertyList, kPeople, kViolationDetail };

void RunStatements(Page page, TPageModule& m, const RateSetup& s) {
  switch (page) {
    case Page::kMainMenu: MainMenuStatements(m); break;
    case Page::kPropertyList: PropertyListStatements(m); break;
    case Page::kPeople: PeopleStatements(m, s.propertyId); break;
    case Page::kViolationDetail: ViolationDetailStatements(m, s.violationId); break;
  }
}

TSimplePageRequest PageRequest(Page page, const RateSetup& s) {
  TSimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  switch (page) {
    case Page::kMainMenu: request.document = "/"; break;
    case Page::kPropertyList: request.document = "/list"; break;
    case Page::kPeople:
      request.document = "/people";
      request.Add("PROPID", std::to_string(s.propertyId));
      break;
    case Page::kViolationDetail:
      request.document = "/vdetail";
      request.Add("VID", std::to_string(s.violationId));
      break;
  }
  return request;
}

void RunPage(Page page, TPageModule& m, TPageRequest& request) {
  TStringStream out;
  switch (page) {
    case Page::kMainMenu: m.MainMenuPage(out, request); break;
    case Page::kPropertyList: m.PropertyListPage(out, request); break;
    case Page::kPeople: m.PeoplePage(out, request); break;
    case Page::kViolationDetail: m.ViolationDetailPage(out, request); break;
  }
  benchmark::DoNotOptimize(out.DataString().data());
}

void FloorRate(benchmark::State& state, Page page) {
  TPageModule* m = ThreadModule(state);
  if (m == nullptr) return;
  const RateSetup& s = *Setup();
  for (auto _ : state) RunStatements(page, *m, s);
  state.SetItemsProcessed(state.iterations());
}

void InMemoryPageRate(benchmark::State& state, Page page) {
  TPageModule* m = ThreadModule(state);
  if (m == nullptr) return;
  TSimplePageRequest request = PageRequest(page, *Setup());
  for (auto _ : state) RunPage(page, *m, request);
  state.SetItemsProcessed(state.iterations());
}

// items_per_second of these is the rate of all five threads together; the CPU
// time is the whole process's per page.
#define QV_RATE_BENCHMARK(fn, name, page) \
  BENCHMARK_CAPTURE(fn, name, page)       \
      ->Threads(kPoolSize)                \
      ->UseRealTime()                     \
      ->MeasureProcessCPUTime()           \
      ->Unit(benchmark::kMicrosecond)

QV_RATE_BENCHMARK(FloorRate, MainMenu, Page::kMainMenu);
QV_RATE_BENCHMARK(FloorRate, PropertyList, Page::kPropertyList);
QV_RATE_BENCHMARK(FloorRate, People, Page::kPeople);
QV_RATE_BENCHMARK(FloorRate, ViolationDetail, Page::kViolationDetail);
QV_RATE_BENCHMARK(InMemoryPageRate, MainMenu, Page::kMainMenu);
QV_RATE_BENCHMARK(InMemoryPageRate, PropertyList, Page::kPropertyList);
QV_RATE_BENCHMARK(InMemoryPageRate, People, Page::kPeople);
QV_RATE_BENCHMARK(InMemoryPageRate, ViolationDetail, Page::kViolationDetail);

}  // namespace
}  // namespace qv
