// A stand-in connection module for router tests: operations note their names,
// pages write "<Name>", the log-on check accepts alice/pw; a page may fail half-way.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "pool/connection.h"

namespace qv::webtest {

class ConnectionDouble final : public IConnection {
 public:
  std::vector<std::string> calls;
  int references = 0;
  int mostReferences = 0;  // the most references held at once
  std::string failingPage;     // this page writes part of itself, then raises
  bool failWithStdError = false;  // raise a non-system error instead

  int32_t QueryInterface(const TGuid&, void** Obj) override {
    *Obj = nullptr;
    return kNoInterface;
  }
  int32_t _AddRef() override {
    if (++references > mostReferences) mostReferences = references;
    return references;
  }
  int32_t _Release() override { return --references; }
  TIB_Connection& DatabaseConnection() override { throw std::logic_error("not used"); }
  int32_t ReferenceCount() override { return references; }
  TDateTime LastReleaseTime() override { return 0; }

  void MainMenuPage(TStringStream& out, TPageRequest&) override { Page(out, "MainMenuPage"); }
  void HttpInfoPage(TStringStream& out, TPageRequest&) override { Page(out, "HttpInfoPage"); }
  void PropertyListPage(TStringStream& out, TPageRequest&) override {
    Page(out, "PropertyListPage");
  }
  void PropertyInfoPage(TStringStream& out, TPageRequest&) override {
    Page(out, "PropertyInfoPage");
  }
  void LogOnPage(TStringStream& out, TPageRequest&) override { Page(out, "LogOnPage"); }
  void DoLogin(TStringStream&, TPageRequest& request) override {
    calls.push_back("DoLogin");
    if (request.Param("uName") == "alice" && request.Param("uPass") == "pw") {
      request.SetSessionValue("LoggedIn", "True");
      request.SetDocument("");
    } else {
      request.SetSessionValue("LoggedIn", "False");
    }
  }
  void UnderConstructionPage(TStringStream& out, TPageRequest&) override {
    Page(out, "UnderConstructionPage");
  }
  void PeoplePage(TStringStream& out, TPageRequest&) override { Page(out, "PeoplePage"); }
  void AccessPage(TStringStream& out, TPageRequest&) override { Page(out, "AccessPage"); }
  void NotesPage(TStringStream& out, TPageRequest&) override { Page(out, "NotesPage"); }
  void AuthorizationsPage(TStringStream& out, TPageRequest&) override {
    Page(out, "AuthorizationsPage");
  }
  void CptedPage(TStringStream& out, TPageRequest&) override { Page(out, "CptedPage"); }
  void ViolationsPage(TStringStream& out, TPageRequest&) override { Page(out, "ViolationsPage"); }
  void ViolationDetailPage(TStringStream& out, TPageRequest&) override {
    Page(out, "ViolationDetailPage");
  }

 private:
  void Page(TStringStream& out, const std::string& name) {
    calls.push_back(name);
    if (name == failingPage) {
      out.WriteString("<html><body>half a page");
      if (failWithStdError) throw std::runtime_error("not a system failure");
      throw Exception("Page failed half-way");
    }
    out.WriteString("<" + name + ">");
  }
};

}  // namespace qv::webtest
