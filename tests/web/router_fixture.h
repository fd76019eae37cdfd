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
#include "page_stand_ins.h"
#include "pool/fixed_connection_pool.h"
#include "sessions/session.h"
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
    std::string logged_in;  // afterwards; "(none)" without a session
    std::vector<std::string> calls;
    int acquisitions = 0;
    int status = 0;
    std::string retry_after;  // the Retry-After header, if any
    std::string content_type;
    bool no_store = false;   // Cache-Control: no-store and Pragma: no-cache
    bool renewed = false;    // the engine is asked for a new session identifier
    std::string user_name;   // the session's UserName afterwards
  };

  RouterTest()
      : router_(
            [this](PoolLease& lease, AcquireMode) {
              lease.Release();
              if (pool_busy_) throw PoolTimeout();
              ++acquisitions_;
              lease = lender_->Lend();
              return false;
            },
            [this] { return ht_docs_; }, errors_, pages_.Table()) {
    router_.SetOnLogonEvent([this](const LogonEvent& event) { logon_events_.push_back(LogonEventText(event)); });
  }

  std::shared_ptr<Session> NewSession(Visitor visitor) {
    if (visitor == Visitor::kNoSession) return nullptr;
    auto session = std::make_shared<Session>("ABCDEFGHIJKLMNO", "127.0.0.1");
    if (visitor != Visitor::kNoValue) router_.StartSession(*session);
    if (visitor == Visitor::kLoggedIn) session->SetContentValue("LoggedIn", "True");
    if (visitor == Visitor::kLowerFalse) session->SetContentValue("LoggedIn", "false");
    return session;
  }

  // One request on the given session; params are name=value entries.
  Outcome Run(const std::string& path, std::shared_ptr<Session> session,
              const std::vector<std::string>& params = {}) {
    pages_.ClearCalls();
    acquisitions_ = 0;
    Request request;
    request.command = "GET";
    request.document = path;
    for (const std::string& param : params) request.params.Add(param);
    request.session = session;
    request.remote_ip = remote_ip_;
    Response response;
    router_.HandleRequest(nullptr, request, response);
    EXPECT_EQ(lender_->outstanding, 0) << "the session was not given back";

    Outcome outcome;
    outcome.body = response.content_text;
    if (response.content_stream) {
      outcome.stream = true;
      std::string bytes(static_cast<size_t>(response.content_stream->Size()), '\0');
      response.content_stream->SetPosition(0);
      bytes.resize(response.content_stream->Read(bytes.data(), bytes.size()));
      outcome.body = bytes;
    }
    outcome.logged_in = session ? session->ContentValue("LoggedIn") : "(none)";
    outcome.calls = pages_.Calls();
    outcome.acquisitions = acquisitions_;
    outcome.status = response.response_no;
    outcome.retry_after = response.custom_headers.Values("Retry-After");
    outcome.content_type = response.content_type;
    const std::string cache_control = response.custom_headers.Values("Cache-Control");
    outcome.no_store = cache_control == "no-store" && response.pragma == "no-cache";
    EXPECT_TRUE(outcome.no_store || (cache_control.empty() && response.pragma.empty()));
    outcome.renewed = response.renew_session;
    outcome.user_name = session ? session->ContentValue("UserName") : "";
    // Whatever it is, no other site may frame it and no browser may guess its type.
    EXPECT_EQ(response.custom_headers.Values("X-Frame-Options"), "DENY");
    EXPECT_EQ(response.custom_headers.Values("Content-Security-Policy"), "frame-ancestors 'none'");
    EXPECT_EQ(response.custom_headers.Values("X-Content-Type-Options"), "nosniff");
    return outcome;
  }

  Outcome Run(const std::string& path, Visitor visitor,
              const std::vector<std::string>& params = {}) {
    return Run(path, NewSession(visitor), params);
  }

  PageStandIns pages_;
  ErrorSink errors_;
  std::shared_ptr<SessionLender> lender_ = std::make_shared<SessionLender>();
  int acquisitions_ = 0;
  bool pool_busy_ = false;
  std::string ht_docs_;
  std::string remote_ip_ = "127.0.0.1";
  RequestRouter router_;
  std::vector<std::string> logon_events_;  // LogonEventText of each, in order
};

}  // namespace qv::webtest
