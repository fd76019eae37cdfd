// What a page is run with: the request it answers, the stream it writes,
// the database session its queries run on, the clock it shows, its own row
// of the page table, and where it reports a failure that does not end it.
#pragma once

#include <string>

#include "db/database_session.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "platform/error_sink.h"

namespace qv {

struct PageEntry;

// What a page's answer is written as: its HTML page, or its data as JSON.
enum class PageFormat { kHtml, kJson };

// How a data answer ended: its data written, or nothing written because the
// request asked for no record of the page (a record id that is not a whole
// number) or for one the database does not hold. An HTML page is always shown.
enum class PageOutcome { kShown, kBadRequest, kNotFound };

struct PageContext {
  PageRequest& request;
  PageStream& out;
  DatabaseSession& db;
  const Clock& clock;
  // The row of the page being run.
  const PageEntry& entry;
  // A side failure (a file it could not write) goes here; the page goes on.
  ErrorSink& errors;
  // Set by the log-on check when the name and password match a user.
  bool logged_on = false;
  PageFormat format = PageFormat::kHtml;
  // Set by a data answer that wrote nothing, with why in words.
  PageOutcome outcome = PageOutcome::kShown;
  std::string outcome_detail = {};
};

}  // namespace qv
