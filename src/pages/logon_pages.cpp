// The log-on form and the check of the submitted name and password against
// the user table, which records the outcome in the visitor's session.
#include <string>

#include "pages/page_frame.h"
#include "pages/page_module.h"
#include "pages/page_text.h"

namespace qv {

void TPageModule::LogOnPage(TStringStream& out, TPageRequest& request) {
  BeginPageTransaction();
  out.WriteString(frame::kBareHead);
  PageBanner(out, request, "Log On");
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
  EndPageTransaction();
}

void TPageModule::DoLogin(TStringStream& /*out*/, TPageRequest& request) {
  BeginPageTransaction();
  const std::string name = UpperCaseAscii(TrimText(request.Param("uName")));
  const std::string password = TrimText(request.Param("uPass"));

  // Quotes are doubled so that no name or password can change the statement.
  qSelect.SQL().Clear();
  qSelect.SQL().Add("SELECT DB_USER_ID FROM DB_USERS");
  qSelect.SQL().Add("WHERE UPPER(DB_USER_NAME) = '" + SqlQuote(name) + "'");
  qSelect.SQL().Add("AND DB_USER_PASSWORD = '" + SqlQuote(password) + "'");
  qSelect.Prepare();
  qSelect.Open();

  if (qSelect.Fields()[0].AsInteger() > 0) {
    request.SetSessionValue("LoggedIn", "True");
    request.SetDocument("");
  } else {
    request.SetSessionValue("LoggedIn", "False");
  }
  qSelect.Close();
  EndPageTransaction();
}

}  // namespace qv
