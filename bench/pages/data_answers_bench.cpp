// Each data page as HTML and as JSON on the same session and request, so the
// two costs compare page for page; and the property list's CSV export of
// every property, with the process's resident memory sampled as it streams.
// The database is the one named by QV_BENCH_DB (a large demo database).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "page_bench.h"
#include "pages/data_pages.h"
#include "pages/property_csv.h"

namespace qv {
namespace {

// A violation of the database: the first one of the table.
int32_t FirstViolation(DatabaseSession& session) {
  enum class Column { kId, kCount };
  static constexpr QueryText<Column> kFirst{"SELECT FIRST 1 VIOLATION_ID FROM VIOLATIONS"};
  const int32_t id = session.Query(kFirst).Integer(Column::kId);
  session.Commit();
  return id;
}

struct DataPage {
  const char* page;
  const char* param;  // nullptr: none
};
constexpr DataPage kDataPages[] = {
    {"MainMenuPage", nullptr},     {"PropertyListPage", nullptr}, {"PropertyInfoPage", "propid"},
    {"PeoplePage", "propid"},      {"NotesPage", "propid"},       {"CptedPage", "propid"},
    {"ViolationsPage", "propid"},  {"ViolationDetailPage", "vid"},
};

// state.range(0): the page's index in kDataPages; range(1): 0 HTML, 1 JSON.
void BM_DataPage(benchmark::State& state) {
  DatabaseSession* session = BenchSession(state);
  if (session == nullptr) return;
  const DataPage& page = kDataPages[state.range(0)];
  SimplePageRequest request = LoggedInRequest();
  if (page.param != nullptr) {
    const bool violation = std::string(page.param) == "vid";
    request.Add(page.param, std::to_string(violation ? FirstViolation(*session) : 1));
  }
  state.SetLabel(std::string(page.page) + (state.range(1) ? " json" : " html"));
  RunPageLoop(state, *session, page.page, request,
              state.range(1) ? PageFormat::kJson : PageFormat::kHtml);
}

// The writing alone, of data read once: the HTML page against the JSON
// (range(0) as for BM_DataPage: 3 People, 7 ViolationDetail; range(1) the format).
template <typename Data>
void RenderLoop(benchmark::State& state, const PageEntry& entry, const Data& data) {
  size_t bytes = 0;
  for (auto _ : state) {
    PageStream out;
    if (state.range(1)) {
      JsonWriter json(out.Data(), TextEncoding::kLatin1);
      WriteJson(json, data);
    } else {
      WriteHtml(out, entry, data);
    }
    bytes = out.Size();
    benchmark::DoNotOptimize(out.DataString().data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_RenderOnly(benchmark::State& state) {
  DatabaseSession* session = BenchSession(state);
  if (session == nullptr) return;
  const DataPage& page = kDataPages[state.range(0)];
  SimplePageRequest request = LoggedInRequest();
  const bool violation = std::string(page.param) == "vid";
  request.Add(page.param, std::to_string(violation ? FirstViolation(*session) : 1));
  PageStream unused;
  PageContext context{request, unused, *session, SystemClock::Instance(), PageNamed(page.page),
                      BenchErrors()};
  state.SetLabel(std::string(page.page) + (state.range(1) ? " json" : " html"));
  if (violation) {
    RenderLoop(state, context.entry, ReadViolationDetailPage(context));
  } else {
    RenderLoop(state, context.entry, ReadPeoplePage(context));
  }
  session->Commit();
}

int64_t ResidentKiB() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Counts what it is given and samples the resident memory at each chunk.
class MeasuringSink : public CsvSink {
 public:
  void Write(std::string_view chunk) override {
    bytes += chunk.size();
    const int64_t resident = ResidentKiB();
    if (first_kib == 0) first_kib = resident;
    max_kib = std::max(max_kib, resident);
    last_kib = resident;
  }
  size_t bytes = 0;
  int64_t first_kib = 0, max_kib = 0, last_kib = 0;
};

// Every property (the list without a search), as the CSV export writes it.
// The first run warms the database's cache; the figures are the last run's:
// resident memory at its first chunk, its highest and at its end.
void BM_PropertyListCsv(benchmark::State& state) {
  DatabaseSession* session = BenchSession(state);
  if (session == nullptr) return;
  SimplePageRequest request = LoggedInRequest();
  MeasuringSink sink;
  size_t rows = 0;
  for (auto _ : state) {
    sink = MeasuringSink();
    PageStream out;
    PageContext context{request, out, *session, SystemClock::Instance(),
                        PageNamed("PropertyListPage"), BenchErrors()};
    rows = WritePropertyListCsv(context, sink);
    session->Commit();
  }
  enum class Column { kCount_, kCount };
  static constexpr QueryText<Column> kListed{
      "SELECT COUNT(*) FROM PROPERTY P\n"
      "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)"};
  state.counters["listed"] = session->Query(kListed).Integer(Column::kCount_);
  session->Commit();
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["csv_MiB"] = static_cast<double>(sink.bytes) / (1024.0 * 1024.0);
  state.counters["rss_first_KiB"] = static_cast<double>(sink.first_kib);
  state.counters["rss_max_KiB"] = static_cast<double>(sink.max_kib);
  state.counters["rss_end_KiB"] = static_cast<double>(sink.last_kib);
}

BENCHMARK(BM_DataPage)
    ->ArgsProduct({benchmark::CreateDenseRange(0, std::size(kDataPages) - 1, 1), {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderOnly)->ArgsProduct({{3, 7}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PropertyListCsv)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv
