// The shared beginning and end of the server-process tests.
#include "process_fixture.h"

#include <filesystem>

#include "support/http_client.h"
#include "support/ports.h"
#include "support/test_files.h"

namespace qv::test {

void ServerProcessTest::SetUpServer(const std::string& prefix) {
  folder_ = MakeTempFolder(prefix);
  ASSERT_FALSE(folder_.empty());
  ASSERT_TRUE(notify_.Bound());
  MakeHtDocs(folder_);
  port_ = FreePort();
  server_ = std::make_unique<ServerProcess>(QV_WEB_BINARY, folder_);
}

void ServerProcessTest::TearDown() {
  server_.reset();
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

void ServerProcessTest::StartServer(const std::vector<std::string>& args) {
  ASSERT_TRUE(server_->Start(notify_.Path(), args));
  ASSERT_TRUE(notify_.AwaitRunning()) << server_->Log();
}

std::string ServerProcessTest::LogOn() {
  auto first = TryExchange(port_, GetRequest("/"));
  EXPECT_TRUE(first && first->status == 200 && first->complete) << server_->Log();
  const std::string cookie = first ? SessionCookie(*first) : "";
  auto logged = TryExchange(port_, PostFormRequest("/DOLOGIN", "uName=demo&uPass=demo", cookie));
  EXPECT_TRUE(logged && logged->body.find("href=\"/LOGOFF\"") != std::string::npos);
  // The log-on moved the session to a new identifier.
  return logged ? SessionCookie(*logged) : "";
}

}  // namespace qv::test
