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

Cost Time(DatabaseSession& session, const StatementText& text, int rounds,
          void (*bind)(Row&)) {
  Cursor& cursor = session.Statement(text);
  Cost cost;
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    if (bind != nullptr) bind(cursor.Params());
    cursor.Open();
    int rows = 0;
    while (!cursor.Eof()) {
      ++rows;
      cursor.Next();
    }
    cursor.Close();
    cost.rows = rows;
  }
  cost.micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
  return cost;
}

// A query's rows counted inside the engine: its cost without the rows crossing
// the client interface one fetch each.
std::string CountedInEngine(const StatementText& text, int columns) {
  std::string names;
  std::string maxima;
  for (int i = 1; i <= columns; ++i) {
    names += (i > 1 ? ", c" : "c") + std::to_string(i);
    maxima += ", max(c" + std::to_string(i) + ")";  // every value is computed
  }
  return "select count(*)" + maxima + " from (" + std::string(text.lines) + ") d (" + names + ")";
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
    one.Connection().Connect();
    one.Transaction().StartTransaction();
  }
  DatabaseSession& session = *sessions[0];
  const std::string people_text = CountedInEngine(kPeopleQuery, 4);
  const StatementText people_counted{people_text};
  const std::string phones_text = CountedInEngine(kPeoplePhonesQuery, 2);
  const StatementText phones_counted{phones_text};
  struct Case {
    const char* name;
    const StatementText& text;
    void (*bind)(Row&);
  };
  const Case cases[] = {
      {"agency", kAgencyQuery, nullptr},
      {"areas", kAreaQuery, nullptr},
      {"list, first page", ListQuery(ListSearchMode::kNone, false, ListStart::kOffset),
       [](Row& p) {
         p[0].SetAsInteger(10);
         p[1].SetAsInteger(0);
       }},
      {"list, page 100", ListQuery(ListSearchMode::kNone, false, ListStart::kOffset),
       [](Row& p) {
         p[0].SetAsInteger(10);
         p[1].SetAsInteger(990);
       }},
      {"heading", kHeadingQuery, [](Row& p) { p[0].SetAsInteger(1); }},
      {"people", kPeopleQuery, [](Row& p) { p[0].SetAsInteger(1); }},
      {"people phones", kPeoplePhonesQuery, [](Row& p) { p[0].SetAsInteger(1); }},
      {"people, in engine", people_counted, [](Row& p) { p[0].SetAsInteger(1); }},
      {"phones, in engine", phones_counted, [](Row& p) { p[0].SetAsInteger(1); }},
  };
  for (const Case& c : cases)
    for (auto& one : sessions) Time(*one, c.text, 50, c.bind);  // warm
  std::printf("%-18s %9s %10s %10s %18s\n", "statement", "rows", "us/run", "us/row",
              "CPU us/run, 1 | 2");
  for (const Case& c : cases) {
    const double cpu_before = ProcessCpuMicros();
    const Cost cost = Time(session, c.text, rounds, c.bind);
    const double one_cpu = (ProcessCpuMicros() - cpu_before) / rounds;
    const double pair_before = ProcessCpuMicros();
    std::thread beside([&] { Time(*sessions[1], c.text, rounds, c.bind); });
    Time(session, c.text, rounds, c.bind);
    beside.join();
    const double pair_cpu = (ProcessCpuMicros() - pair_before) / (2.0 * rounds);
    std::printf("%-18s %9d %10.1f %10.2f %8.1f | %6.1f (%.2fx)\n", c.name, cost.rows, cost.micros,
                cost.rows ? cost.micros / cost.rows : 0.0, one_cpu, pair_cpu, pair_cpu / one_cpu);
  }
  for (auto& one : sessions) one->Transaction().Commit();
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
