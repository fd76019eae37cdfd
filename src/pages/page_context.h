// What a page is run with: the request it answers, the stream it writes,
// the database session its queries run on, the clock it shows, its own row
// of the page table, and where it reports a failure that does not end it.
#pragma once

#include "db/database_session.h"
#include "pages/page_request.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "platform/error_sink.h"

namespace qv {

struct PageEntry;

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
};

}  // namespace qv
