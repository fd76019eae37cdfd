#include "service/settings_changes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "support/test_files.h"

namespace qv {
namespace {

std::optional<RedisLocation> Redis(const char* url) {
  if (!url) return std::nullopt;
  return RedisLocation::Parse(url);
}

TEST(SettingsChangesTest, WhatNeedsARestartIsReportedAndKeptAsItRuns) {
  struct Case {
    const char* name;
    int32_t timeout_before, timeout_after;
    const char* store_before;  // null: memory
    const char* store_after;
    std::vector<std::string> reported;
    int32_t timeout_kept;
  } const cases[] = {
      {"nothing changed", 600000, 600000, nullptr, nullptr, {}, 600000},
      {"another time-out changes in place", 600000, 60000, nullptr, nullptr, {}, 60000},
      {"sessions switched off", 600000, 0, nullptr, nullptr,
       {"[APP] LoginTimeout: switching sessions off needs a restart; sessions stay on"}, 600000},
      {"sessions switched on", 0, 60000, nullptr, nullptr,
       {"[APP] LoginTimeout: switching sessions on needs a restart; sessions stay off"}, 0},
      {"memory to Redis", 600000, 600000, nullptr, "redis://127.0.0.1:6380/1",
       {"[SESSIONS] Store: redis://127.0.0.1:6380/1 needs a restart; sessions stay in memory"}, 600000},
      {"one Redis to another, and off", 600000, 0, "redis://a:6379/0", "redis://b:6379/0",
       {"[APP] LoginTimeout: switching sessions off needs a restart; sessions stay on",
        "[SESSIONS] Store: redis://b:6379/0 needs a restart; sessions stay in redis://a:6379/0"},
       600000},
  };
  for (const Case& c : cases) {
    ServiceSettings running, next;
    running.session_timeout = c.timeout_before;
    running.session_store = Redis(c.store_before);
    next.session_timeout = c.timeout_after;
    next.session_store = Redis(c.store_after);
    next.port = 8081;  // anything else is left alone
    EXPECT_EQ(KeepWhatNeedsARestart(running, next), c.reported) << c.name;
    EXPECT_EQ(next.session_timeout, c.timeout_kept) << c.name;
    EXPECT_EQ(next.session_store ? next.session_store->Text() : "memory",
              running.session_store ? running.session_store->Text() : "memory")
        << c.name;
    EXPECT_EQ(next.port, 8081) << c.name;
  }
}

TEST(SettingsChangesTest, DatabaseSettingsTextChangesWithEachKeyAModuleReads) {
  const std::string folder = test::MakeTempFolder("qv_settings_changes");
  ASSERT_FALSE(folder.empty());
  auto text = [&](const std::string& ini) {
    const std::string path = folder + "/qvweb.ini";
    std::ofstream(path) << ini;
    return DatabaseSettingsText(IniFile(path));
  };
  const std::string base = "[DB]\nDBName=/a.fdb\nUser=SYSDBA\nPass=x\nConnectTimeout=10\nQueryTimeout=60\n";
  const std::string before = text(base);
  EXPECT_EQ(text("[APP]\nPort=81\n" + base + "[DB]\nQueryTimeout=5\n"), before)
      << "keys a module does not read";
  for (const char* changed :
       {"DBName=/b.fdb", "User=OTHER", "Pass=y", "ConnectTimeout=20"}) {
    EXPECT_NE(text(base + "[DB]\n" + std::string(changed) + "\n"), before) << changed;
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qv
