// Prints the server's plan of every statement the pages run, once as the pages
// run it (values as parameters) and once with the same values written into the
// text as literals, and marks the statements whose two plans differ.
// Usage: qv_plans DATABASE [USER]   (exit status 1 when a plan differs)
#include <cstdio>
#include <string>
#include <vector>

#include "db/database_session.h"
#include "db/sql_text.h"
#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"

namespace qv {
namespace {

// The statement text with every parameter replaced by a literal of its type.
std::string WithLiterals(const DatabaseSession::PreparedText& statement) {
  const std::string text = ReplaceParameterNames(statement.text);
  std::string out;
  size_t param = 0;
  for (char c : text) {
    if (c != '?') {
      out += c;
      continue;
    }
    const int type = statement.parameter_types[param++];
    out += type == 448 || type == 452 ? "'ABC'" : "1";  // VARCHAR, CHAR: text
  }
  return out;
}

// A session's pages report to standard error here.
ErrorSink page_errors;

int Run(const char* database, const char* user) {
  DatabaseSession session;
  session.Connection().SetDatabaseName(database);
  session.Connection().SetUsername(user);
  session.Attach();

  // Every page once, and the list in each search mode with and without an area.
  const std::vector<std::vector<std::pair<std::string, std::string>>> requests = {
      {{"PROPID", "1"}, {"VID", "1"}, {"uName", "ABC"}, {"uPass", "ABC"}},
      {{"SearchValue", "ABC"}, {"PropName", "a"}},
      {{"SearchValue", "ABC"}, {"PropName", "a"}, {"AreaName", "ABC"}},
      {{"SearchValue", "ABC"}, {"Address", "a"}},
      {{"SearchValue", "ABC"}, {"Address", "a"}, {"AreaName", "ABC"}},
      {{"AreaName", "ABC"}},
  };
  for (const auto& params : requests) {
    SimplePageRequest request;
    request.session.emplace("LoggedIn", "True");
    for (const auto& [name, value] : params) request.Add(name, value);
    for (const PageEntry& page : PageTable()) {
      PageStream out;
      PageContext context{request, out, session, SystemClock::Instance(), page, page_errors};
      RunPage(context);
    }
  }

  int differing = 0;
  for (const DatabaseSession::PreparedText& statement : session.PreparedTexts()) {
    const std::string with_parameters = session.Plan(statement.text);
    const std::string with_literals = session.Plan(WithLiterals(statement));
    const bool same = with_parameters == with_literals;
    if (!same) ++differing;
    std::printf("%s\n%s\n  parameters: %s\n  literals:   %s\n\n", same ? "same" : "DIFFERENT",
                std::string(statement.text).c_str(), with_parameters.c_str(),
                with_literals.c_str());
  }
  session.Commit();
  std::printf("%d statement(s) with a different plan\n", differing);
  return differing == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qv_plans DATABASE [USER]\n");
    return 2;
  }
  try {
    return qv::Run(argv[1], argc > 2 ? argv[2] : "SYSDBA");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
