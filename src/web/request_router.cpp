#include "web/request_router.h"

#include <memory>
#include <system_error>

#include "db/client_library.h"
#include "db/errors.h"
#include "http/content_stream.h"
#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_text.h"
#include "pages/property_csv.h"
#include "platform/exception.h"
#include "web/csv_answer_stream.h"
#include "web/data_answers.h"
#include "web/http_page_request.h"

namespace qv {

namespace {

// A call that did not end although it was cancelled: the same failure as one
// the cancel ended.
[[noreturn]] void RaiseCancelled() {
  const ISC_STATUS status[] = {isc_arg_gds, kIscCancelled, isc_arg_end};
  RaiseIscError(status);
}

// The answer to a log-on attempt refused by the throttle; the database is not asked.
void RefuseLogon(Response& response, int retry_after) {
  response.response_no = 429;
  response.response_text = "Too Many Requests";
  response.custom_headers.SetValue("Retry-After", std::to_string(retry_after));
  response.content_text = "Too many failed log-ons; try again in " + std::to_string(retry_after) +
                         " seconds.\r\n";
}

bool LoggedOn(const HttpPageRequest& request) {
  return request.HasSession() && request.SessionValue(kLoggedInName) != kLoggedInFalse;
}

// What every answer of the router carries: the type of its body, and that no
// other site may frame it nor a browser take it for another type. An answer
// with personal data, or that a log-on or log-off made, is kept by no cache
// (and no HTTP/1.0 cache either).
void ProtectAnswer(Response& response, bool no_store,
                   std::string_view body_type = kPageContentType) {
  if (response.content_stream || !response.content_text.empty()) response.content_type = body_type;
  if (no_store) {
    response.custom_headers.SetValue("Cache-Control", "no-store");
    response.pragma = "no-cache";
  }
  response.custom_headers.SetValue("X-Frame-Options", "DENY");
  response.custom_headers.SetValue("Content-Security-Policy", "frame-ancestors 'none'");
  response.custom_headers.SetValue("X-Content-Type-Options", "nosniff");
}

}  // namespace

RequestRouter::RequestRouter(SessionSource sessions, HtDocsFunction ht_docs, ErrorSink& errors,
                               std::span<const PageEntry> pages, const Clock& clock)
    : sessions_(std::move(sessions)),
      ht_docs_(std::move(ht_docs)),
      errors_(errors),
      routes_(pages),
      clock_(clock) {}

RequestRouter::RequestRouter(ConnectionPool& pool, HtDocsFunction ht_docs)
    : RequestRouter([&pool](PoolLease& lease, AcquireMode mode) { return pool.Acquire(lease, mode); },
                     std::move(ht_docs), pool.Errors()) {}

bool RequestRouter::ServePage(const PageEntry& page, PoolLease& lease, PageStream& out,
                               Request& request, DataCall* call) {
  bool fresh = sessions_(lease, AcquireMode::kAny);
  for (;;) {
    try {
      return CallPage(page, lease, out, request, call);
    } catch (const Exception& error) {
      // A dead or cancelled attachment is not given back for others to use.
      if (DropsConnection(error.Kind())) lease.Discard();
      // Pages are read only and built in memory before anything is sent, so
      // a second run is safe; a connection made just now gets no second one.
      if (error.Kind() != FailureKind::ConnectionLost || fresh) throw;
    }
    out.Clear();
    sessions_(lease, AcquireMode::kFreshConnection);
    fresh = true;
  }
}

bool RequestRouter::CallPage(const PageEntry& page, PoolLease& lease, PageStream& out,
                              Request& request, DataCall* call) {
  HttpPageRequest page_request(request);
  PageContext context{page_request, out, lease.Session(), clock_, page, errors_};
  if (call) {
    context.format = call->format;
    call->session = lease.SharedSession();
  }
  // The cancel holds the session as long as it may still reach it; a session
  // whose call was cancelled is discarded, so it is never lent to anyone else.
  const uint64_t watch =
      watchdog_.Watch(QueryTimeout(), [session = lease.SharedSession()](bool abort) {
        return [session, abort] {
          if (session->Connection().CancelOperation(abort)) return;
          throw Exception(
              abort ? "Could not drop the database connection of a page call that runs too long"
                    : "Could not ask the database to cancel a page call past its query time-out");
        };
      });
  try {
    if (call && call->run) {
      try {
        call->run(context);
      } catch (...) {
        try {
          context.db.Rollback();
        } catch (const Exception&) {
          // The call's own failure is the one the visitor is told about.
        }
        throw;
      }
    } else {
      RunPage(context);
    }
  } catch (...) {
    // Whatever the call raised after its time-out: the time-out is the failure.
    if (watchdog_.Unwatch(watch)) RaiseCancelled();
    throw;
  }
  // A call that ended just as it was cancelled keeps its page, but its session
  // may yet be reached by the cancel: it is not lent again.
  if (watchdog_.Unwatch(watch)) lease.Discard();
  if (call) {
    call->outcome = context.outcome;
    call->detail = std::move(context.outcome_detail);
  }
  return context.logged_on;
}

void RequestRouter::StartSession(Session& Sender) {
  // The session is not visible to other requests yet.
  Sender.Content().SetValue(kLoggedInName, kLoggedInFalse);
}

void RequestRouter::Tell(LogonEvent::Kind kind, std::string name, const Request& request) const {
  if (on_logon_event_) on_logon_event_(LogonEvent{kind, std::move(name), request.remote_ip});
}

RequestRouter::LogOnOutcome RequestRouter::CheckLogOn(HttpPageRequest& request, Request& request_info,
                                                      Response& response, PoolLease& lease, PageStream& out) {
  const std::string name = TrimText(request.Param("uName"));
  // The attempt counts before the database is asked, so simultaneous
  // attempts cannot pass the limit together. A check that fails with an
  // error gives its place back.
  LogonThrottle::Reservation attempt =
      throttle_.Reserve(request_info.remote_ip, name, LogonThrottle::Clock::now());
  if (!attempt.Granted()) {
    RefuseLogon(response, attempt.RetryAfter());
    return LogOnOutcome::kRefused;
  }
  const bool was_logged_on = LoggedOn(request);
  if (ServePage(routes_.LogOnCheck(), lease, out, request_info)) {
    attempt.Succeeded();
    request.SetSessionValue(kUserNameName, name);
    response.renew_session = true;
    Tell(LogonEvent::Kind::kLoggedOn, name, request_info);
    return LogOnOutcome::kLoggedOn;
  }
  attempt.Failed();
  Tell(LogonEvent::Kind::kFailed, name, request_info);
  // The failed check logged a logged-on visitor off.
  if (was_logged_on) {
    request.SetSessionValue(kUserNameName, "");
    response.renew_session = true;
  }
  return LogOnOutcome::kFailed;
}

PathRoute RequestRouter::HandleRequest(ConnectionContext*, Request& request_info,
                                            Response& response_info) {
  HttpPageRequest request(request_info);
  PageStream out;
  bool image = false;
  PoolLease lease;  // given back to the pool however this ends
  const std::string& path = request_info.document;
  // The path is read once; what the steps below go by.
  PathRoute asked = routes_.Route(path);
  PathRoute route = asked;
  const bool logged_on_before = LoggedOn(request);
  const bool private_answer = logged_on_before || route.log_on_check || route.log_off;
  // CSV is offered where the page answers it (a logged-out visitor asking it
  // there is refused as one asking JSON).
  const AnswerFormat preferred =
      PreferredFormat(request_info.accept, route.page != nullptr && route.page->answers_csv);
  const bool json_asked = preferred == AnswerFormat::kJson;
  const bool csv_asked = preferred == AnswerFormat::kCsv;
  // JSON or CSV once the request goes the data way; a problem body when it ends in one.
  AnswerFormat answered = AnswerFormat::kHtml;
  bool problem = false;

  try {
    if (route.log_off) {
      const std::string name = request.SessionValue(kUserNameName);
      request.SetSessionValue(kLoggedInName, std::string(kLoggedInFalse));
      request.SetSessionValue(kUserNameName, "");
      response_info.renew_session = true;
      if (logged_on_before) Tell(LogonEvent::Kind::kLoggedOff, name, request_info);
    }
    if (route.log_on_check) {
      const LogOnOutcome outcome = CheckLogOn(request, request_info, response_info, lease, out);
      if (outcome == LogOnOutcome::kRefused) {
        ProtectAnswer(response_info, true);
        return asked;
      }
      // A visitor just logged on goes on as one asking for the empty path:
      // the start page, whatever else the path holds.
      if (outcome == LogOnOutcome::kLoggedOn) route = routes_.Route("");
    }
    if (route.image) {
      image = true;
    } else if (route.log_on_form) {
      ServePage(routes_.LogOnForm(), lease, out, request_info);
    } else if (!LoggedOn(request)) {
      if (json_asked || csv_asked) {
        answered = preferred;
        problem = true;
        response_info.SetResponseNo(401);
        out.WriteString(ProblemBody(401, "Log on first: the data answers are for logged-on "
                                         "visitors (POST /dologin)."));
      } else {
        ServePage(routes_.Start(), lease, out, request_info);
      }
    } else if (csv_asked && route.page->answers_csv) {
      answered = AnswerFormat::kCsv;
      if (ExportPlace place = csv_exports_.Take()) {
        StartCsv(*route.page, lease, request_info, response_info, std::move(place));
      } else {
        problem = true;
        response_info.SetResponseNo(503);
        response_info.custom_headers.SetValue("Retry-After", kRetryAfterSeconds);
        out.WriteString(ProblemBody(503, "Other CSV exports are running; try again shortly."));
      }
    } else if (json_asked && route.page->answers_data) {
      answered = AnswerFormat::kJson;
      DataCall call;
      ServePage(*route.page, lease, out, request_info, &call);
      if (call.outcome != PageOutcome::kShown) {
        const int status = call.outcome == PageOutcome::kNotFound ? 404 : 400;
        problem = true;
        response_info.SetResponseNo(status);
        out.Clear();
        out.WriteString(ProblemBody(status, call.detail));
      }
    } else {
      ServePage(*route.page, lease, out, request_info);
    }
  } catch (const Exception& error) {
    // The body stays the message alone (a data answer's: in a problem); the
    // status says what kind of failure it was.
    const int status = FailureStatus(error.Kind());
    out.Clear();
    // A CSV export that fails before its first byte is a problem too.
    response_info.content_stream.reset();
    response_info.content_disposition.clear();
    if (answered != AnswerFormat::kHtml) {
      problem = true;
      out.WriteString(ProblemBody(status, error.Message()));
    } else {
      out.WriteString(error.Message());
    }
    response_info.SetResponseNo(status);
    if (status == 503) response_info.custom_headers.SetValue("Retry-After", kRetryAfterSeconds);
    // The handler must not raise: the visitor's answer is made already.
    if (on_page_failure_)
      on_page_failure_(PageFailure{request_info.remote_ip, path, status, error.Kind(), error.Message()});
  }

  if (image) {
    response_info.content_stream = FileContentStream::OpenRegular(LogoFileName(ht_docs_()));
  } else if (!response_info.content_stream) {
    response_info.content_text = out.TakeDataString();
  }
  const std::string_view body_type = image                              ? kLogoContentType
                                     : answered == AnswerFormat::kHtml ? kPageContentType
                                     : problem                        ? kProblemContentType
                                     : answered == AnswerFormat::kCsv ? kCsvContentType
                                                                      : kJsonContentType;
  ProtectAnswer(response_info, private_answer || LoggedOn(request), body_type);
  asked.format = answered;
  return asked;
}

void RequestRouter::StartCsv(const PageEntry& page, PoolLease& lease, Request& request_info,
                             Response& response, ExportPlace place) {
  DataCall call;  // holds the session until the export below has gone
  std::unique_ptr<PropertyListCsv> csv;
  std::string first;
  // A HEAD request is sent the head alone: the session is borrowed (an
  // outage still answers 503) but no row is read.
  const bool head_only = request_info.command_type == HttpCommandType::Head;
  call.run = [&csv, &first, head_only](PageContext& context) {
    if (head_only) return;
    try {
      csv = std::make_unique<PropertyListCsv>(context);
      csv->Next(first);
    } catch (...) {
      // Its cursor closes while its session is surely there.
      csv.reset();
      throw;
    }
  };
  PageStream unused;  // the export writes no page
  ServePage(page, lease, unused, request_info, &call);
  if (!lease) {
    // The call ended just as it was cancelled: its session is not lent
    // again, so the export cannot go on on it.
    csv.reset();
    call.session.reset();
    RaiseCancelled();
  }
  // A failure while the engine sends the rows cannot change the status: the
  // body ends there, and it is told as a page failure.
  auto on_failure = [this, remote_ip = request_info.remote_ip,
                     path = request_info.document](const Exception& error) {
    if (on_page_failure_)
      on_page_failure_(PageFailure{remote_ip, path, 200, error.Kind(), error.Message()});
  };
  response.content_disposition =
      "attachment; filename=\"" + std::string(kPropertyCsvFileName) + "\"";
  response.content_stream =
      std::make_unique<CsvAnswerStream>(std::move(lease), std::move(csv), std::move(first),
                                        std::move(on_failure), std::move(place));
}

std::string RequestRouter::LogoFileName(const std::string& ht_docs) {
  std::string file_name = ht_docs;
  if (file_name.empty() || file_name.back() != '/') file_name += '/';
  file_name += kLogoFileName;
  return file_name;
}

}  // namespace qv
