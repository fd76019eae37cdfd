// The page module's components and the pieces every page shares: the banner
// with the menu bar, the property tab bar and the page transaction bracket.
#include "pages/page_frame.h"

#include <cstdio>
#include <string>

#include "pages/page_module.h"
#include "pages/page_statements.h"
#include "platform/datetime.h"

namespace qv {

namespace {

// "h:mm  AM": 12-hour clock, hour without leading zero, two blanks before the designator.
std::string BannerTimeText(const DateTimeParts& now) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d%c%02d  %s", Hour12(now.hour), kTimeSeparator, now.minute,
                AmPm(now.hour));
  return buf;
}

struct TabCell {
  std::string_view current;    // the plain cell of the page being shown
  std::string_view linkStart;  // the linked cell up to the property id
  std::string_view linkEnd;    // the linked cell after the property id
};

// The seven tabs in the order of their codes.
constexpr TabCell kTabs[] = {
    {"      <TH WIDTH=16% bgcolor=\"#51C2F9\"><P>Property Info</P></th>",
     "      <TH WIDTH=16% bgcolor=\"#3399FF\"><P><a href=\"/Propinfo?propid=",
     "\">Property Info</a><br></P></th>"},
    {"      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>People</P></th>",
     "      <TH WIDTH=14% bgcolor=\"#3399FF\"><P><a href=\"/People?propid=",
     "\">People</a><br></P></th>"},
    {"      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>Access Info</P></th>",
     "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Access?propid=",
     "\">Access Info</a><br></th>"},
    {"      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>Notes</P></th>",
     "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Notes?propid=", "\">Notes</a><br></th>"},
    {"      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>CPTED</P></th>",
     "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Cpted?propid=", "\">CPTED</a><br></th>"},
    {"      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>Authorizations</P></th>",
     "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Auth?propid=",
     "\">Authorizations</a><br></th>"},
    {"      <TH WIDTH=14% bgcolor=\"#51C2F9\"><P>Violations</P></th>",
     "      <TH WIDTH=14% bgcolor=\"#3399FF\"><a href=\"/Violations?propid=",
     "\">Violations</a><br></th>"},
};

}  // namespace

TPageModule::TPageModule(const Clock& clock)
    : trMain(dbMain),
      qSelect(dbMain, trMain),
      qArea(dbMain, trMain),
      qPhones(dbMain, trMain),
      qNotes(dbMain, trMain),
      qInspecs(dbMain, trMain),
      qSelect2(dbMain, trMain),
      clock_(clock) {
  dbMain.SetParam("PATH", kBuiltInDatabasePath);
  trMain.SetReadOnly(true);
  trMain.SetIsolation(TIB_Isolation::tiConcurrency);
  IB_Session1.defaultConnection = &dbMain;
  qArea.SQL().Add("SELECT AREA_ID, AREA_NAME");
  qArea.SQL().Add("FROM AREA");
  qArea.SQL().Add("ORDER BY AREA_NAME");
}

TPageModule::~TPageModule() = default;

void TPageModule::BeginPageTransaction() {
  if (trMain.InTransaction()) trMain.Commit();
  trMain.StartTransaction();
}

void TPageModule::EndPageTransaction() { trMain.Commit(); }

TIB_Cursor& TPageModule::Statement(const TStatementText& text) {
  std::unique_ptr<TIB_Cursor>& slot = statements_[&text];
  if (!slot) {
    slot = std::make_unique<TIB_Cursor>(dbMain, trMain);
    std::string_view rest = text.lines;
    while (!rest.empty()) {
      const size_t end = rest.find('\n');
      slot->SQL().Add(std::string(rest.substr(0, end)));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
  }
  return *slot;
}

void TPageModule::ForEachStatement(const std::function<void(TIB_Cursor&)>& visit) {
  for (auto& [text, statement] : statements_) visit(*statement);
}

void TPageModule::SetTextParam(TIB_Column& param, const std::string& text) {
  if (text.size() > static_cast<size_t>(param.DescribedLength())) {
    param.Clear();
  } else {
    param.SetAsString(text);
  }
}

void TPageModule::RunPage(TPageMethod page, TStringStream& out, TPageRequest& request) {
  try {
    (this->*page)(out, request);
    trMain.Commit();  // nothing when the page's bracket committed already
  } catch (...) {
    try {
      trMain.Rollback();
    } catch (...) {
      // The page's own failure is the one the visitor is told about.
    }
    throw;
  }
}

void TPageModule::PageBanner(TStringStream& out, TPageRequest& request, std::string_view title) {
  TIB_Cursor& agency = Statement(kAgencyQuery);
  agency.Open();
  const std::string agencyName = agency.Fields()[0].AsString();
  agency.Close();

  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD>");
  out.WriteString("<TH WIDTH=25% bgcolor=\"#99CCFF\">");
  out.WriteString(agencyName);
  out.WriteString("</TH>");
  out.WriteString("<TH WIDTH=50% bgcolor=\"#99CCFF\">");
  out.WriteString("<big><big><big>");
  out.WriteString(title);
  out.WriteString("</big></big></big>");
  out.WriteString("</TH>");
  out.WriteString("<TH WIDTH=25% bgcolor=\"#99CCFF\">");

  // Date and time come from two readings of the clock.
  out.WriteString(ShortDateText(clock_.Now()));
  out.WriteString(" at ");
  out.WriteString(BannerTimeText(clock_.Now()));
  out.WriteString("<BR>");

  if (request.SessionValue("LoggedIn") == "False") {
    out.WriteString("by Quorvale Norvanta Web  NOT LOGGED IN </TH>");
  } else {
    out.WriteString("by Quorvale Norvanta Web</TH>");
  }
  out.WriteString("</THEAD></TABLE>");

  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  if (request.SessionValue("LoggedIn") == "True") {
    out.WriteString(
        "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGOFF\">Logoff</a><br></P></th>");
  } else {
    out.WriteString(
        "      <TH WIDTH=20% bgcolor=\"#3399FF\"><P><a href=\"/LOGON\">Logon</a><br></P></th>");
  }
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/\">Main Menu</a><br></th>");
  out.WriteString(
      "      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/list\">Property List</a><br></th>");
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#3399FF\"><a href=\"/Reports\"></a><br></th>");
  out.WriteString("      <TH WIDTH=20% bgcolor=\"#3399FF\"><br></th>");
  out.WriteString("</THEAD></TABLE>");
}

void TPageModule::PropertyTabs(TStringStream& out, TPageRequest& /*request*/, int32_t propertyId,
                               int currentTab) {
  out.WriteString("</THEAD></TABLE>");
  out.WriteString(frame::kColumnTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  for (int code = kTabPropertyInfo; code <= kTabViolations; ++code) {
    const TabCell& tab = kTabs[code];
    if (code == currentTab) {
      out.WriteString(tab.current);
    } else {
      out.WriteString(tab.linkStart);
      out.WriteInteger(propertyId);
      out.WriteString(tab.linkEnd);
    }
  }
  out.WriteString("</THEAD></TABLE>");
}

}  // namespace qv

namespace qv {

void TPageModule::PropertyNameCell(TStringStream& out, std::string_view name) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<TBODY>");
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TH WIDTH=100% bgcolor=\"#E8E8E8\">");
  out.WriteString("<div style=\"text-align: center;\">");
  out.WriteString("<big><big><big><b>");
  out.WriteString(name);
  out.WriteString("</big></big></big></b>");
  out.WriteString("</TH>");
}

}  // namespace qv
