// Pool test fixture: an embedded database, INI files naming it (or a missing
// one), settable stand-ins of the steady and the wall clock, a session factory
// that counts what it makes, and the sink the pool reports to.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/clock.h"
#include "pool/fixed_connection_pool.h"
#include "pool/session_settings.h"
#include "test_database.h"

namespace qv::pooltest {

inline constexpr DateTimeParts kStart{2026, 3, 5, 10, 0, 0, 0};

// A settable local clock that threads may read while a test moves it on.
class SharedClock final : public Clock {
 public:
  explicit SharedClock(DateTimeParts now) : now_(EncodeDateTime(now)) {}
  DateTimeParts Now() const override {
    std::lock_guard lock(mutex_);
    return DecodeDateTime(now_);
  }
  void Advance(int64_t ms) {
    std::lock_guard lock(mutex_);
    now_ += static_cast<double>(ms) / 86400000.0;
  }

 private:
  mutable std::mutex mutex_;
  DateTime now_;
};

// A steady clock that moves only when a test moves it.
class SteadyStandIn {
 public:
  std::chrono::steady_clock::time_point Now() const {
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms_.load()));
  }
  void Advance(int64_t ms) { ms_ += ms; }

 private:
  std::atomic<int64_t> ms_{1'000'000};
};

// A folder of its own per test, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("qv_pool_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

class PoolTest : public ::testing::Test {
 protected:
  PoolTest()
      : good_ini_(folder_.Write("good.ini", "[DB]\nDBName=" + database_.Path() + "\nUser=SYSDBA\n")),
        bad_ini_(folder_.Write("bad.ini", "[DB]\nDBName=" + folder_.File("missing.fdb") +
                                             "\nUser=SYSDBA\n")) {
    errors_.SetHandler([this](const std::string& message) {
      std::lock_guard guard(reported_lock_);
      reported_.push_back(message);
    });
  }

  // A factory of real sessions on the test database; the first `failing` ones
  // name a database file that does not exist.
  SessionFactory Factory(int failing = 0) {
    return [this, failing] {
      const int serial = created_++;
      return NewDatabaseSession(serial < failing ? bad_ini_ : good_ini_, errors_);
    };
  }

  std::unique_ptr<ConnectionPool> MakePool(
      int32_t size, uint32_t timeout_ms,
      std::chrono::milliseconds interval = std::chrono::minutes(5), int failing = 0) {
    PoolOptions options;
    options.pool_size = size;
    options.cleanup_interval = interval;
    options.acquire_timeout_ms = timeout_ms;
    options.factory = Factory(failing);
    options.steady_now = [this] { return steady_.Now(); };
    options.local_clock = &clock_;
    return std::make_unique<ConnectionPool>(std::move(options), errors_);
  }

  // Time passes: both clocks move on.
  void Advance(int64_t ms) {
    steady_.Advance(ms);
    clock_.Advance(ms);
  }

  // What the pool reported.
  std::vector<std::string> Reported() {
    std::lock_guard guard(reported_lock_);
    return reported_;
  }

  TestDatabase database_;
  TempFolder folder_;
  SteadyStandIn steady_;
  SharedClock clock_{kStart};
  std::mutex reported_lock_;
  std::vector<std::string> reported_;
  ErrorSink errors_;
  std::atomic<int> created_{0};
  std::string good_ini_;
  std::string bad_ini_;
};

}  // namespace qv::pooltest
