// The restart scenario an operator would try: qvweb against a Firebird server
// on loopback, one logged-on visitor every 50 ms, the database server killed
// with kill -9 and started again some seconds later. Prints the requests that
// failed while the server was gone, those that failed after it was back, and
// how long after its return the first page succeeded.
//
//   qv_fault_restart [down-seconds=5] [after-seconds=15]
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/firebird_server.h"
#include "support/http_client.h"
#include "support/notify_socket.h"
#include "support/ports.h"
#include "support/server_process.h"
#include "support/test_database.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int down_seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const int after_seconds = argc > 2 ? std::atoi(argv[2]) : 15;
  namespace fs = std::filesystem;

  qv::FirebirdServer firebird;
  std::string error;
  if (!firebird.Start(error)) {
    std::fprintf(stderr, "cannot start the Firebird server: %s\n", error.c_str());
    return 1;
  }
  char pattern[] = "/tmp/qv_fault_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  {
    qv::TestDatabase database;
    database.ExecScript(
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing Agency');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD, FULL_NAME)"
        " VALUES (1, 'demo', 'demo', 'Demo User')");
    fs::copy_file(database.Path(), firebird.Folder() + "/qv.fdb");
  }
  const int port = qv::test::FreePort();
  qv::test::NotifySocket notify;
  qv::test::ServerProcess server(QV_WEB_BINARY, folder);
  server.WriteIni("[APP]\nPort=" + std::to_string(port) + "\n[DB]\nDBName=" +
                  firebird.DatabaseName("qv.fdb") + "\nUser=SYSDBA\nPass=" +
                  qv::FirebirdServer::Password() + "\n");
  if (!server.Start(notify.Path())) return 1;
  while (auto report = notify.Receive(30000)) {
    if (*report == "READY=1\nSTATUS=Running") break;
  }
  auto first = qv::test::TryExchange(port, qv::test::GetRequest("/"));
  if (!first || first->status != 200) {
    std::fprintf(stderr, "qvweb does not serve: %s\n", server.Log().c_str());
    return 1;
  }
  // The log-on moves the session to the identifier of its answer's cookie.
  const auto logged_on = qv::test::TryExchange(
      port, qv::test::PostFormRequest("/DOLOGIN", "uName=demo&uPass=demo", qv::test::SessionCookie(*first)));
  const std::string cookie = logged_on ? qv::test::SessionCookie(*logged_on) : "";

  enum class Phase { kBefore, kDown, kBack };
  Phase phase = Phase::kBefore;
  int requests[3] = {}, failures[3] = {};
  Clock::time_point killed_at{}, back_at{}, first_success_after_back{};
  Clock::time_point last_failure_after_back{};
  const auto start = Clock::now();
  for (int n = 0;; ++n) {
    const auto now = Clock::now();
    if (phase == Phase::kBefore && now - start >= 2s) {
      firebird.Kill();
      killed_at = Clock::now();
      phase = Phase::kDown;
    } else if (phase == Phase::kDown && now - killed_at >= std::chrono::seconds(down_seconds)) {
      if (!firebird.Restart(error)) {
        std::fprintf(stderr, "cannot restart the Firebird server: %s\n", error.c_str());
        return 1;
      }
      back_at = Clock::now();  // listening again
      phase = Phase::kBack;
    } else if (phase == Phase::kBack && now - back_at >= std::chrono::seconds(after_seconds)) {
      break;
    }
    auto answer = qv::test::TryExchange(port, qv::test::GetRequest("/list", cookie));
    const bool ok = answer && answer->status == 200 &&
                    answer->body.find("ISC ERROR") == std::string::npos;
    const int p = static_cast<int>(phase);
    ++requests[p];
    if (!ok) {
      ++failures[p];
      if (phase == Phase::kBack) last_failure_after_back = Clock::now();
    } else if (phase == Phase::kBack && first_success_after_back == Clock::time_point{}) {
      first_success_after_back = Clock::now();
    }
    std::this_thread::sleep_until(now + 50ms);
  }
  server.Signal(SIGTERM);
  const auto exit = server.WaitExit();

  std::printf("requests before the kill:          %d (failed %d)\n", requests[0], failures[0]);
  std::printf("requests while the server was down: %d (failed %d)\n", requests[1], failures[1]);
  std::printf("requests after the server was back: %d (failed %d)\n", requests[2], failures[2]);
  if (first_success_after_back != Clock::time_point{}) {
    std::printf("recovery: first page %.3f s after the server listened again\n",
                Seconds(first_success_after_back - back_at));
  } else {
    std::printf("recovery: no page succeeded after the server was back\n");
  }
  if (last_failure_after_back != Clock::time_point{}) {
    std::printf("last failure %.3f s after the server was back\n",
                Seconds(last_failure_after_back - back_at));
  }
  std::printf("qvweb exit status after SIGTERM: %d\n", exit ? *exit : -1);
  fs::remove_all(folder);
  return failures[2] == 0 ? 0 : 2;
}
