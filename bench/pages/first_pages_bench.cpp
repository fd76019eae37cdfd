// The main menu and the first property-list page, each against its cost floor:
// the same statements run straight through the database layer, with no page text.
// The database is the one named by QV_BENCH_DB (a large demo database).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "page_bench.h"
#include "page_floors.h"

namespace qv {
namespace {

// One attached session per process, shared by the benchmarks of this file.
DatabaseSession* BenchSession(benchmark::State& state) {
  static std::unique_ptr<DatabaseSession> session;
  if (session) return session.get();
  const char* path = std::getenv("QV_BENCH_DB");
  if (path == nullptr || *path == '\0') {
    state.SkipWithError("QV_BENCH_DB is not set: make a demo database with "
                        "qvdemo --db PATH --properties 100000 and point QV_BENCH_DB at it");
    return nullptr;
  }
  session = std::make_unique<DatabaseSession>();
  AttachBenchDatabase(*session, path);
  // Detached before the client library's own statics go, which were made
  // after this one's (else the program crashes as it ends).
  std::atexit([] { session.reset(); });
  return session.get();
}

void BM_MainMenuPage(benchmark::State& state) {
  DatabaseSession* m = BenchSession(state);
  if (m == nullptr) return;
  SimplePageRequest request = LoggedInRequest();
  RunPageLoop(state, *m, "MainMenuPage", request);
}

// The main menu's only statement, the banner's agency query, and the end of
// the transaction it started.
void BM_MainMenuFloor(benchmark::State& state) {
  DatabaseSession* m = BenchSession(state);
  if (m == nullptr) return;
  for (auto _ : state) MainMenuFloor(*m);
}

void BM_PropertyListFirstPage(benchmark::State& state) {
  DatabaseSession* m = BenchSession(state);
  if (m == nullptr) return;
  SimplePageRequest request = LoggedInRequest();
  request.document = "/list";
  RunPageLoop(state, *m, "PropertyListPage", request);
}

// The first list page's statements: bracket, agency, areas, the first ten rows.
void BM_PropertyListFloor(benchmark::State& state) {
  DatabaseSession* m = BenchSession(state);
  if (m == nullptr) return;
  for (auto _ : state) PropertyListFloor(*m);
}

BENCHMARK(BM_MainMenuPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MainMenuFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PropertyListFirstPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PropertyListFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv
