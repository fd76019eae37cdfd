// What a request's path asks for, read once per request from the page table:
// the router's steps (log-off, the log-on check, the logo, the log-on form),
// the page a logged-on visitor gets, and the label the request is counted
// under in the metrics.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pages/page_table.h"
#include "web/answer_format.h"

namespace qv {

struct PathRoute {
  bool log_off = false;       // "/LOGOFF"
  bool log_on_check = false;  // the log-on check's keyword
  bool image = false;         // "/IMAGE"
  bool log_on_form = false;   // the log-on form's keyword
  // The page a logged-on visitor gets: the start page for "" and "/", else
  // the keyword page of the lowest rank whose keyword the path holds, else
  // the fallback page.
  const PageEntry* page = nullptr;
  // The request's label, an index into PathRoutes::Labels(): the first of the
  // steps the path holds, in the order above, else the page's.
  size_t label = 0;
  // What the answer was written in (set by the router; HTML until then).
  AnswerFormat format = AnswerFormat::kHtml;
};

class PathRoutes {
 public:
  // `pages` must hold one start, log-on form, log-on check and fallback page
  // each (the page table does); it must outlive the routes.
  explicit PathRoutes(std::span<const PageEntry> pages);

  // Keywords are looked for in the path upper-cased, anywhere in it.
  PathRoute Route(std::string_view document) const;

  // Every label in counting order: "logoff", the log-on check's, "image",
  // the log-on form's, the start page's, the keyword pages' by rank, the
  // fallback page's.
  const std::vector<std::string_view>& Labels() const { return labels_; }

  const PageEntry& Start() const { return *start_; }
  const PageEntry& LogOnForm() const { return *log_on_form_; }
  const PageEntry& LogOnCheck() const { return *log_on_check_; }

 private:
  const PageEntry* start_ = nullptr;
  const PageEntry* log_on_form_ = nullptr;
  const PageEntry* log_on_check_ = nullptr;
  const PageEntry* fallback_ = nullptr;
  std::vector<const PageEntry*> keyword_pages_;  // by rank
  std::vector<std::string_view> labels_;
};

}  // namespace qv
