// The main menu, request-information and under-construction pages, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "page_fixture.h"

namespace qv::pagetest {
namespace {

class MainMenuTest : public PageTest {
 protected:
  MainMenuTest() {
    database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing')");
  }
};

std::string MainMenuText(std::string_view logged_in) {
  return TitledHead("Property List") + BannerText("Harbor Housing", "Main Menu", logged_in) +
         "<br>"
         "<div style=\"text-align: center;\"><b><big><big><big>Quorvale</big></big></big></big>"
         "</b></div>"
         "<p align=\"center\"><IMG height=291 src=\"/image/qv_logo_jpg.jpg\" width=361 "
         "align=center border=0 name=Graphic1></p>"
         "<div style=\"text-align: center;\"><b><big><big><big>Norvanta Web</big></big></big></b>"
         "</div>"
         "<br>" +
         std::string(kColumnTable) +
         "<THEAD><TR VALIGN=TOP>"
         "      <TH WIDTH=20% bgcolor=\"#99CCFF\"><P><a href=\"/\">Setup</a><br></P></th>"
         "      <TH WIDTH=60% bgcolor=\"#99CCFF\"><P><br></P></th>"
         "      <TH WIDTH=20% bgcolor=\"#99CCFF\"><P><br></P></th>"
         "</THEAD></TABLE></TBODY></TABLE></body></html>";
}

TEST_F(MainMenuTest, MainMenuForEachLogOnState) {
  for (const char* logged_in : {"True", "False", ""}) {
    SimplePageRequest request = Request(logged_in);
    EXPECT_EQ(Run("MainMenuPage", request), MainMenuText(logged_in)) << logged_in;
  }
}

TEST_F(MainMenuTest, UnderConstruction) {
  SimplePageRequest request = Request("True");
  EXPECT_EQ(Run("UnderConstructionPage", request),
            TitledHead("Under Construction") +
                BannerText("Harbor Housing", "Under Construction", "True") + "</body></html>");
}

const char kInfoHead[] =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html><head><meta "
    "content=\"text/html; charset=ISO-8859-1\" http-equiv=\"content-type\"> <title>HTTP "
    "Info</title></head><body>";

TEST_F(MainMenuTest, RequestInformation) {
  struct Case {
    DateTimeParts now;
    const char* stamp;  // the banner's
    const char* line;   // the page's own date and time line
  } const cases[] = {
      {{2026, 3, 5, 0, 5, 9, 0}, "3/5/2026 at 12:05  AM<BR>", "03/05/2026  @  12:05:09  AM<br>"},
      {{2026, 11, 25, 13, 45, 1, 0}, "11/25/2026 at 1:45  PM<BR>",
       "11/25/2026  @  01:45:01  PM<br>"},
      {{2027, 7, 4, 12, 0, 0, 0}, "7/4/2027 at 12:00  PM<BR>", "07/04/2027  @  12:00:00  PM<br>"},
  };
  for (const Case& c : cases) {
    clock.Set(c.now);
    SimplePageRequest request = Request("True");
    request.command = "GET";
    request.host = "localhost:8080";
    request.connection = "close";
    request.query_params = "x=1";
    request.version = "HTTP/1.1";
    request.document = "/ipinfo";
    EXPECT_EQ(Run("HttpInfoPage", request),
              std::string(kInfoHead) + BannerText("Harbor Housing", "HTML Info", "True", c.stamp) +
                  c.line +
                  "Command = GET<br>ContentType = <br>Connection = close<br>From = <br>"
                  "GetNamePath = TIdHTTPRequestInfo<br>Host = localhost:8080<br>"
                  "QueryParams = x=1<br>Version = HTTP/1.1<br>Document = /ipinfo<br>"
                  "</body></html>")
        << c.line;
  }
}

// Request text is echoed escaped: markup in a header or the path shows as text.
TEST_F(MainMenuTest, RequestInformationEscapesRequestText) {
  SimplePageRequest request = Request("True");
  request.command = "POST";
  request.content_type = "text/plain; a=\"b\"";
  request.from = "<me@example.org>";
  request.host = "h'x";
  request.query_params = "a=1&b=<i>";
  request.version = "HTTP/1.0";
  request.document = "/IPINFO/<script>";
  const std::string page = Run("HttpInfoPage", request);
  const std::string expected_tail =
      "Command = POST<br>ContentType = text/plain; a=&quot;b&quot;<br>Connection = <br>"
      "From = &lt;me@example.org&gt;<br>GetNamePath = TIdHTTPRequestInfo<br>Host = h&#39;x<br>"
      "QueryParams = a=1&amp;b=&lt;i&gt;<br>Version = HTTP/1.0<br>"
      "Document = /IPINFO/&lt;script&gt;<br></body></html>";
  EXPECT_EQ(page, std::string(kInfoHead) + BannerText("Harbor Housing", "HTML Info", "True") +
                      "03/05/2026  @  12:07:09  AM<br>" + expected_tail);
}

}  // namespace
}  // namespace qv::pagetest
