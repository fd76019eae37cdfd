// What the page benchmarks share: attaching a session to the benchmark
// database, the request of a logged-on visitor, and the loop that runs one page.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <string_view>

#include "db/database_session.h"
#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"

namespace qv {

// Points the session at the database file path, as QV_BENCH_USER (default
// SYSDBA), and attaches.
inline void AttachBenchDatabase(DatabaseSession& session, const char* path) {
  session.Connection().SetDatabaseName(path);
  session.Connection().SetUsername(std::getenv("QV_BENCH_USER") ? std::getenv("QV_BENCH_USER")
                                                                : "SYSDBA");
  session.Attach();
}

// One session per process on the database QV_BENCH_DB names, shared by the
// benchmarks that use it; null, with the benchmark skipped, when none is named.
inline DatabaseSession* BenchSession(benchmark::State& state) {
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

// Where the benchmarked pages report what does not end them: standard error.
inline ErrorSink& BenchErrors() {
  static ErrorSink errors;
  return errors;
}

// Runs the page of that name on the session as the router runs it, into out.
inline void RunNamedPage(DatabaseSession& session, std::string_view page, PageRequest& request,
                         PageStream& out, PageFormat format = PageFormat::kHtml) {
  PageContext context{request, out, session, SystemClock::Instance(), PageNamed(page),
                      BenchErrors()};
  context.format = format;
  RunPage(context);
}

// A logged-on visitor's request, with name=value when a name is given.
inline SimplePageRequest LoggedInRequest(const char* name = nullptr, int32_t value = 0) {
  SimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  if (name != nullptr) request.Add(name, std::to_string(value));
  return request;
}

// Runs the page on the session once an iteration (as HTML, or its data as
// JSON) and reports the size of the last page and the statements a page
// executes.
inline void RunPageLoop(benchmark::State& state, DatabaseSession& session, std::string_view page,
                        PageRequest& request, PageFormat format = PageFormat::kHtml) {
  size_t bytes = 0;
  const uint64_t executed = session.Counts().executed;
  for (auto _ : state) {
    PageStream out;
    RunNamedPage(session, page, request, out, format);
    bytes = out.Size();
    benchmark::DoNotOptimize(out.DataString().data());
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
  if (state.iterations() > 0) {
    state.counters["statements"] = static_cast<double>(session.Counts().executed - executed) /
                                   static_cast<double>(state.iterations());
  }
}

}  // namespace qv
