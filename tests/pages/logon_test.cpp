// The log-on form and the credential check against the user table.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "page_fixture.h"
#include "platform/exception.h"

namespace qv::pagetest {
namespace {

class LogOnTest : public PageTest {
 protected:
  LogOnTest() {
    database.ExecScript(
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (1, 'Alice', "
        "'secret');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (2, 'O''Brien', "
        "'it''s');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (3, 'Pad', "
        "' pad');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (0, 'Zero', "
        "'zero');"
        "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (-4, 'Minus', "
        "'minus');");
  }

  // Runs the log-on check, which writes nothing; whether name and password matched.
  bool Check(SimplePageRequest& request) {
    PageStream out;
    PageContext page{request, out, session, clock, PageNamed("DoLogin"), errors};
    page.entry.handler(page);
    EXPECT_EQ(out.DataString(), "");
    return page.logged_on;
  }
};

TEST_F(LogOnTest, Form) {
  SimplePageRequest request = Request("False");
  EXPECT_EQ(Run("LogOnPage", request),
            std::string(kBareHead) + BannerText("Harbor Housing", "Log On", "False") +
                "<form method=\"POST\" action=\"/DOLOGIN\">"
                "  <p align=\"center\">Username</p>"
                "  <p align=\"center\"><input type=\"text\" name=\"uName\" size=\"20\"></p>"
                "  <p align=\"center\">Password</p>"
                "  <p align=\"center\"><input type=\"password\" name=\"uPass\" size=\"20\"></p>"
                "  <p align=\"center\"><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>"
                "</form></div></div></body></html>");
}

TEST_F(LogOnTest, CredentialCheck) {
  struct Case {
    const char* name;
    const char* password;
    const char* before;  // LoggedIn before the check
    bool logged_on;
  } const cases[] = {
      {" alice ", "secret", "False", true},   // name trimmed, letter case ignored
      {"ALICE", "\tsecret ", "False", true},  // password trimmed
      {"alice", "SECRET", "False", false},    // password letter case counts
      {"alice", "wrong", "True", false},      // a wrong check logs a visitor off
      {"bob", "secret", "False", false},
      {"", "", "False", false},
      {"pad", " pad", "False", false},  // a stored password with a blank never matches
      {"zero", "zero", "False", false},  // ids of 0 or below never log on
      {"minus", "minus", "False", false},
      {"o'brien", "it's", "False", true},  // quotes are text, not statement
      {"x' OR '1'='1", "x' OR '1'='1", "False", false},
      {"alice' --", "", "False", false},
  };
  for (const Case& c : cases) {
    SimplePageRequest request = Request(c.before);
    request.document = "/DOLOGIN";
    request.Add("uName", c.name).Add("uPass", c.password).Add("B1", "Submit");
    EXPECT_EQ(Check(request), c.logged_on) << c.name;
    EXPECT_EQ(request.SessionValue("LoggedIn"), c.logged_on ? "True" : "False") << c.name;
    EXPECT_EQ(request.document, "/DOLOGIN") << c.name;
    EXPECT_FALSE(HoldsSnapshot(session)) << c.name;
  }
}

TEST_F(LogOnTest, TheFirstMatchingRowDecides) {
  database.ExecScript(
      "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (6, 'Twin', 'pw');"
      "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (-6, 'TWIN', 'pw');"
      "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (-7, 'Dual', 'pw');"
      "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD) VALUES (8, 'dual', 'pw');");
  for (const auto& [name, logged_on] : {std::pair{"twin", true}, std::pair{"dual", false}}) {
    SimplePageRequest request = Request("False");
    request.Add("uName", name).Add("uPass", "pw");
    EXPECT_EQ(Check(request), logged_on) << name;
    EXPECT_EQ(request.SessionValue("LoggedIn"), logged_on ? "True" : "False") << name;
  }
}

// A failed check is no answer: the visitor's state stays as it was.
TEST_F(LogOnTest, ADatabaseErrorLeavesTheStateAlone) {
  database.Exec("DROP TABLE DB_USERS");
  for (const char* before : {"True", "False"}) {
    SimplePageRequest request = Request(before);
    request.document = "/DOLOGIN";
    request.Add("uName", "alice").Add("uPass", "secret");
    EXPECT_THROW(Check(request), Exception) << before;
    EXPECT_EQ(request.SessionValue("LoggedIn"), before);
    EXPECT_EQ(request.document, "/DOLOGIN");
  }
}

// The client takes a statement of at most 65535 bytes. A password that pushes
// the statement just past that must not get it cut short after the name (the
// text after the name is some 27 bytes besides the password), which would
// check the name alone.
TEST_F(LogOnTest, AnOverlongPasswordNeverChecksTheNameAlone) {
  for (size_t length = 65536 - 32; length <= 65536 - 22; ++length) {
    SimplePageRequest request = Request("False");
    request.document = "/DOLOGIN";
    request.Add("uName", "alice").Add("uPass", std::string(length, 'z'));
    try {
      EXPECT_FALSE(Check(request)) << length;
    } catch (const Exception&) {
      // Refusing the statement is fine; logging on is not.
    }
    EXPECT_EQ(request.SessionValue("LoggedIn"), "False") << length;
    EXPECT_EQ(request.document, "/DOLOGIN") << length;
  }
}

TEST_F(LogOnTest, ParameterNamesIgnoreLetterCase) {
  SimplePageRequest request = Request("False");
  request.Add("UNAME", "Alice").Add("upass", "secret");
  EXPECT_TRUE(Check(request));
  EXPECT_EQ(request.SessionValue("LoggedIn"), "True");
}

}  // namespace
}  // namespace qv::pagetest
