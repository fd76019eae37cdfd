// Fetching and converting rows through the database layer against the same
// query through the client library's calls directly, on the same database.
// The database is QV_BENCH_DB when set (user QV_BENCH_USER, default SYSDBA),
// else a demo database of 5000 properties built in a temporary folder.
//
//   qv_bench_db [--benchmark_min_time=2]
//
// After the runs it prints the layer's cost per row over the raw cost per row.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "db/client_library.h"
#include "db/command.h"
#include "db/ib.h"
#include "demo_loader.h"
#include "platform/datetime.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Every column kind the pages print: integers, VARCHAR, CHAR, DATE, TIMESTAMP.
constexpr const char* kQuery =
    "SELECT P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_CITY, A.PROP_STATE, "
    "A.PROP_ZIPCODE, P.NUM_UNITS, P.ENTERED_DATE, P.YEAR_BUILT "
    "FROM PROPERTY P JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)";

struct BenchDatabase {
  std::string path;
  std::string user = "SYSDBA";
  std::string folder;  // removed at exit when the database was built here
  ~BenchDatabase() {
    if (!folder.empty()) {
      std::error_code ignored;
      fs::remove_all(folder, ignored);
    }
  }
};

BenchDatabase& Database() {
  static BenchDatabase db = [] {
    BenchDatabase made;
    if (const char* path = std::getenv("QV_BENCH_DB"); path != nullptr && *path != '\0') {
      made.path = path;
      if (const char* user = std::getenv("QV_BENCH_USER")) made.user = user;
      return made;
    }
    std::string pattern = (fs::temp_directory_path() / "qvbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    made.folder = pattern;
    made.path = made.folder + "/bench.fdb";
    std::ifstream in(std::string(QV_SOURCE_DIR) + "/db/schema.sql");
    std::stringstream schema;
    schema << in.rdbuf();
    CreateDatabase(made.path, made.user, "");
    SetForcedWrites(made.path, made.user, "", false);
    DbConnection connection;
    connection.SetDatabaseName(made.path);
    connection.SetUsername(made.user);
    connection.Connect();
    ExecuteScript(connection, schema.str());
    demo::LoadDemoData(connection, 5000, 1, {});
    return made;
  }();
  return db;
}

// ---- Through the layer -------------------------------------------------------

// An attachment and a read-only transaction on it.
struct LayerSession {
  DbConnection connection;
  std::optional<Transaction> transaction;
  LayerSession() {
    connection.SetDatabaseName(Database().path);
    connection.SetUsername(Database().user);
    connection.Connect();
    transaction.emplace(connection, TransactionMode{.read_only = true});
  }
};

// A session attached to the database.
struct LayerQueries {
  DatabaseSession session;
  LayerQueries() {
    session.Connection().SetDatabaseName(Database().path);
    session.Connection().SetUsername(Database().user);
    session.Attach();
  }
};

void BM_LayerFetchRows(benchmark::State& state) {
  LayerQueries s;
  int64_t rows = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    auto cursor = s.session.QueryRows(kQuery);
    const size_t count = cursor.ColumnCount();
    for (; !cursor.AtEnd(); cursor.Next()) {
      for (size_t i = 0; i < count; ++i) {
        const std::string_view text = cursor.Text(i);
        bytes += text.size();
        benchmark::DoNotOptimize(text.data());
      }
      ++rows;
    }
  }
  state.SetItemsProcessed(rows);
  state.counters["ns_per_row"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate |
                                                        benchmark::Counter::kInvert);
  state.counters["bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LayerFetchRows)->Unit(benchmark::kMillisecond);

// ---- Through the client library directly --------------------------------------

constexpr int64_t kIscDateShift = 15018;

struct RawColumn {
  XSQLVAR* var;
  std::vector<char> data;
  short indicator = 0;
};

std::string RawText(const XSQLVAR& var) {
  if (*var.sqlind < 0) return {};
  const char* data = var.sqldata;
  switch (var.sqltype & ~1) {
    case SQL_TEXT:
    case SQL_VARYING: {
      size_t size = static_cast<size_t>(var.sqllen);
      if ((var.sqltype & ~1) == SQL_VARYING) {
        uint16_t stored;
        std::memcpy(&stored, data, 2);
        size = stored;
        data += 2;
      }
      const void* zero = std::memchr(data, 0, size);
      if (zero != nullptr) size = static_cast<const char*>(zero) - data;
      while (size > 0 && static_cast<unsigned char>(data[size - 1]) <= ' ') --size;
      return std::string(data, size);
    }
    case SQL_SHORT:
    case SQL_LONG: {
      int32_t value = 0;
      if ((var.sqltype & ~1) == SQL_SHORT) {
        int16_t small;
        std::memcpy(&small, data, 2);
        value = small;
      } else {
        std::memcpy(&value, data, 4);
      }
      char digits[16];
      auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
      return std::string(digits, end);
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP stamp;
      std::memcpy(&stamp, data, sizeof stamp);
      DateTimeParts parts = DecodeDateTime(static_cast<double>(stamp.timestamp_date - kIscDateShift));
      int64_t seconds = stamp.timestamp_time / ISC_TIME_SECONDS_PRECISION;
      parts.hour = static_cast<int>(seconds / 3600);
      parts.minute = static_cast<int>(seconds / 60 % 60);
      parts.second = static_cast<int>(seconds % 60);
      std::string text = ShortDateText(parts);
      if (stamp.timestamp_time != 0) text += " " + LongTimeText(parts);
      return text;
    }
    default:
      return {};
  }
}

void BM_RawFetchRows(benchmark::State& state) {
  const ClientLibrary& api = Client();
  std::string path = Database().path;
  std::string user = Database().user;
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  dpb += static_cast<char>(isc_dpb_user_name);
  dpb += static_cast<char>(user.size());
  dpb += user;
  ISC_STATUS_ARRAY status{};
  isc_db_handle db = 0;
  api.isc_attach_database(status, static_cast<short>(path.size()), path.c_str(), &db,
                          static_cast<short>(dpb.size()), dpb.data());
  CheckStatus(status);
  static char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_concurrency, isc_tpb_nowait};
  struct {
    isc_db_handle* db;
    long length;
    char* block;
  } element{&db, sizeof tpb, tpb};
  isc_tr_handle tr = 0;
  api.isc_start_multiple(status, &tr, 1, &element);
  CheckStatus(status);
  isc_stmt_handle stmt = 0;
  api.isc_dsql_allocate_statement(status, &db, &stmt);
  CheckStatus(status);
  std::vector<char> area(XSQLDA_LENGTH(20));
  auto* out = reinterpret_cast<XSQLDA*>(area.data());
  out->version = SQLDA_VERSION1;
  out->sqln = 20;
  api.isc_dsql_prepare(status, &tr, &stmt, 0, kQuery, SQL_DIALECT_V6, out);
  CheckStatus(status);
  std::vector<std::vector<char>> buffers(out->sqld);
  std::vector<short> indicators(out->sqld);
  for (int i = 0; i < out->sqld; ++i) {
    XSQLVAR& var = out->sqlvar[i];
    buffers[i].resize(static_cast<size_t>(var.sqllen) + 2);
    var.sqldata = buffers[i].data();
    var.sqlind = &indicators[i];
    var.sqltype |= 1;
  }
  int64_t rows = 0;
  for (auto _ : state) {
    api.isc_dsql_execute(status, &tr, &stmt, SQLDA_VERSION1, nullptr);
    CheckStatus(status);
    while (api.isc_dsql_fetch(status, &stmt, SQLDA_VERSION1, out) == 0) {
      for (int i = 0; i < out->sqld; ++i) {
        std::string text = RawText(out->sqlvar[i]);
        benchmark::DoNotOptimize(text.data());
      }
      ++rows;
    }
    api.isc_dsql_free_statement(status, &stmt, DSQL_close);
  }
  state.SetItemsProcessed(rows);
  state.counters["ns_per_row"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate |
                                                        benchmark::Counter::kInvert);
  api.isc_dsql_free_statement(status, &stmt, DSQL_drop);
  api.isc_commit_transaction(status, &tr);
  api.isc_detach_database(status, &db);
}
BENCHMARK(BM_RawFetchRows)->Unit(benchmark::kMillisecond);

// ---- Statement set-up: prepare, open, first row, close ------------------------

// A statement of its own each time: its handle is allocated and dropped too.
void BM_LayerPrepareOpenClose(benchmark::State& state) {
  LayerSession s;
  for (auto _ : state) {
    PreparedStatement statement(s.connection,
                                "SELECT PROPERTY_NAME FROM PROPERTY WHERE PROPERTY_ID = 17");
    statement.Prepare(*s.transaction);
    statement.Execute(*s.transaction);
    RowCursor row(statement, BlobSource{s.connection.Handle(), s.transaction->Handle()});
    benchmark::DoNotOptimize(row.Text(0).data());
  }
}
BENCHMARK(BM_LayerPrepareOpenClose)->Unit(benchmark::kMicrosecond);

// The same steps straight through the client library: prepare on a kept
// handle, execute, fetch the row, close.
void BM_RawPrepareOpenClose(benchmark::State& state) {
  LayerSession s;  // for the attachment and transaction only
  const ClientLibrary& api = Client();
  ISC_STATUS_ARRAY status{};
  isc_db_handle db = s.connection.Handle();
  isc_tr_handle tr = s.transaction->Handle();
  isc_stmt_handle stmt = 0;
  api.isc_dsql_allocate_statement(status, &db, &stmt);
  CheckStatus(status);
  std::vector<char> area(XSQLDA_LENGTH(1));
  auto* out = reinterpret_cast<XSQLDA*>(area.data());
  char buffer[128];
  short indicator = 0;
  const char* sql = "SELECT PROPERTY_NAME FROM PROPERTY WHERE PROPERTY_ID = 17";
  for (auto _ : state) {
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    api.isc_dsql_prepare(status, &tr, &stmt, 0, sql, SQL_DIALECT_V6, out);
    CheckStatus(status);
    out->sqlvar[0].sqldata = buffer;
    out->sqlvar[0].sqlind = &indicator;
    api.isc_dsql_execute(status, &tr, &stmt, SQLDA_VERSION1, nullptr);
    CheckStatus(status);
    if (api.isc_dsql_fetch(status, &stmt, SQLDA_VERSION1, out) == 0)
      benchmark::DoNotOptimize(RawText(out->sqlvar[0]));
    api.isc_dsql_free_statement(status, &stmt, DSQL_close);
  }
  api.isc_dsql_free_statement(status, &stmt, DSQL_drop);
}
BENCHMARK(BM_RawPrepareOpenClose)->Unit(benchmark::kMicrosecond);

// Prints the per-row ratio of the layer over the raw calls after the runs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("ns_per_row");
      if (it != run.counters.end()) per_row_[run.benchmark_name()] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto layer = per_row_.find("BM_LayerFetchRows");
    auto raw = per_row_.find("BM_RawFetchRows");
    if (layer != per_row_.end() && raw != per_row_.end() && raw->second > 0) {
      std::printf("per row: layer %.0f ns, raw %.0f ns, ratio %.2f\n", layer->second * 1e9,
                  raw->second * 1e9, layer->second / raw->second);
    }
  }

 private:
  std::map<std::string, double> per_row_;
};

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  qv::Database();  // build it before any timing
  qv::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
