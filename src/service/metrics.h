// The counters behind the admin port's /metrics: answered requests by page
// label and status, their durations by page label, failed pages by kind
// of database error, body bytes sent, handlers running, reloads and
// session-store failures; and the process's own figures. Counting is
// lock-free (relaxed atomics), so request threads never wait on each other
// for it. Every series without labels of its own is there from the start, at 0.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"
#include "web/answer_format.h"

namespace qv {

// The label a failed page is counted under, by the kind of its failure:
// "connection_lost", "login", "pool_timeout", "database" (another database
// failure: a refused statement, no database to attach to, a query time-out)
// or "other".
std::string_view FailureLabel(FailureKind kind);

// A snapshot of the gauges that belong to other parts of the server.
struct ServerGauges {
  int64_t open_connections = 0;
  int64_t sessions = 0;
  int64_t pool_busy = 0;
  int64_t pool_free = 0;
  int64_t pool_unconnected = 0;
  uint64_t pool_waits = 0;
  uint64_t pool_timeouts = 0;
  uint64_t logon_refusals = 0;  // log-on attempts the throttle refused
  int64_t logon_throttle_entries = 0;     // addresses, names and pairs the throttle follows
  uint64_t logon_throttle_forgotten = 0;  // entries it forgot to make room
  int64_t workers_max = 0;      // the Workers setting in force
  int64_t worker_threads = 0;   // threads of the worker pool, busy or idle
  uint64_t access_log_dropped = 0;  // lines the access log lost
  uint64_t error_log_dropped = 0;   // lines standard error or the system log lost
  int64_t request_memory = 0;           // bytes the requests still arriving hold
  int64_t request_memory_limit = 0;     // what they may hold at most
  uint64_t request_memory_refused = 0;  // requests answered 503 for want of it
};

class ServerMetrics {
 public:
  static constexpr size_t kStatusCount = 600;  // 0..599; anything else counts as 0
  static constexpr std::array<double, 13> kBuckets{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                   0.25,  0.5,    1.0,   2.5,  5.0,   10.0};
  static constexpr size_t kErrorKinds = 5;

  // Requests are counted under these labels (the router's, in its order).
  explicit ServerMetrics(std::vector<std::string_view> page_labels);
  ServerMetrics(const ServerMetrics&) = delete;
  ServerMetrics& operator=(const ServerMetrics&) = delete;

  // One answered request under the page label of that index (one past the
  // last counts under the last) and the format it was answered in (an
  // AnswerFormat; the series of a data format carry a format label beside the
  // page's, those of the HTML pages none); body_bytes below 0 (no body, as for
  // HEAD) counts 0.
  void CountRequest(size_t page_label, int status, std::chrono::steady_clock::duration elapsed,
                    int64_t body_bytes = 0, AnswerFormat format = AnswerFormat::kHtml);
  // One failed page, by the kind of its failure.
  void CountFailure(FailureKind kind);
  // One reload of the settings, taken or refused.
  void CountReload(bool success);
  // One call to the session store that failed.
  void CountSessionStoreError();

  // Marks a worker as running a request handler while it lives.
  class BusyWorker {
   public:
    explicit BusyWorker(ServerMetrics& metrics) : busy_(metrics.busy_workers_) {
      busy_.fetch_add(1, std::memory_order_relaxed);
    }
    ~BusyWorker() { busy_.fetch_sub(1, std::memory_order_relaxed); }
    BusyWorker(const BusyWorker&) = delete;
    BusyWorker& operator=(const BusyWorker&) = delete;

   private:
    std::atomic<int64_t>& busy_;
  };

  // Everything in the Prometheus text format (version 0.0.4).
  std::string Text(const ServerGauges& gauges) const;

 private:
  struct PageCounters {
    std::array<std::atomic<uint64_t>, kStatusCount> by_status{};
    std::array<std::atomic<uint64_t>, kBuckets.size() + 1> buckets{};  // not cumulative
    std::atomic<uint64_t> microseconds{0};
  };
  // The labels of the series of counters at that index: page="...", and
  // format="..." for a data format.
  std::string SeriesLabels(size_t counters) const;

  const std::vector<std::string_view> page_labels_;
  // kAnswerFormats per page label: the label's HTML counters, then its data formats'.
  const std::unique_ptr<PageCounters[]> pages_;
  std::array<std::atomic<uint64_t>, kErrorKinds> errors_{};
  std::atomic<uint64_t> body_bytes_{0};
  std::atomic<int64_t> busy_workers_{0};
  std::atomic<uint64_t> reloads_[2]{};  // refused, taken
  std::atomic<uint64_t> session_store_errors_{0};
};

// The process's resident memory in bytes and its open file descriptors, from /proc.
int64_t ProcessResidentBytes();
int64_t ProcessOpenFiles();
// The most file descriptors the process may open (its soft limit).
int64_t ProcessMaxFiles();
// The CPU time the process has used, user and system, in seconds.
double ProcessCpuSeconds();
// When the process started, in seconds since the Unix epoch (0 when unknown).
double ProcessStartTime();

}  // namespace qv
