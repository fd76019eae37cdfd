// Times the statements of the main menu, the property list and the People tab
// as the pages run them (open, fetch every row, close, in the session's kept
// transaction), and the People statements with their rows counted inside the
// engine, which shows what the rows cost to cross the client interface; then
// the CPU a run costs alone and with a second session running it beside.
// Usage: qv_statement_costs DATABASE [USER] [ROUNDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/database_session.h"
#include "pages/page_statements.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

struct Cost {
  double micros = 0;
  int rows = 0;
};

// A statement and the values of its parameters.
struct StatementRun {
  std::string_view sql;
  std::vector<ParamValue> values;
};

Cost Time(DatabaseSession& session, const StatementRun& run, int rounds) {
  Cost cost;
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    int rows = 0;
    for (auto cursor = session.QueryRows(run.sql, run.values); !cursor.AtEnd(); cursor.Next()) {
      ++rows;
    }
    cost.rows = rows;
  }
  cost.micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
  return cost;
}

// A query's rows counted inside the engine: its cost without the rows crossing
// the client interface one fetch each.
std::string CountedInEngine(std::string_view text, int columns) {
  std::string names;
  std::string maxima;
  for (int i = 1; i <= columns; ++i) {
    names += (i > 1 ? ", c" : "c") + std::to_string(i);
    maxima += ", max(c" + std::to_string(i) + ")";  // every value is computed
  }
  return "select count(*)" + maxima + " from (" + std::string(text) + ") d (" + names + ")";
}

double ProcessCpuMicros() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

int Run(const char* database, const char* user, int rounds) {
  // Two sessions, as two pages would have: the second runs beside the first
  // for the CPU a run costs when two pages are in the engine at once.
  std::vector<std::unique_ptr<DatabaseSession>> sessions;
  for (int i = 0; i < 2; ++i) {
    auto& one = *sessions.emplace_back(std::make_unique<DatabaseSession>());
    one.Connection().SetDatabaseName(database);
    one.Connection().SetUsername(user);
    one.Attach();
  }
  DatabaseSession& session = *sessions[0];
  const std::string people_counted = CountedInEngine(kPeopleQuery.sql, 4);
  const std::string phones_counted = CountedInEngine(kPeoplePhonesQuery.sql, 2);
  const auto keyset_list = KeysetListQuery(ListSearchMode::kNone, ListStart::kOffset);
  struct Case {
    const char* name;
    StatementRun run;
  };
  const Case cases[] = {
      {"agency", {kAgencyQuery.sql, {}}},
      {"areas", {kAreaQuery.sql, {}}},
      {"list, first page", {keyset_list.sql, {10, 0}}},
      {"list, page 100", {keyset_list.sql, {10, 990}}},
      {"heading", {kHeadingQuery.sql, {1}}},
      {"people", {kPeopleQuery.sql, {1}}},
      {"people phones", {kPeoplePhonesQuery.sql, {1}}},
      {"people, in engine", {people_counted, {1}}},
      {"phones, in engine", {phones_counted, {1}}},
  };
  for (const Case& c : cases)
    for (auto& one : sessions) Time(*one, c.run, 50);  // warm
  std::printf("%-18s %9s %10s %10s %18s\n", "statement", "rows", "us/run", "us/row",
              "CPU us/run, 1 | 2");
  for (const Case& c : cases) {
    const double cpu_before = ProcessCpuMicros();
    const Cost cost = Time(session, c.run, rounds);
    const double one_cpu = (ProcessCpuMicros() - cpu_before) / rounds;
    const double pair_before = ProcessCpuMicros();
    std::thread beside([&] { Time(*sessions[1], c.run, rounds); });
    Time(session, c.run, rounds);
    beside.join();
    const double pair_cpu = (ProcessCpuMicros() - pair_before) / (2.0 * rounds);
    std::printf("%-18s %9d %10.1f %10.2f %8.1f | %6.1f (%.2fx)\n", c.name, cost.rows, cost.micros,
                cost.rows ? cost.micros / cost.rows : 0.0, one_cpu, pair_cpu, pair_cpu / one_cpu);
  }
  for (auto& one : sessions) one->Commit();
  return 0;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qv_statement_costs DATABASE [USER] [ROUNDS]\n");
    return 2;
  }
  try {
    return qv::Run(argv[1], argc > 2 ? argv[2] : "SYSDBA", argc > 3 ? std::atoi(argv[3]) : 2000);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
