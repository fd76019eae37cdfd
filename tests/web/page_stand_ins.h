// Stand-ins for router tests: the page table with every row's handler
// replaced by one that notes the page's name and does what the test says
// (by default: write "<Name>"; the log-on check accepts alice/pw), and a
// lender of one unattached session that counts its leases.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "db/database_session.h"
#include "pages/page_context.h"
#include "pages/page_table.h"
#include "pool/pool_lease.h"

namespace qv::webtest {

class PageStandIns {
 public:
  PageStandIns() : table_(PageTable().begin(), PageTable().end()) {
    for (PageEntry& row : table_) row.handler = Handle;
    current_ = this;
  }
  ~PageStandIns() { current_ = nullptr; }
  PageStandIns(const PageStandIns&) = delete;
  PageStandIns& operator=(const PageStandIns&) = delete;

  std::span<const PageEntry> Table() const { return table_; }

  std::vector<std::string> Calls() {
    std::lock_guard guard(lock_);
    return calls_;
  }
  void ClearCalls() {
    std::lock_guard guard(lock_);
    calls_.clear();
  }

  // What every page does once its name is noted.
  std::function<void(PageContext& page)> behaviour = Default;

  static void Default(PageContext& page) {
    if (page.entry.reach == PageReach::kLogOnCheck) {
      page.logged_on =
          page.request.Param("uName") == "alice" && page.request.Param("uPass") == "pw";
      page.request.SetSessionValue("LoggedIn", page.logged_on ? "True" : "False");
      return;
    }
    page.out.WriteString("<" + std::string(page.entry.name) + ">");
  }

 private:
  static void Handle(PageContext& page) {
    {
      std::lock_guard guard(current_->lock_);
      current_->calls_.emplace_back(page.entry.name);
    }
    current_->behaviour(page);
  }

  static inline PageStandIns* current_ = nullptr;
  std::vector<PageEntry> table_;
  std::mutex lock_;
  std::vector<std::string> calls_;
};

// Lends the same unattached session again and again and counts the leases.
class SessionLender final : public LeaseOwner, public std::enable_shared_from_this<SessionLender> {
 public:
  PoolLease Lend() {
    const int now = ++outstanding;
    int most = most_outstanding.load();
    while (now > most && !most_outstanding.compare_exchange_weak(most, now)) {
    }
    ++lent;
    return PoolLease(shared_from_this(), 0, session);
  }
  void GiveBack(size_t, const DatabaseSession*, bool discard) noexcept override {
    --outstanding;
    if (discard) ++discards;
  }

  std::shared_ptr<DatabaseSession> session = std::make_shared<DatabaseSession>();
  std::atomic<int> outstanding{0};
  std::atomic<int> most_outstanding{0};  // the most leases held at once
  std::atomic<int> lent{0};
  std::atomic<int> discards{0};
};

}  // namespace qv::webtest
