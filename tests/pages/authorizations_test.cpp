// The Authorizations page and its query file: rows newest first, the empty row,
// the file's exact text, a file that cannot be made, and many writers at once.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "tab_page_test.h"
#include "tab_page_text.h"

namespace qv::pagetest {
namespace {

struct Authorization {
  std::string title, signed_by, signer_title, received, expires;
};

std::string AuthPageText(std::string_view name, int32_t id, const std::vector<Authorization>& rows) {
  const std::string cell = "<TD WIDTH=20% bgcolor=\"#E8E8E8\"><P>";
  std::string s = TabPageStart("Property Authorizations", name, id, 5) + std::string(kPlainTable) +
                  "<THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Authorization Title<BR></P></B></TD>"
                  "<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Signed By Name<BR></P></B></TD>"
                  "<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Signed By Title<BR></P></B></TD>"
                  "<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Recieved Date<BR></P></B></TD>"
                  "<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Expire Date<BR></P></B></TD>"
                  "</TR></THEAD>" +
                  std::string(kRowStart);
  if (rows.empty()) {
    s += cell + "No Notes<br></P></TD>";
    for (int i = 0; i < 3; ++i) s += cell + " <br></P></TD>";
    s += cell + " <br></P></TD></TR>";
  }
  for (const Authorization& a : rows) {
    s += Cell(cell, a.title) + Cell(cell, a.signed_by) + Cell(cell, a.signer_title) +
         Cell(cell, a.received) + cell + "<b>" + a.expires + " <br></P></TD></TR>";
  }
  return s + std::string(kTableEnd);
}

const std::vector<Authorization> kAuthorizationsOf42 = {
    {"Parking", "Sam Roe", "Manager", "2/1/2012", ""},  // no expiry date
    {"Trespass <b>", "Pat Lee", "Owner", "1/5/2010", "1/5/2011"},
};

// The query file a request for property `id` leaves behind.
std::string QueryFileText(int32_t id) {
  return "SELECT \r\n"
         "   A.AUTHORIZATIONS_ID, \r\n"
         "   A.AUTH_PROPERTY_ID, \r\n"
         "   A.AUTH_TITLE, \r\n"
         "   A.AUTH_NOTICE_SENT_ON, \r\n"
         "   A.AUTH_RECEIVED_ON, \r\n"
         "   A.AUTH_EXPIRES_ON, \r\n"
         "   A.AUTH_SIGNED_BY_NAME, \r\n"
         "   A.AUTH_SIGNED_BY_TITLE \r\n"
         "FROM AUTHORIZATIONS A \r\n"
         "WHERE A.AUTH_PROPERTY_ID = " +
         std::to_string(id) +
         "\r\n"
         "  ORDER BY A.AUTH_RECEIVED_ON DESC\r\n";
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the test in a directory of its own, so the query file lands there.
class ScopedWorkingDirectory {
 public:
  ScopedWorkingDirectory() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-auth-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    std::filesystem::current_path(path_);
  }
  ~ScopedWorkingDirectory() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path previous_, path_;
};

std::vector<std::string> FileNames(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

class AuthorizationsTest : public TabPageTest {
 protected:
  AuthorizationsTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (42, 'Harbor View');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
        "INSERT INTO AUTHORIZATIONS (AUTHORIZATIONS_ID, AUTH_PROPERTY_ID, AUTH_TITLE, "
        "AUTH_NOTICE_SENT_ON, AUTH_RECEIVED_ON, AUTH_EXPIRES_ON, AUTH_SIGNED_BY_NAME, "
        "AUTH_SIGNED_BY_TITLE) VALUES (1, 42, 'Trespass <b>', '2010-01-01', '2010-01-05', "
        "'2011-01-05', 'Pat Lee', 'Owner');"
        "INSERT INTO AUTHORIZATIONS (AUTHORIZATIONS_ID, AUTH_PROPERTY_ID, AUTH_TITLE, "
        "AUTH_NOTICE_SENT_ON, AUTH_RECEIVED_ON, AUTH_EXPIRES_ON, AUTH_SIGNED_BY_NAME, "
        "AUTH_SIGNED_BY_TITLE) VALUES (2, 42, 'Parking', NULL, '2012-02-01', NULL, 'Sam Roe', "
        "'Manager');"
        "INSERT INTO AUTHORIZATIONS (AUTHORIZATIONS_ID, AUTH_PROPERTY_ID, AUTH_TITLE, "
        "AUTH_RECEIVED_ON) VALUES (3, 8, 'Elsewhere', '2015-01-01');");
  }

  std::string ExpectedPage(int32_t id) const {
    if (id == 42) return AuthPageText("Harbor View", 42, kAuthorizationsOf42);
    if (id == 7) return AuthPageText("Elm Court", 7, {});
    return AuthPageText("", id, {});
  }

  ScopedWorkingDirectory directory;
};

TEST_F(AuthorizationsTest, ListsAuthorizationsNewestFirst) {
  EXPECT_EQ(RunWith("AuthorizationsPage", "PROPID", "42"), ExpectedPage(42));
}

TEST_F(AuthorizationsTest, PropertyWithoutAuthorizationsShowsTheEmptyRow) {
  EXPECT_EQ(RunWith("AuthorizationsPage", "PROPID", "7"), ExpectedPage(7));
}

TEST_F(AuthorizationsTest, PropidFormsAndTheQueryFile) {
  for (const IdCase& c : kIdCases) {
    SCOPED_TRACE(c.text ? c.text : "(missing)");
    EXPECT_EQ(RunWith("AuthorizationsPage", "PROPID", c.text), ExpectedPage(c.id));
    EXPECT_EQ(ReadFile("Authorizations.sql"), QueryFileText(c.id));
  }
  // Only the query file is left in the directory: no temporary files.
  EXPECT_EQ(FileNames(directory.Path()), std::vector<std::string>{"Authorizations.sql"});
}

TEST_F(AuthorizationsTest, QueryFileHoldsTwelveLinesEndedByCrLf) {
  RunWith("AuthorizationsPage", "PROPID", "7");
  const std::string text = ReadFile("Authorizations.sql");
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[10], "WHERE A.AUTH_PROPERTY_ID = 7");
  EXPECT_EQ(text, QueryFileText(7));
}

TEST_F(AuthorizationsTest, FileThatCannotBeWrittenIsReportedAndThePageStillShows) {
  std::vector<std::string> reported;
  errors.SetHandler([&reported](const std::string& message) { reported.push_back(message); });
  std::filesystem::create_directory("Authorizations.sql");
  const std::string page = RunWith("AuthorizationsPage", "PROPID", "42");
  errors.SetHandler({});
  EXPECT_EQ(page, ExpectedPage(42));
  EXPECT_EQ(reported, std::vector<std::string>{"Cannot create file \"Authorizations.sql\". Is a directory"});
  // No temporary file is left beside it.
  EXPECT_EQ(FileNames(directory.Path()), std::vector<std::string>{"Authorizations.sql"});
  std::filesystem::remove("Authorizations.sql");
}

TEST_F(AuthorizationsTest, ReadOnlyFolderKeepsTheOldFileWhole) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  EXPECT_EQ(RunWith("AuthorizationsPage", "PROPID", "7"), ExpectedPage(7));
  std::filesystem::permissions(directory.Path(), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  std::vector<std::string> reported;
  errors.SetHandler([&reported](const std::string& message) { reported.push_back(message); });
  const std::string page = RunWith("AuthorizationsPage", "PROPID", "42");
  errors.SetHandler({});
  std::filesystem::permissions(directory.Path(), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(page, ExpectedPage(42));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(ReadFile("Authorizations.sql"), QueryFileText(7));
}

TEST_F(AuthorizationsTest, ParallelWritersEachGetTheirWholePageAndFile) {
  constexpr int kWriters = 4;
  constexpr int kRequestsEach = 12;
  const std::string texts[2] = {QueryFileText(42), QueryFileText(7)};
  const std::string pages[2] = {ExpectedPage(42), ExpectedPage(7)};

  std::vector<std::unique_ptr<DatabaseSession>> sessions;
  for (int i = 0; i < kWriters; ++i) {
    sessions.push_back(std::make_unique<DatabaseSession>());
    database.Configure(sessions.back()->Connection());
    sessions.back()->Attach();
  }

  std::atomic<int> writers_left{kWriters};
  std::atomic<int> wrong_pages{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int r = 0; r < kRequestsEach; ++r) {
        const int which = (w + r) % 2;
        SimplePageRequest request = RequestWith("PROPID", which == 0 ? "42" : "7");
        PageStream out;
        PageContext page{request, out, *sessions[w], clock, PageNamed("AuthorizationsPage"),
                         errors};
        page.entry.handler(page);
        if (out.DataString() != pages[which]) ++wrong_pages;
      }
      --writers_left;
    });
  }
  // While the writers run, the file is always absent or one request's whole text.
  int reads = 0, bad_reads = 0;
  while (writers_left.load() > 0) {
    if (!std::filesystem::exists("Authorizations.sql")) continue;
    const std::string text = ReadFile("Authorizations.sql");
    ++reads;
    if (text != texts[0] && text != texts[1]) ++bad_reads;
  }
  for (std::thread& t : writers) t.join();

  EXPECT_EQ(wrong_pages.load(), 0);
  EXPECT_EQ(bad_reads, 0) << "of " << reads << " reads";
  const std::string last = ReadFile("Authorizations.sql");
  EXPECT_TRUE(last == texts[0] || last == texts[1]);
  EXPECT_EQ(FileNames(directory.Path()), std::vector<std::string>{"Authorizations.sql"});
}

}  // namespace
}  // namespace qv::pagetest
