#include "service/metrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "service/version.h"

namespace qv {

namespace {

constexpr std::string_view kErrorLabels[ServerMetrics::kErrorKinds] = {
    "connection_lost", "login", "pool_timeout", "database", "other"};

size_t ErrorIndex(FailureKind kind) {
  switch (kind) {
    case FailureKind::ConnectionLost:
      return 0;
    case FailureKind::LogonRefused:
      return 1;
    case FailureKind::NoFreeConnection:
      return 2;
    case FailureKind::DatabaseRefused:
    case FailureKind::DatabaseDown:
    case FailureKind::TimedOut:
      return 3;
    default:
      return 4;
  }
}

void AppendNumber(std::string& out, uint64_t value) { out += std::to_string(value); }

void AppendSeconds(std::string& out, double seconds) {
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%g", seconds);
  out.append(text, static_cast<size_t>(n));
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void Gauge(std::string& out, const char* name, const char* help, int64_t value) {
  Header(out, name, "gauge", help);
  out += name;
  out += ' ';
  out += std::to_string(value);
  out += '\n';
}

void Counter(std::string& out, const char* name, const char* help, uint64_t value) {
  Header(out, name, "counter", help);
  out += name;
  out += ' ';
  out += std::to_string(value);
  out += '\n';
}

// A sample with a fractional value, written with fixed decimals so that large
// values (a start time in seconds) keep their precision.
void Fractional(std::string& out, const char* name, const char* type, const char* help,
                double value) {
  Header(out, name, type, help);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%.3f", value);
  out += name;
  out += ' ';
  out.append(text, static_cast<size_t>(n));
  out += '\n';
}

}  // namespace

std::string_view FailureLabel(FailureKind kind) { return kErrorLabels[ErrorIndex(kind)]; }

std::string ServerMetrics::SeriesLabels(size_t counters) const {
  const auto format = static_cast<AnswerFormat>(counters % kAnswerFormats);
  std::string labels = "page=\"" + std::string(page_labels_[counters / kAnswerFormats]) + "\"";
  if (format != AnswerFormat::kHtml) labels += ",format=\"" + std::string(FormatLabel(format)) + "\"";
  return labels;
}

ServerMetrics::ServerMetrics(std::vector<std::string_view> page_labels)
    : page_labels_(std::move(page_labels)),
      pages_(std::make_unique<PageCounters[]>(page_labels_.size() * kAnswerFormats)) {}

void ServerMetrics::CountRequest(size_t page_label, int status,
                                  std::chrono::steady_clock::duration elapsed, int64_t body_bytes,
                                  AnswerFormat format) {
  if (body_bytes > 0) body_bytes_.fetch_add(static_cast<uint64_t>(body_bytes), std::memory_order_relaxed);
  if (page_labels_.empty()) return;
  PageCounters& page = pages_[std::min(page_label, page_labels_.size() - 1) * kAnswerFormats +
                              static_cast<size_t>(format)];
  const size_t status_index =
      status > 0 && static_cast<size_t>(status) < kStatusCount ? static_cast<size_t>(status) : 0;
  page.by_status[status_index].fetch_add(1, std::memory_order_relaxed);
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  const double seconds = static_cast<double>(us) / 1e6;
  size_t bucket = 0;
  while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) ++bucket;
  page.buckets[bucket].fetch_add(1, std::memory_order_relaxed);
  page.microseconds.fetch_add(static_cast<uint64_t>(us < 0 ? 0 : us), std::memory_order_relaxed);
}

void ServerMetrics::CountFailure(FailureKind kind) {
  errors_[ErrorIndex(kind)].fetch_add(1, std::memory_order_relaxed);
}

void ServerMetrics::CountReload(bool success) {
  reloads_[success ? 1 : 0].fetch_add(1, std::memory_order_relaxed);
}

void ServerMetrics::CountSessionStoreError() {
  session_store_errors_.fetch_add(1, std::memory_order_relaxed);
}

std::string ServerMetrics::Text(const ServerGauges& gauges) const {
  std::string out;
  out.reserve(8192);
  Header(out, "qvweb_requests_total", "counter", "Answered requests by page keyword and status.");
  for (size_t c = 0; c < page_labels_.size() * kAnswerFormats; ++c) {
    for (size_t s = 0; s < kStatusCount; ++s) {
      const uint64_t n = pages_[c].by_status[s].load(std::memory_order_relaxed);
      if (n == 0) continue;
      out += "qvweb_requests_total{";
      out += SeriesLabels(c);
      out += ",status=\"";
      out += std::to_string(s);
      out += "\"} ";
      AppendNumber(out, n);
      out += '\n';
    }
  }
  Header(out, "qvweb_request_duration_seconds", "histogram",
         "Time from the request line to the answer's last byte, by page keyword.");
  for (size_t c = 0; c < page_labels_.size() * kAnswerFormats; ++c) {
    uint64_t counts[kBuckets.size() + 1];
    uint64_t total = 0;
    for (size_t b = 0; b <= kBuckets.size(); ++b) {
      counts[b] = pages_[c].buckets[b].load(std::memory_order_relaxed);
      total += counts[b];
    }
    if (total == 0) continue;
    const std::string label = SeriesLabels(c);
    uint64_t cumulative = 0;
    for (size_t b = 0; b <= kBuckets.size(); ++b) {
      cumulative += counts[b];
      out += "qvweb_request_duration_seconds_bucket{" + label + ",le=\"";
      if (b < kBuckets.size())
        AppendSeconds(out, kBuckets[b]);
      else
        out += "+Inf";
      out += "\"} ";
      AppendNumber(out, cumulative);
      out += '\n';
    }
    out += "qvweb_request_duration_seconds_sum{" + label + "} ";
    AppendSeconds(out, static_cast<double>(pages_[c].microseconds.load(std::memory_order_relaxed)) / 1e6);
    out += "\nqvweb_request_duration_seconds_count{" + label + "} ";
    AppendNumber(out, cumulative);
    out += '\n';
  }
  Header(out, "qvweb_database_errors_total", "counter",
         "Pages answered with a failure, by kind of error.");
  for (size_t k = 0; k < kErrorKinds; ++k) {
    out += "qvweb_database_errors_total{kind=\"";
    out += kErrorLabels[k];
    out += "\"} ";
    AppendNumber(out, errors_[k].load(std::memory_order_relaxed));
    out += '\n';
  }
  Gauge(out, "qvweb_open_connections", "Client connections accepted and not yet finished.",
        gauges.open_connections);
  Gauge(out, "qvweb_sessions", "Visitor sessions held.", gauges.sessions);
  Header(out, "qvweb_pool_modules", "gauge", "Connection pool places by state.");
  out += "qvweb_pool_modules{state=\"busy\"} " + std::to_string(gauges.pool_busy) + "\n";
  out += "qvweb_pool_modules{state=\"free\"} " + std::to_string(gauges.pool_free) + "\n";
  out += "qvweb_pool_modules{state=\"unconnected\"} " + std::to_string(gauges.pool_unconnected) +
         "\n";
  Header(out, "qvweb_pool_waits_total", "counter",
         "Borrowers that found no pool place free at once.");
  out += "qvweb_pool_waits_total " + std::to_string(gauges.pool_waits) + "\n";
  Header(out, "qvweb_pool_timeouts_total", "counter",
         "Borrowers that gave up waiting for a pool place.");
  out += "qvweb_pool_timeouts_total " + std::to_string(gauges.pool_timeouts) + "\n";
  Counter(out, "qvweb_response_body_bytes_total", "Body bytes of the answers sent.",
          body_bytes_.load(std::memory_order_relaxed));
  Gauge(out, "qvweb_workers_busy", "Worker threads running a request handler now.",
        busy_workers_.load(std::memory_order_relaxed));
  Gauge(out, "qvweb_workers_max", "Worker threads allowed at most (the Workers setting).",
        gauges.workers_max);
  Gauge(out, "qvweb_worker_threads", "Worker threads started, busy or idle.", gauges.worker_threads);
  Counter(out, "qvweb_logon_refused_total",
          "Log-on attempts refused by the throttle (answered 429).", gauges.logon_refusals);
  Gauge(out, "qvweb_logon_throttle_entries",
        "Addresses, user names and address-name pairs the log-on throttle follows.",
        gauges.logon_throttle_entries);
  Counter(out, "qvweb_logon_throttle_forgotten_total",
          "Entries the log-on throttle forgot to make room (never a locked address or name).",
          gauges.logon_throttle_forgotten);
  Header(out, "qvweb_reloads_total", "counter", "Reloads of the settings, by result.");
  out += "qvweb_reloads_total{result=\"success\"} " +
         std::to_string(reloads_[1].load(std::memory_order_relaxed)) + "\n";
  out += "qvweb_reloads_total{result=\"failure\"} " +
         std::to_string(reloads_[0].load(std::memory_order_relaxed)) + "\n";
  Gauge(out, "qvweb_request_memory_bytes",
        "Bytes the requests still arriving hold: bodies, and heads and input buffers beyond 4 KiB.", gauges.request_memory);
  Gauge(out, "qvweb_request_memory_limit_bytes",
        "Bytes the requests still arriving may hold at most (the MaxRequestMemory setting).",
        gauges.request_memory_limit);
  Counter(out, "qvweb_request_memory_refused_total",
          "Requests answered 503 because the memory for requests was spent.", gauges.request_memory_refused);
  Counter(out, "qvweb_session_store_errors_total",
          "Calls to the session store (Redis) that failed; each answered 503.",
          session_store_errors_.load(std::memory_order_relaxed));
  Fractional(out, "process_cpu_seconds_total", "counter", "User and system CPU time in seconds.",
             ProcessCpuSeconds());
  Fractional(out, "process_start_time_seconds", "gauge",
             "Start time of the process since the Unix epoch in seconds.", ProcessStartTime());
  Header(out, "qvweb_log_lines_dropped_total", "counter",
         "Log lines lost because their output was blocked, too slow or failing, by log.");
  out += "qvweb_log_lines_dropped_total{log=\"access\"} " +
         std::to_string(gauges.access_log_dropped) + "\n";
  out += "qvweb_log_lines_dropped_total{log=\"error\"} " +
         std::to_string(gauges.error_log_dropped) + "\n";
  Gauge(out, "process_resident_memory_bytes", "Resident memory size in bytes.",
        ProcessResidentBytes());
  Gauge(out, "process_open_fds", "Open file descriptors.", ProcessOpenFiles());
  Gauge(out, "process_max_fds", "Most open file descriptors allowed.", ProcessMaxFiles());
  Header(out, "qvweb_build_info", "gauge", "The running server's version.");
  out += std::string("qvweb_build_info{version=\"") + ServerVersion() + "\"} 1\n";
  return out;
}

int64_t ProcessResidentBytes() {
  std::ifstream file("/proc/self/statm");
  long long size = 0, resident = 0;
  if (!(file >> size >> resident)) return 0;
  return static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE);
}

int64_t ProcessOpenFiles() {
  DIR* folder = opendir("/proc/self/fd");
  if (!folder) return 0;
  int64_t count = 0;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(folder);
  return count - 1;  // the listing's own descriptor
}

}  // namespace qv

namespace qv {

int64_t ProcessMaxFiles() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  return limit.rlim_cur == RLIM_INFINITY ? std::numeric_limits<int64_t>::max()
                                         : static_cast<int64_t>(limit.rlim_cur);
}

double ProcessCpuSeconds() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ProcessStartTime() {
  // The boot time from /proc/stat plus the process's start in clock ticks
  // after boot, the 22nd field of /proc/self/stat; read once.
  static const double start = [] {
    long long boot_time = 0;
    std::ifstream boot_file("/proc/stat");
    for (std::string line; boot_time == 0 && std::getline(boot_file, line);)
      std::sscanf(line.c_str(), "btime %lld", &boot_time);
    std::string stat;
    std::getline(std::ifstream("/proc/self/stat"), stat);
    // The command name in parentheses may hold blanks: count fields after it.
    const size_t close = stat.rfind(')');
    if (boot_time == 0 || close == std::string::npos) return 0.0;
    unsigned long long ticks = 0;
    size_t field = 2, at = close + 1;
    while (field < 22 && at < stat.size()) {
      at = stat.find(' ', at);
      if (at == std::string::npos) return 0.0;
      ++at;
      ++field;
    }
    if (std::sscanf(stat.c_str() + at, "%llu", &ticks) != 1) return 0.0;
    return static_cast<double>(boot_time) +
           static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }();
  return start;
}

}  // namespace qv
