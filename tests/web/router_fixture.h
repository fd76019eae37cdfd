// Router test fixture: a router over stand-in pages and a lender of one
// session, and a helper that runs one request through it with a chosen
// log-on state.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "http/request_info.h"
#include "http/response_info.h"
#include "http/session.h"
#include "page_stand_ins.h"
#include "pool/fixed_connection_pool.h"
#include "web/request_router.h"

namespace qv::webtest {

// The visitor's state before the request.
enum class Visitor {
  kNoSession,   // sessions switched off
  kNew,         // a session just started
  kLoggedIn,    // LoggedIn = "True"
  kNoValue,     // a session without a LoggedIn value
  kLowerFalse,  // LoggedIn = "false"
};

class RouterTest : public ::testing::Test {
 protected:
  struct Outcome {
    std::string body;
    bool stream = false;
    std::string loggedIn;  // afterwards; "(none)" without a session
    std::vector<std::string> calls;
    int acquisitions = 0;
    int status = 0;
    std::string retryAfter;  // the Retry-After header, if any
  };

  RouterTest()
      : router_(
            [this](PoolLease& lease, TAcquireMode) {
              lease.Release();
              if (poolBusy_) throw EConnPoolException();
              ++acquisitions_;
              lease = lender_->Lend();
              return false;
            },
            [this] { return htDocs_; }, pages_.Table()) {}

  std::shared_ptr<TIdHTTPSession> NewSession(Visitor visitor) {
    if (visitor == Visitor::kNoSession) return nullptr;
    auto session = std::make_shared<TIdHTTPSession>("ABCDEFGHIJKLMNO", "127.0.0.1");
    if (visitor != Visitor::kNoValue) router_.Server1SessionStart(*session);
    if (visitor == Visitor::kLoggedIn) session->SetContentValue("LoggedIn", "True");
    if (visitor == Visitor::kLowerFalse) session->SetContentValue("LoggedIn", "false");
    return session;
  }

  // One request on the given session; params are name=value entries.
  Outcome Run(const std::string& path, std::shared_ptr<TIdHTTPSession> session,
              const std::vector<std::string>& params = {}) {
    pages_.ClearCalls();
    acquisitions_ = 0;
    TIdHTTPRequestInfo request;
    request.Command = "GET";
    request.Document = path;
    for (const std::string& param : params) request.Params.Add(param);
    request.Session = session;
    request.RemoteIP = remoteIp_;
    TIdHTTPResponseInfo response(nullptr);
    router_.Server1CommandGet(nullptr, request, response);
    EXPECT_EQ(lender_->outstanding, 0) << "the session was not given back";

    Outcome outcome;
    outcome.body = response.ContentText;
    if (response.ContentStream) {
      outcome.stream = true;
      std::string bytes(static_cast<size_t>(response.ContentStream->Size()), '\0');
      response.ContentStream->SetPosition(0);
      bytes.resize(response.ContentStream->Read(bytes.data(), bytes.size()));
      outcome.body = bytes;
    }
    outcome.loggedIn = session ? session->ContentValue("LoggedIn") : "(none)";
    outcome.calls = pages_.Calls();
    outcome.acquisitions = acquisitions_;
    outcome.status = response.ResponseNo;
    outcome.retryAfter = response.CustomHeaders.Values("Retry-After");
    EXPECT_TRUE(response.ContentType.empty());
    return outcome;
  }

  Outcome Run(const std::string& path, Visitor visitor,
              const std::vector<std::string>& params = {}) {
    return Run(path, NewSession(visitor), params);
  }

  PageStandIns pages_;
  std::shared_ptr<SessionLender> lender_ = std::make_shared<SessionLender>();
  int acquisitions_ = 0;
  bool poolBusy_ = false;
  std::string htDocs_;
  std::string remoteIp_ = "127.0.0.1";
  TRequestRouter router_;
};

}  // namespace qv::webtest
