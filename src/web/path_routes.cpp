#include "web/path_routes.h"

#include <algorithm>

#include "pages/page_text.h"
#include "platform/exception.h"

namespace qv {

namespace {

// The two steps that are no page.
constexpr std::string_view kLogOffKeyword = "/LOGOFF";
constexpr std::string_view kLogOffLabel = "logoff";
constexpr std::string_view kImageKeyword = "/IMAGE";
constexpr std::string_view kImageLabel = "image";

// Label indexes of the steps, in the order the router takes them.
constexpr size_t kLogOffIndex = 0;
constexpr size_t kLogOnCheckIndex = 1;
constexpr size_t kImageIndex = 2;
constexpr size_t kLogOnFormIndex = 3;
constexpr size_t kStartIndex = 4;

const PageEntry* OnlyPage(std::span<const PageEntry> pages, PageReach reach) {
  const PageEntry* found = nullptr;
  for (const PageEntry& page : pages) {
    if (page.reach != reach) continue;
    if (found) throw Exception("The page table holds two pages of one kind: " + std::string(page.name));
    found = &page;
  }
  if (!found) throw Exception("The page table lacks a start, log-on or fallback page");
  return found;
}

}  // namespace

PathRoutes::PathRoutes(std::span<const PageEntry> pages)
    : start_(OnlyPage(pages, PageReach::kStart)),
      log_on_form_(OnlyPage(pages, PageReach::kLogOnForm)),
      log_on_check_(OnlyPage(pages, PageReach::kLogOnCheck)),
      fallback_(OnlyPage(pages, PageReach::kFallback)) {
  for (const PageEntry& page : pages) {
    if (page.reach == PageReach::kKeyword) keyword_pages_.push_back(&page);
  }
  std::sort(keyword_pages_.begin(), keyword_pages_.end(),
            [](const PageEntry* a, const PageEntry* b) { return a->rank < b->rank; });
  labels_ = {kLogOffLabel, log_on_check_->label, kImageLabel, log_on_form_->label, start_->label};
  for (const PageEntry* page : keyword_pages_) labels_.push_back(page->label);
  labels_.push_back(fallback_->label);
}

PathRoute PathRoutes::Route(std::string_view document) const {
  const std::string path = UpperCaseAscii(document);
  const auto holds = [&path](std::string_view keyword) {
    return path.find(keyword) != std::string::npos;
  };
  PathRoute route;
  route.log_off = holds(kLogOffKeyword);
  route.log_on_check = holds(log_on_check_->keyword);
  route.image = holds(kImageKeyword);
  route.log_on_form = holds(log_on_form_->keyword);

  size_t page_index = kStartIndex;
  if (path.empty() || path == "/") {
    route.page = start_;
  } else {
    route.page = fallback_;
    page_index = labels_.size() - 1;
    for (size_t rank = 0; rank < keyword_pages_.size(); ++rank) {
      if (holds(keyword_pages_[rank]->keyword)) {
        route.page = keyword_pages_[rank];
        page_index = kStartIndex + 1 + rank;
        break;
      }
    }
  }

  if (route.log_off) {
    route.label = kLogOffIndex;
  } else if (route.log_on_check) {
    route.label = kLogOnCheckIndex;
  } else if (route.image) {
    route.label = kImageIndex;
  } else if (route.log_on_form) {
    route.label = kLogOnFormIndex;
  } else {
    route.label = page_index;
  }
  return route;
}

}  // namespace qv
