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
    if (seen.heldBack > 0 && (all || now - seen.lastWritten >= kRepeatInterval)) {
      lines.push_back("(" + std::to_string(seen.heldBack) + " more like this not shown) " + text);
      seen.heldBack = 0;
      seen.lastWritten = now;
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

void ErrorLog::PageFailed(const std::string& remoteIp, const std::string& path, int status,
                           const std::string& message) {
  const std::string text = OneLine(message);
  std::vector<std::string> lines;
  {
    std::lock_guard guard(lock_);
    const auto now = now_();
    if (seen_.size() > kForgetAbove) {
      for (auto it = seen_.begin(); it != seen_.end();) {
        it = now - it->second.lastWritten > kForgetAfter && it->second.heldBack == 0
                 ? seen_.erase(it)
                 : std::next(it);
      }
    }
    auto [entry, added] = seen_.try_emplace(text);
    Seen& seen = entry->second;
    if (!added && now - seen.lastWritten < kRepeatInterval) {
      ++seen.heldBack;
    } else {
      std::string line = remoteIp + " " + path + " " + std::to_string(status) + " " + text;
      if (seen.heldBack > 0) {
        line += " (" + std::to_string(seen.heldBack) + " more like this not shown)";
      }
      seen.lastWritten = now;
      seen.heldBack = 0;
      lines.push_back(std::move(line));
    }
    // Counts of other messages held back for more than a second go out too.
    TakeDueCounts(now, lines);
  }
  if (writer_)
    for (const std::string& line : lines) writer_(line);
}

}  // namespace qv
