// A request router served over loopback on a small embedded database, wired
// as the service wires them: the pool's sessions attach to the test database
// through a settings file in a scratch folder, and the server hands every
// request and new session to the router. While outage_ is set, no session
// can be had, as when the database is down.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "http/http_server.h"
#include "pool/fixed_connection_pool.h"
#include "pool/session_settings.h"
#include "support/test_database.h"
#include "web/request_router.h"

namespace qv::webtest {

class ServedRouterTest : public ::testing::Test {
 protected:
  // DATA fills the database; the pool has SESSIONS and a borrower waits
  // ACQUIRE_TIMEOUT_MS for one.
  ServedRouterTest(const std::string& data, int sessions, int acquire_timeout_ms) {
    database_.ExecScript(data);
    static std::atomic<int> serial{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("qv_served_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(folder_);
    const std::string ini = (folder_ / "qvweb.ini").string();
    std::ofstream(ini) << "[DB]\nDBName=" << database_.Path() << "\nUser=" << TestDatabase::User()
                       << "\n";
    PoolOptions options;
    options.pool_size = sessions;
    options.acquire_timeout_ms = acquire_timeout_ms;
    options.factory = [this, ini] { return NewDatabaseSession(ini, errors_); };
    pool_ = std::make_unique<ConnectionPool>(std::move(options), errors_);
    router_ = std::make_unique<RequestRouter>(
        [this](PoolLease& lease, AcquireMode mode) {
          if (outage_) throw PoolTimeout();
          return pool_->Acquire(lease, mode);
        },
        [] { return std::string(); }, errors_);
    server_.AddBinding("127.0.0.1", 0);
    server_.SetSessionState(true);
    server_.SetAutoStartSession(true);
    server_.SetSessionTimeOut(600000);
    server_.SetActive(true);
    port_ = server_.Bindings()[0].port;
  }

  ~ServedRouterTest() override {
    server_.SetActive(false);
    std::filesystem::remove_all(folder_);
  }

  TestDatabase database_;
  std::filesystem::path folder_;
  ErrorSink errors_;
  std::unique_ptr<ConnectionPool> pool_;
  std::unique_ptr<RequestRouter> router_;
  std::atomic<bool> outage_{false};

 private:
  HttpServer::Events ServerEvents() {
    HttpServer::Events events;
    events.on_command_get = [this](ConnectionContext* context, Request& request,
                                   Response& response) {
      router_->HandleRequest(context, request, response);
    };
    events.on_session_start = [this](Session& session) { router_->StartSession(session); };
    return events;
  }

 protected:
  HttpServer server_{ServerEvents()};
  int port_ = 0;
};

}  // namespace qv::webtest
