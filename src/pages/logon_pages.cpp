// The log-on form and the check of the submitted name and password against
// the user table, which records the outcome in the visitor's session.
#include <string>

#include "pages/logon_state.h"
#include "pages/page_frame.h"
#include "pages/page_text.h"

namespace qv {

namespace {

enum class UserColumn { kUserId, kCount };
constexpr QueryText<UserColumn> kUserQuery{
    "SELECT DB_USER_ID FROM DB_USERS\n"
    "WHERE UPPER(DB_USER_NAME) = :UNAME\n"
    "AND DB_USER_PASSWORD = :UPASS"};

}  // namespace

void LogOnPage(PageContext& page) {
  PageStream& out = page.out;
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
  const std::string name = UpperCaseAscii(TrimText(request.Param("uName")));
  const std::string password = TrimText(request.Param("uPass"));

  // Name and password go in as parameters: no text can change the statement.
  const auto user = page.db.Query(kUserQuery, name, password);
  if (user.Integer(UserColumn::kUserId) > 0) {
    request.SetSessionValue(kLoggedInName, std::string(kLoggedInTrue));
    page.logged_on = true;
  } else {
    request.SetSessionValue(kLoggedInName, std::string(kLoggedInFalse));
  }
}

}  // namespace qv
