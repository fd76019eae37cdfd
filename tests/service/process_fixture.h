// Where the tests of the built server as a process begin: a folder of the
// test's own with the logo in htdocs, a free port, a stand-in for the service
// manager's notification socket, and the server copied into the folder, not
// started yet. The folder goes at the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/notify_socket.h"
#include "support/server_process.h"

namespace qv::test {

// A settings file: the lines of extra first, then each of working's
// (section, "key=value") lines whose key extra does not give already, so
// that extra's keys win without a key given twice (which is a finding).
std::string MergedSettings(const std::string& extra,
                           const std::vector<std::pair<std::string, std::string>>& working);

class ServerProcessTest : public ::testing::Test {
 protected:
  // Makes the folder /tmp/<prefix>_XXXXXX, picks the port and puts the server
  // there; call it from SetUp under ASSERT_NO_FATAL_FAILURE.
  void SetUpServer(const std::string& prefix);
  // Ends a server still running and removes the folder.
  void TearDown() override;

  // Starts the server with the arguments and waits until it reports that it
  // runs.
  void StartServer(const std::vector<std::string>& args = {});
  // Logs on as demo on a new session; the cookie the log-on gave.
  std::string LogOn();

  std::string folder_;
  int port_ = 0;
  NotifySocket notify_;
  std::unique_ptr<ServerProcess> server_;
};

}  // namespace qv::test
