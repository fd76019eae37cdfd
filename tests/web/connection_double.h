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

#define QV_PAGE_OPERATION(name, keyword, rank)                  \
  void name(TStringStream& out, TPageRequest& request) override { \
    Operation(out, request, #name);                               \
  }
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION

 private:
  void Operation(TStringStream& out, TPageRequest& request, const std::string& name) {
    if (name == "DoLogin") {
      calls.push_back(name);
      if (request.Param("uName") == "alice" && request.Param("uPass") == "pw") {
        request.SetSessionValue("LoggedIn", "True");
        request.SetDocument("");
      } else {
        request.SetSessionValue("LoggedIn", "False");
      }
      return;
    }
    Page(out, name);
  }
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
