// The log-on form and the check of the submitted name and password against
// the user table, which records the outcome in the visitor's session.
#include <string>

#include "pages/page_frame.h"
#include "pages/page_text.h"

namespace qv {

namespace {

constexpr StatementText kUserQuery{
    "SELECT DB_USER_ID FROM DB_USERS\n"
    "WHERE UPPER(DB_USER_NAME) = :UNAME\n"
    "AND DB_USER_PASSWORD = :UPASS"};

}  // namespace

void LogOnPage(PageContext& page) {
  PageStream& out = page.out;
  BeginPageTransaction(page.db);
  out.WriteString(frame::kBareHead);
  PageBanner(page, "Log On");
  out.WriteString("<form method=\"POST\" action=\"/DOLOGIN\">");
  out.WriteString("  <p align=\"center\">Username</p>");
  out.WriteString("  <p align=\"center\"><input type=\"text\" name=\"uName\" size=\"20\"></p>");
  out.WriteString("  <p align=\"center\">Password</p>");
  out.WriteString(
      "  <p align=\"center\"><input type=\"password\" name=\"uPass\" size=\"20\"></p>");
  out.WriteString(
      "  <p align=\"center\"><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  out.WriteString("</form>");
  out.WriteString("</div></div></body></html>");
}

void DoLogin(PageContext& page) {
  PageRequest& request = page.request;
  BeginPageTransaction(page.db);
  const std::string name = UpperCaseAscii(TrimText(request.Param("uName")));
  const std::string password = TrimText(request.Param("uPass"));

  // Name and password go in as parameters: no text can change the statement.
  Cursor& user = page.db.Statement(kUserQuery);
  SetTextParam(user.Params()[0], name);
  SetTextParam(user.Params()[1], password);
  user.Open();

  if (user.Fields()[0].AsInteger() > 0) {
    request.SetSessionValue("LoggedIn", "True");
    page.logged_on = true;
  } else {
    request.SetSessionValue("LoggedIn", "False");
  }
  user.Close();
}

}  // namespace qv
