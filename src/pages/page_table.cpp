// The rows of the page table, one per page; each handler is defined in the
// page's own file.
#include "pages/page_table.h"

#include <string>
#include <vector>

#include "platform/exception.h"

namespace qv {

struct PageContext;

void MainMenuPage(PageContext& page);
void HttpInfoPage(PageContext& page);
void PropertyListPage(PageContext& page);
void PropertyInfoPage(PageContext& page);
void PeoplePage(PageContext& page);
void AccessPage(PageContext& page);
void NotesPage(PageContext& page);
void CptedPage(PageContext& page);
void AuthorizationsPage(PageContext& page);
void ViolationsPage(PageContext& page);
void ViolationDetailPage(PageContext& page);
void LogOnPage(PageContext& page);
void DoLogin(PageContext& page);
void UnderConstructionPage(PageContext& page);

namespace {

using enum PageReach;

constexpr PageEntry kPages[] = {
    {"MainMenuPage", kStart, "", 0, "main", {}, MainMenuPage, true},
    {"HttpInfoPage", kKeyword, "/IPINFO", 1, "ipinfo", {}, HttpInfoPage},
    {"PropertyListPage", kKeyword, "/LIST", 2, "list", {}, PropertyListPage, true, true},
    {"PropertyInfoPage", kKeyword, "/PROPINFO", 3, "propinfo",
     TabCell{"/Propinfo?propid=", "Property Info", true}, PropertyInfoPage, true},
    {"PeoplePage", kKeyword, "/PEOPLE", 4, "people", TabCell{"/People?propid=", "People", true},
     PeoplePage, true},
    {"AccessPage", kKeyword, "/ACCESS", 5, "access", TabCell{"/Access?propid=", "Access Info"},
     AccessPage, true},
    {"NotesPage", kKeyword, "/NOTES", 6, "notes", TabCell{"/Notes?propid=", "Notes"}, NotesPage,
     true},
    {"CptedPage", kKeyword, "/CPTED", 10, "cpted", TabCell{"/Cpted?propid=", "CPTED"}, CptedPage,
     true},
    {"AuthorizationsPage", kKeyword, "/AUTH", 7, "auth",
     TabCell{"/Auth?propid=", "Authorizations"}, AuthorizationsPage, true},
    {"ViolationsPage", kKeyword, "/VIOLATIONS", 8, "violations",
     TabCell{"/Violations?propid=", "Violations"}, ViolationsPage, true},
    {"ViolationDetailPage", kKeyword, "/VDETAIL", 9, "vdetail", {}, ViolationDetailPage, true},
    {"LogOnPage", kLogOnForm, "/LOGON", 0, "logon", {}, LogOnPage},
    // Writes nothing: sets the session value LoggedIn and tells whether it matched.
    {"DoLogin", kLogOnCheck, "/DOLOGIN", 0, "dologin", {}, DoLogin},
    {"UnderConstructionPage", kFallback, "", 0, "other", {}, UnderConstructionPage},
};

constexpr bool WellFormed() {
  size_t keyword_pages = 0;
  for (const PageEntry& page : kPages) {
    if (page.reach == kKeyword) ++keyword_pages;
    if (page.name.empty() || page.label.empty() || page.handler == nullptr) return false;
    const bool by_keyword = page.reach == kKeyword || page.reach == kLogOnForm || page.reach == kLogOnCheck;
    if (by_keyword == page.keyword.empty()) return false;
    for (char c : page.keyword) {
      if (c >= 'a' && c <= 'z') return false;
    }
  }
  // The ranks of the keyword pages run from 1 without a gap or a repeat.
  for (size_t rank = 1; rank <= keyword_pages; ++rank) {
    size_t found = 0;
    for (const PageEntry& page : kPages) {
      if (page.reach == kKeyword && page.rank == static_cast<int>(rank)) ++found;
    }
    if (found != 1) return false;
  }
  // One page for each other way the router comes to a page.
  for (PageReach reach : {kStart, kLogOnForm, kLogOnCheck, kFallback}) {
    size_t found = 0;
    for (const PageEntry& page : kPages) {
      if (page.reach == reach) ++found;
      if (page.reach != kKeyword && page.rank != 0) return false;
    }
    if (found != 1) return false;
  }
  // Names and labels are each the page's own.
  for (const PageEntry& a : kPages) {
    for (const PageEntry& b : kPages) {
      if (&a != &b && (a.name == b.name || a.label == b.label)) return false;
    }
  }
  return true;
}
static_assert(WellFormed(), "every page has a name, label and handler of its own, keyword pages "
                            "have ranks from 1, and the start, log-on and fallback pages are there");

constexpr size_t TabCount() {
  size_t tabs = 0;
  for (const PageEntry& page : kPages) {
    if (page.tab) ++tabs;
  }
  return tabs;
}
static_assert(TabCount() > 0 && TabWidth(1, TabCount()) > 0,
              "the tab bar holds every tab with a width of its own");

}  // namespace

std::span<const PageEntry> PageTable() { return kPages; }

const PageEntry& PageNamed(std::string_view name) {
  for (const PageEntry& page : kPages) {
    if (page.name == name) return page;
  }
  throw Exception("No page is named \"" + std::string(name) + "\"");
}

std::span<const PageEntry* const> PropertyTabRows() {
  static const std::vector<const PageEntry*> tabs = [] {
    std::vector<const PageEntry*> rows;
    for (const PageEntry& page : kPages) {
      if (page.tab) rows.push_back(&page);
    }
    return rows;
  }();
  return tabs;
}

}  // namespace qv
