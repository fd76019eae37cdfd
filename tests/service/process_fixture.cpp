// The shared beginning and end of the server-process tests.
#include "process_fixture.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "support/http_client.h"
#include "support/ports.h"
#include "support/test_files.h"

namespace qv::test {

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string MergedSettings(const std::string& extra,
                           const std::vector<std::pair<std::string, std::string>>& working) {
  std::vector<std::string> given;  // "SECTION/KEY"
  std::string section;
  for (std::string line : Lines(extra)) {
    line.erase(0, line.find_first_not_of(" \t"));
    if (!line.empty() && line.front() == '[')
      section = Upper(line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1));
    else if (line.find('=') != std::string::npos)
      given.push_back(section + "/" + Upper(line.substr(0, line.find('='))));
  }
  std::string text = extra.empty() || extra.back() == '\n' ? extra : extra + "\n";
  std::string current;
  for (const auto& [in, line] : working) {
    const std::string key = Upper(in) + "/" + Upper(line.substr(0, line.find('=')));
    if (std::find(given.begin(), given.end(), key) != given.end()) continue;
    if (in != current) text += "[" + in + "]\n";
    current = in;
    text += line + "\n";
  }
  return text;
}

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
