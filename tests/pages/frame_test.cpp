// The shared page pieces: banner states and clock text, the property tab bar,
// and the page transaction bracket.
#include "pages/page_frame.h"

#include <gtest/gtest.h>

#include <string>

#include "page_fixture.h"
#include "platform/exception.h"

namespace qv::pagetest {
namespace {

class FrameTest : public PageTest {
 protected:
  std::string Banner(PageRequest& request, std::string_view title) {
    PageStream out;
    PageContext page{request, out, session, clock, PageNamed("MainMenuPage"), errors};
    PageBanner(page, title);
    return out.TakeDataString();
  }
  // The tab bar with the tab at that position of the bar shown.
  std::string Tabs(int32_t id, int current) {
    PageStream out;
    PropertyTabs(out, id, TabAt(current));
    return out.TakeDataString();
  }
  // The page run whole, as the router runs it (RunPage); raises what it raises.
  std::string RunWhole(std::string_view name, PageRequest& request) {
    PageStream out;
    PageContext page{request, out, session, clock, PageNamed(name), errors};
    RunPage(page);
    return out.TakeDataString();
  }
};

struct BannerCase {
  const char* logged_in;  // "" means no such session value
  bool no_session;
};

TEST_F(FrameTest, BannerFollowsTheLoggedInValue) {
  database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing')");
  const BannerCase cases[] = {{"True", false}, {"False", false}, {"true", false},
                              {"FALSE", false}, {"", false},     {"", true}};
  for (const BannerCase& c : cases) {
    SimplePageRequest request = Request(c.logged_in);
    request.has_session = !c.no_session;
    EXPECT_EQ(Banner(request, "Some Title"), BannerText("Harbor Housing", "Some Title", c.logged_in))
        << "LoggedIn=" << c.logged_in << " noSession=" << c.no_session;
  }
}

TEST_F(FrameTest, BannerSpelledOutForALoggedOutVisitor) {
  database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing')");
  SimplePageRequest request = Request("False");
  EXPECT_EQ(Banner(request, "Log On"),
            "<TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3><COL WIDTH=85*><COL "
            "WIDTH=85*><COL WIDTH=85*><THEAD><TH WIDTH=25% bgcolor=\"#99CCFF\">Harbor Housing</TH>"
            "<TH WIDTH=50% bgcolor=\"#99CCFF\"><big><big><big>Log On</big></big></big></TH>"
            "<TH WIDTH=25% bgcolor=\"#99CCFF\">3/5/2026 at 12:07  AM<BR>by Quorvale Norvanta Web  "
            "NOT LOGGED IN </TH></THEAD></TABLE><TABLE WIDTH=100% BORDER=1 CELLPADDING=4 "
            "CELLSPACING=3><COL WIDTH=85*><COL WIDTH=85*><COL WIDTH=85*><THEAD><TR VALIGN=TOP>"
            "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGON\">Logon</a><br></P></th>"
            "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/\">Main Menu</a><br></th>"
            "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/list\">Property List</a><br></th>"
            "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/Reports\"></a><br></th>"
            "      <TH WIDTH=20% bgcolor=\"#3399FF\"><br></th></THEAD></TABLE>");
}

TEST_F(FrameTest, BannerAgencyCell) {
  struct Case {
    const char* rows;  // statements run first, ";"-separated
    const char* shown;
  } const cases[] = {
      {"", ""},
      {"INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'First Agency');"
       "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (2, 'Second Agency');",
       "First Agency"},
      {"INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, '<b>A & \"B\"</b>');",
       "<b>A & \"B\"</b>"},
      {"INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, NULL);", ""},
  };
  for (const Case& c : cases) {
    database.Exec("DELETE FROM AGENCY");
    if (*c.rows) database.ExecScript(c.rows);
    SimplePageRequest request = Request("True");
    EXPECT_EQ(Banner(request, "T"), BannerText(c.shown, "T", "True")) << c.rows;
  }
}

TEST_F(FrameTest, BannerClockText) {
  struct Case {
    DateTimeParts now;
    const char* stamp;
  } const cases[] = {
      {{2026, 3, 5, 0, 7, 0, 0}, "3/5/2026 at 12:07  AM<BR>"},
      {{2026, 3, 5, 12, 30, 59, 0}, "3/5/2026 at 12:30  PM<BR>"},
      {{2026, 12, 31, 23, 59, 59, 999}, "12/31/2026 at 11:59  PM<BR>"},
      {{2027, 1, 9, 11, 0, 0, 0}, "1/9/2027 at 11:00  AM<BR>"},
      {{2027, 10, 10, 13, 5, 0, 0}, "10/10/2027 at 1:05  PM<BR>"},
  };
  for (const Case& c : cases) {
    clock.Set(c.now);
    SimplePageRequest request = Request("True");
    EXPECT_EQ(Banner(request, "T"), BannerText("", "T", "True", c.stamp)) << c.stamp;
  }
}

TEST_F(FrameTest, TabsLinkEveryOtherTabOfTheProperty) {
  struct Case {
    int32_t id;
    int current;
  } const cases[] = {{0, 6}, {17, 0}, {17, 1}, {2048, 2}, {5, 3}, {5, 4}, {5, 5}, {-12, 6}, {9, 7}, {9, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(Tabs(c.id, c.current), TabsText(c.id, c.current)) << c.id << " " << c.current;
  }
}

// The seven tabs of a property, spelled out.
TEST_F(FrameTest, TabsSpelledOut) {
  const std::string bar = Tabs(-3, 2);
  const std::string seven =
      "</THEAD></TABLE><TABLE WIDTH=100% BORDER=1 CELLPADDING=4 CELLSPACING=3><COL "
      "WIDTH=85*><COL WIDTH=85*><COL WIDTH=85*><THEAD><TR VALIGN=TOP>"
      "      <TH WIDTH=16% bgcolor=\"#3399FF\"><P><a href=\"/Propinfo?propid=-3\">Property "
      "Info</a><br></P></th>"
      "      <TH WIDTH=14% bgcolor=\"#3399FF\"><P><a href=\"/People?propid=-3\">People</a>"
      "<br></P></th>"
      "      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>Access Info</P></th>"
      "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Notes?propid=-3\">Notes</a><br></th>"
      "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Cpted?propid=-3\">CPTED</a><br></th>"
      "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Auth?propid=-3\">Authorizations</a>"
      "<br></th>"
      "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Violations?propid=-3\">Violations"
      "</a><br></th>";
  // With more tabs the widths are shares of their number.
  if (PropertyTabRows().size() == 7) {
    EXPECT_EQ(bar, seven + "</THEAD></TABLE>");
  }
  EXPECT_EQ(bar, TabsText(-3, 2));
}

// A request whose parameters cannot be read: the page fails after its bracket began.
class FailingRequest : public SimplePageRequest {
 public:
  std::string Param(std::string_view) const override { throw Exception("request broken"); }
};

TEST_F(FrameTest, AFailedPageLeavesNothingInTheWayOfTheNextPage) {
  database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing')");
  FailingRequest failing;
  EXPECT_THROW(Run("DoLogin", failing), Exception);

  SimplePageRequest request = Request("False");
  const std::string page = Run("LogOnPage", request);
  EXPECT_EQ(page.substr(0, page.find("<form")),
            std::string(kBareHead) + BannerText("Harbor Housing", "Log On", "False"));
  EXPECT_FALSE(HoldsSnapshot(session));
}

TEST_F(FrameTest, EachBracketedPageSeesWhatWasCommittedBeforeIt) {
  database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Before')");
  SimplePageRequest request = Request("True");
  EXPECT_NE(Run("LogOnPage", request).find(">Before</TH>"), std::string::npos);
  database.Exec("UPDATE AGENCY SET AGENCY_NAME = 'After'");
  EXPECT_NE(Run("LogOnPage", request).find(">After</TH>"), std::string::npos);
  EXPECT_FALSE(HoldsSnapshot(session));
}

// Through RunPage, as the router runs pages: no page leaves a snapshot
// behind, whether it brackets its queries, runs them in the transaction the
// layer starts by itself, or fails half way; what another attachment
// commits shows on the next page.
TEST_F(FrameTest, NoSnapshotOutlivesAPageRun) {
  database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Before')");
  {
    // The check sees a snapshot when there is one.
    Transaction snapshot(session.Connection(), TransactionMode{.read_only = true});
    EXPECT_TRUE(HoldsSnapshot(session));
  }
  for (const char* page : {"MainMenuPage", "HttpInfoPage", "UnderConstructionPage", "LogOnPage"}) {
    SimplePageRequest request = Request("True");
    EXPECT_NE(RunWhole(page, request).find(">Before</TH>"), std::string::npos) << page;
    EXPECT_FALSE(HoldsSnapshot(session)) << page;
  }
  FailingRequest failing;
  EXPECT_THROW(RunWhole("DoLogin", failing), Exception);
  EXPECT_FALSE(session.InTransaction());  // a failed page ends what was open
  EXPECT_EQ(PageTransaction(session), 0);

  database.Exec("UPDATE AGENCY SET AGENCY_NAME = 'After'");
  SimplePageRequest request = Request("False");
  EXPECT_NE(RunWhole("MainMenuPage", request).find(">After</TH>"), std::string::npos);
  database.Exec("UPDATE AGENCY SET AGENCY_NAME = 'Later'");
  EXPECT_NE(RunWhole("LogOnPage", request).find(">Later</TH>"), std::string::npos);
  EXPECT_FALSE(HoldsSnapshot(session));
}

// Pages go on in one server transaction rather than starting and committing
// one each; a failed page ends it and the next page starts another.
TEST_F(FrameTest, PagesShareOneTransactionUntilOneFails) {
  database.Exec("INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Agency')");
  SimplePageRequest request = Request("True");
  RunWhole("MainMenuPage", request);
  const int32_t first = PageTransaction(session);
  EXPECT_NE(first, 0);
  for (const char* page : {"LogOnPage", "PropertyListPage", "MainMenuPage", "PeoplePage"}) {
    RunWhole(page, request);
    EXPECT_EQ(PageTransaction(session), first) << page;
  }
  // A failure before the page's first query ends the transaction all the same.
  FailingRequest failing;
  EXPECT_THROW(RunWhole("DoLogin", failing), Exception);
  EXPECT_EQ(PageTransaction(session), 0);
  RunWhole("LogOnPage", request);
  EXPECT_GT(PageTransaction(session), first);
}

}  // namespace
}  // namespace qv::pagetest
