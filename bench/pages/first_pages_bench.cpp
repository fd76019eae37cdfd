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
