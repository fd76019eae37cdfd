#include "service/error_log.h"

#include <iterator>

#include "platform/log_line.h"

namespace qv {

namespace {

constexpr std::chrono::seconds kRepeatInterval{1};
// Messages not seen for this long are forgotten once the table grows large.
constexpr std::chrono::seconds kForgetAfter{60};
constexpr size_t kForgetAbove = 1000;

}  // namespace

ErrorLog::ErrorLog(Writer writer, NowFunction now) : writer_(std::move(writer)), now_(std::move(now)) {}

std::string ErrorLog::OneLine(const std::string& text) { return SingleLine(text); }

void ErrorLog::TakeDueCounts(std::chrono::steady_clock::time_point now,
                              std::vector<std::string>& lines, bool all) {
  for (auto& [text, seen] : seen_) {
    if (seen.held_back > 0 && (all || now - seen.last_written >= kRepeatInterval)) {
      lines.push_back("(" + std::to_string(seen.held_back) + " more like this not shown) " + text);
      seen.held_back = 0;
      seen.last_written = now;
    }
  }
}

void ErrorLog::Flush(bool all) {
  std::vector<std::string> lines;
  {
    std::lock_guard guard(lock_);
    TakeDueCounts(now_(), lines, all);
  }
  if (writer_)
    for (const std::string& line : lines) writer_(line);
}

void ErrorLog::PageFailed(const std::string& remote_ip, const std::string& path, int status,
                           const std::string& message) {
  const std::string text = OneLine(message);
  std::vector<std::string> lines;
  {
    std::lock_guard guard(lock_);
    const auto now = now_();
    if (seen_.size() > kForgetAbove) {
      for (auto it = seen_.begin(); it != seen_.end();) {
        it = now - it->second.last_written > kForgetAfter && it->second.held_back == 0
                 ? seen_.erase(it)
                 : std::next(it);
      }
    }
    auto [entry, added] = seen_.try_emplace(text);
    Seen& seen = entry->second;
    if (!added && now - seen.last_written < kRepeatInterval) {
      ++seen.held_back;
    } else {
      std::string line = remote_ip + " " + path + " " + std::to_string(status) + " " + text;
      if (seen.held_back > 0) {
        line += " (" + std::to_string(seen.held_back) + " more like this not shown)";
      }
      seen.last_written = now;
      seen.held_back = 0;
      lines.push_back(std::move(line));
    }
    // Counts of other messages held back for more than a second go out too.
    TakeDueCounts(now, lines);
  }
  if (writer_)
    for (const std::string& line : lines) writer_(line);
}

}  // namespace qv
