// The cost of every page and search kind on demo databases of different
// sizes, one visitor: the median milliseconds of a page run as the router runs
// it (in this process, no HTTP), and the records the engine read for one run
// (indexed plus sequential reads of the attachment, from its own counters).
// Prints one table, a column per database.
// Usage: qv_page_sizes DATABASE... (each made by qvdemo --properties N)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "db/database_session.h"
#include "db/prepared_statement.h"
#include "db/transaction.h"
#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "platform/error_sink.h"

namespace qv {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

struct Figure {
  double ms = 0;      // elapsed
  double cpu_ms = 0;  // this process's CPU time: the embedded engine runs in the caller's thread
  long long records = 0;
};

double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Read in a transaction of its own: the engine's counters stay as they were
// when a transaction first read them.
long long RecordsRead(DatabaseSession& session) {
  Transaction monitor(session.Connection(), kSessionTransaction);
  PreparedStatement query(
      session.Connection(),
      "SELECT R.MON$RECORD_SEQ_READS + R.MON$RECORD_IDX_READS\n"
      "FROM MON$ATTACHMENTS M JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = M.MON$STAT_ID\n"
      "WHERE M.MON$ATTACHMENT_ID = CURRENT_CONNECTION");
  query.Prepare(monitor);
  query.Execute(monitor);
  long long reads = 0;
  {
    const RowCursor row(query, {session.Connection().Handle(), monitor.Handle()});
    reads = std::atoll(std::string(row.Text(0)).c_str());
  }
  monitor.Commit();
  return reads;
}

void RunOnce(DatabaseSession& session, std::string_view page, const Params& params,
             const std::string& visitor) {
  SimplePageRequest request;
  request.session.emplace("LoggedIn", "True");
  request.visitor = visitor;
  for (const auto& [name, value] : params) request.Add(name, value);
  PageStream out;
  static ErrorSink errors;  // standard error
  PageContext context{request, out, session, SystemClock::Instance(), PageNamed(page), errors};
  RunPage(context);
}

int visitors = 0;

// The median of runs of `page`; `before` (may be empty) runs first each time
// for the same new visitor (to leave the bookmark a Next or Previous finds).
Figure Measure(DatabaseSession& session, std::string_view page, const Params& params,
               const Params& before = {}, bool with_visitor = false) {
  std::vector<double> times;
  std::vector<double> cpu;
  Figure figure;
  const auto started = std::chrono::steady_clock::now();
  for (int run = 0; run < 25; ++run) {
    const std::string visitor = with_visitor ? "bench " + std::to_string(++visitors) : "";
    if (!before.empty()) RunOnce(session, page, before, visitor);
    const long long reads = run == 1 ? RecordsRead(session) : 0;
    const double cpu_start = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    RunOnce(session, page, params, visitor);
    const auto end = std::chrono::steady_clock::now();
    cpu.push_back(CpuMs() - cpu_start);
    if (run == 1) figure.records = RecordsRead(session) - reads;
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    if (run >= 2 && end - started > std::chrono::seconds(6)) break;
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  figure.ms = times[times.size() / 2];
  figure.cpu_ms = cpu[cpu.size() / 2];
  return figure;
}

int32_t Number(DatabaseSession& session, const std::string& sql) {
  return session.QueryRows(sql).Integer(0);
}

// The list's last page for a search whose rows the statement counts.
std::string LastPage(DatabaseSession& session, const std::string& where) {
  const int32_t rows =
      Number(session, "SELECT COUNT(*) FROM PROPERTY P JOIN PROP_ADDRESS A ON "
                      "(A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID) JOIN AREA AR ON "
                      "(AR.AREA_ID = P.AREA_ID) " + where);
  return std::to_string(std::max(1, (rows + 9) / 10));
}

std::string Prior(const std::string& page) { return std::to_string(std::stoi(page) - 1); }
std::string After(const std::string& page) { return std::to_string(std::stoi(page) + 1); }

Params With(Params params, const std::string& page) {
  params.emplace_back("page", page);
  return params;
}

using Figures = std::map<std::string, Figure>;

Figures MeasureDatabase(const char* path) {
  DatabaseSession session;
  session.Connection().SetDatabaseName(path);
  session.Connection().SetUsername(std::getenv("QV_BENCH_USER") ? std::getenv("QV_BENCH_USER")
                                                                : "SYSDBA");
  session.Attach();
  const int32_t properties = Number(session, "SELECT COUNT(*) FROM PROPERTY");
  const std::string property = std::to_string(properties / 2);
  const std::string violation = std::to_string(
      Number(session, "SELECT MIN(VIOLATION_ID) FROM VIOLATIONS WHERE PROPERTY_ID >= " + property));
  const std::string all_last = LastPage(session, "");
  const std::string area_last = LastPage(session, "WHERE AR.AREA_NAME = 'Riverside'");
  const std::string name_last =
      LastPage(session, "WHERE UPPER(P.PROPERTY_NAME) STARTING 'HARBOR'");
  const std::string street_last =
      LastPage(session, "WHERE A.PROP_ADDRESS1 CONTAINING 'Harbor'");
  session.Commit();

  const Params area{{"AreaName", "Riverside"}};
  const Params name{{"SearchValue", "harbor"}, {"PropName", "a"}};
  const Params rare{{"SearchValue", "9876 Harbor"}, {"Address", "a"}};
  const Params street{{"SearchValue", "Harbor"}, {"Address", "a"}};
  const std::string middle = std::to_string(std::stoi(all_last) / 2);
  const std::string area_middle = std::to_string(std::stoi(area_last) / 2);
  const std::string name_middle = std::to_string(std::stoi(name_last) / 2);
  const std::string street_middle = std::to_string(std::max(2, std::stoi(street_last) / 2));

  Figures c;
  for (const char* page : {"MainMenuPage", "PropertyInfoPage", "PeoplePage",
                           "AuthorizationsPage", "CptedPage", "ViolationsPage"}) {
    c[std::string("tab ") + page] = Measure(session, page, {{"PROPID", property}});
  }
  c["tab ViolationDetailPage"] = Measure(session, "ViolationDetailPage", {{"VID", violation}});
  c["access"] = Measure(session, "AccessPage", {{"PROPID", property}});
  c["notes"] = Measure(session, "NotesPage", {{"PROPID", property}});
  // A page of a new visitor each run; `from`: after that visitor's page
  // `from`; `session_kept`: the visitor has a session (its pages remember).
  const auto list = [&](const std::string& key, const Params& search, const std::string& page,
                        const std::string& from = "", bool session_kept = false) {
    const bool step = !from.empty();
    c[key] = Measure(session, "PropertyListPage", With(search, page),
                     step ? With(search, from) : Params{}, step || session_kept);
  };
  list("list first", {}, "1");
  list("list middle, jump", {}, middle);
  list("list middle, Next", {}, middle, Prior(middle));
  list("list middle, Previous", {}, middle, After(middle));
  list("list last, jump", {}, all_last);
  list("area first", area, "1");
  list("area last, jump", area, area_last);
  list("area middle, Next", area, area_middle, Prior(area_middle));
  list("area middle, Previous", area, area_middle, After(area_middle));
  list("area 2nd page, Next (takes the order)", area, "2", "1");
  list("area last, jump, with session", area, area_last, "", true);
  list("name first", name, "1");
  list("name last, jump", name, name_last);
  list("name middle, Next", name, name_middle, Prior(name_middle));
  list("address rare", rare, "1");
  list("address common, first", street, "1");
  list("address common, last, jump", street, street_last);
  list("address common, Next", street, After("1"), "1");
  list("address common, middle, Next", street, street_middle, Prior(street_middle));
  return c;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qv_page_sizes DATABASE...\n");
    return 2;
  }
  try {
    std::vector<qv::Figures> columns;
    for (int i = 1; i < argc; ++i) {
      std::fprintf(stderr, "measuring %s\n", argv[i]);
      columns.push_back(qv::MeasureDatabase(argv[i]));
    }
    std::printf(
        "median elapsed ms per page, one visitor / median CPU ms of the run (the engine runs\n"
        "in this process) / records the engine read in one run\n%-40s",
        "page");
    for (int i = 1; i < argc; ++i) {
      std::printf(" | %28s", argv[i] + std::string(argv[i]).rfind('/') + 1);
    }
    std::printf("\n");
    for (const auto& [key, figure] : columns[0]) {
      std::printf("%-40s", key.c_str());
      for (const auto& column : columns) {
        const qv::Figure& f = column.at(key);
        std::printf(" | %8.2f %8.2f %10lld", f.ms, f.cpu_ms, f.records);
      }
      std::printf("\n");
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
