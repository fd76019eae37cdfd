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

#include "page_floors.h"
#include "page_bench.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"

namespace qv {
namespace {

constexpr int kPoolSize = 5;

struct RateSetup {
  std::string database;
  std::string user;
  int32_t property_id = 0;
  int32_t violation_id = 0;
  // One session per benchmark thread, attached on first use and kept for every
  // later benchmark, as a pool keeps its sessions.
  std::array<std::unique_ptr<DatabaseSession>, kPoolSize> sessions;
};

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

int32_t FirstInteger(DatabaseSession& m, const std::string& sql) {
  return m.QueryRows(sql).Integer(0);
}

// Null when QV_BENCH_DB is not set.
RateSetup* Setup() {
  static std::unique_ptr<RateSetup> setup = []() -> std::unique_ptr<RateSetup> {
    const char* path = Env("QV_BENCH_DB");
    if (path == nullptr) return nullptr;
    auto s = std::make_unique<RateSetup>();
    s->database = path;
    s->user = Env("QV_BENCH_USER") ? Env("QV_BENCH_USER") : "SYSDBA";
    auto m = std::make_unique<DatabaseSession>();
    m->Connection().SetDatabaseName(s->database);
    m->Connection().SetUsername(s->user);
    m->Attach();
    s->property_id =
        Env("QV_BENCH_PROPID")
            ? std::atoi(Env("QV_BENCH_PROPID"))
            : FirstInteger(*m, "SELECT FIRST 1 PROPERTY_ID FROM ENTITY GROUP BY PROPERTY_ID "
                               "ORDER BY COUNT(*) DESC, PROPERTY_ID");
    s->violation_id =
        Env("QV_BENCH_VID")
            ? std::atoi(Env("QV_BENCH_VID"))
            : FirstInteger(*m, "SELECT FIRST 1 VIOLATION_ID FROM VIOLATORS GROUP BY "
                               "VIOLATION_ID ORDER BY COUNT(*) DESC, VIOLATION_ID");
    m->Commit();
    s->sessions[0] = std::move(m);
    return s;
  }();
  return setup.get();
}

// The session of this benchmark thread; each thread touches only its own slot.
DatabaseSession* ThreadSession(benchmark::State& state) {
  RateSetup* s = Setup();
  if (s == nullptr) {
    state.SkipWithError("QV_BENCH_DB is not set: make a demo database with "
                        "qvdemo --db PATH --properties 100000 and point QV_BENCH_DB at it");
    return nullptr;
  }
  std::unique_ptr<DatabaseSession>& slot = s->sessions[static_cast<size_t>(state.thread_index())];
  if (!slot) {
    slot = std::make_unique<DatabaseSession>();
    slot->Connection().SetDatabaseName(s->database);
    slot->Connection().SetUsername(s->user);
    slot->Attach();
  }
  return slot.get();
}

enum class Page { kMainMenu, kPropertyList, kPeople, kViolationDetail };

void RunStatements(Page page, DatabaseSession& m, const RateSetup& s) {
  switch (page) {
    case Page::kMainMenu: MainMenuFloor(m); break;
    case Page::kPropertyList: PropertyListFloor(m); break;
    case Page::kPeople: PeopleFloor(m, s.property_id); break;
    case Page::kViolationDetail: ViolationDetailFloor(m, s.violation_id); break;
  }
}

SimplePageRequest PageRequest(Page page, const RateSetup& s) {
  SimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  switch (page) {
    case Page::kMainMenu: request.document = "/"; break;
    case Page::kPropertyList: request.document = "/list"; break;
    case Page::kPeople:
      request.document = "/people";
      request.Add("PROPID", std::to_string(s.property_id));
      break;
    case Page::kViolationDetail:
      request.document = "/vdetail";
      request.Add("VID", std::to_string(s.violation_id));
      break;
  }
  return request;
}

void RunPage(Page page, DatabaseSession& m, qv::PageRequest& request) {
  PageStream out;
  switch (page) {
    case Page::kMainMenu: RunNamedPage(m, "MainMenuPage", request, out); break;
    case Page::kPropertyList: RunNamedPage(m, "PropertyListPage", request, out); break;
    case Page::kPeople: RunNamedPage(m, "PeoplePage", request, out); break;
    case Page::kViolationDetail: RunNamedPage(m, "ViolationDetailPage", request, out); break;
  }
  benchmark::DoNotOptimize(out.DataString().data());
}

void FloorRate(benchmark::State& state, Page page) {
  DatabaseSession* m = ThreadSession(state);
  if (m == nullptr) return;
  const RateSetup& s = *Setup();
  for (auto _ : state) RunStatements(page, *m, s);
  state.SetItemsProcessed(state.iterations());
}

void InMemoryPageRate(benchmark::State& state, Page page) {
  DatabaseSession* m = ThreadSession(state);
  if (m == nullptr) return;
  SimplePageRequest request = PageRequest(page, *Setup());
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
