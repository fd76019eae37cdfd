// What the page benchmarks share: attaching a module to the benchmark database,
// the request of a logged-on visitor, and the loop that runs one page.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "pages/page_module.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"

namespace qv {

// Points the module at the database file path, as QV_BENCH_USER (default
// SYSDBA), and attaches.
inline void AttachBenchDatabase(TPageModule& module, const char* path) {
  module.dbMain.SetDatabaseName(path);
  module.dbMain.SetUsername(std::getenv("QV_BENCH_USER") ? std::getenv("QV_BENCH_USER")
                                                         : "SYSDBA");
  module.dbMain.Connect();
}

// A logged-on visitor's request, with name=value when a name is given.
inline TSimplePageRequest LoggedInRequest(const char* name = nullptr, int32_t value = 0) {
  TSimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  if (name != nullptr) request.Add(name, std::to_string(value));
  return request;
}

// Runs the page through the module once an iteration and reports the size of
// the last page.
inline void RunPageLoop(benchmark::State& state, TPageModule& module, TPageMethod page,
                        TPageRequest& request) {
  size_t bytes = 0;
  for (auto _ : state) {
    TStringStream out;
    module.RunPage(page, out, request);
    bytes = out.Size();
    benchmark::DoNotOptimize(out.DataString().data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}

}  // namespace qv
