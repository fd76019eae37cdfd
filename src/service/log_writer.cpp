#include "service/log_writer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/callback_slot.h"
#include "service/os_error.h"

namespace qv {

namespace {

// How long a writer going away lets its lines be written.
constexpr std::chrono::milliseconds kFinalFlush{1000};
// How long the writer thread is waited for once told to give up its batch,
// or to end; it looks every tenth of a second.
constexpr std::chrono::milliseconds kGiveUpWait{200};

uint64_t CountLines(std::string_view text) {
  return static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

// Everything the writer thread touches, shared with it, so that a thread
// stuck on its output can be left behind safely.
class LogWriter::State : public std::enable_shared_from_this<LogWriter::State> {
 public:
  explicit State(Options options) : options_(std::move(options)) {
    pending_.reserve(std::min<size_t>(options_.capacity_bytes, 65536));
  }

  void SetSink(std::shared_ptr<LogSink> sink) {
    {
      std::lock_guard guard(lock_);
      if (!pending_.empty()) {
        earlier_.push_back(Segment{sink_, std::move(pending_)});
        pending_ = std::string();
      }
      sink_ = std::move(sink);
      if (sink_ && !thread_.joinable()) {
        // The thread keeps the state alive; the writer object may go first.
        auto self = shared_from_this();
        thread_ = std::thread([self] { self->Run(); });
      }
    }
    wake_.notify_one();
  }

  void SetDropReport(DropReport report) { report_.Set(std::move(report)); }

  bool Append(std::string_view lines) {
    bool wake = false;
    {
      std::lock_guard guard(lock_);
      if (!sink_) return true;
      if (waiting_ + lines.size() > options_.capacity_bytes) {
        last_error_.store(0, std::memory_order_relaxed);
        dropped_.fetch_add(CountLines(lines), std::memory_order_relaxed);
        return false;
      }
      pending_.append(lines);
      waiting_ += lines.size();
      appended_ += lines.size();
      wake = options_.wake_bytes == 0 ||
             (waiting_ >= options_.wake_bytes && waiting_ - lines.size() < options_.wake_bytes);
    }
    if (wake) wake_.notify_one();
    return true;
  }

  bool Flush(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool all = true;
    {
      std::unique_lock guard(lock_);
      const uint64_t target = appended_;
      flush_wanted_ = true;
      wake_.notify_one();
      if (!settled_.wait_until(guard, deadline, [&] { return handled_ >= target; })) {
        all = false;
        // What waits is dropped; the batch in hand is given up at the
        // writer's next look, which comes within a tenth of a second.
        uint64_t lines = CountLines(pending_);
        for (const Segment& segment : earlier_) lines += CountLines(segment.text);
        handled_ += waiting_;
        pending_.clear();
        earlier_.clear();
        waiting_ = 0;
        if (lines > 0) {
          last_error_.store(0, std::memory_order_relaxed);
          dropped_.fetch_add(lines, std::memory_order_relaxed);
        }
        generation_.fetch_add(1);
        settled_.wait_for(guard, kGiveUpWait, [&] { return !writing_; });
      }
    }
    Report(true);
    return all;
  }

  // Lets the thread end: what still waits is dropped. True when it ended.
  bool Stop(std::chrono::milliseconds limit) {
    std::unique_lock guard(lock_);
    stopping_ = true;
    generation_.fetch_add(1);
    wake_.notify_one();
    return !thread_.joinable() || settled_.wait_for(guard, limit, [&] { return finished_; });
  }

  void Join(bool ended) {
    std::thread thread;
    {
      std::lock_guard guard(lock_);
      thread.swap(thread_);
    }
    if (!thread.joinable()) return;
    if (ended)
      thread.join();
    else
      thread.detach();
  }

  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Segment {
    std::shared_ptr<LogSink> sink;
    std::string text;
  };

  void Run() {
    std::unique_lock guard(lock_);
    std::string batch;
    std::vector<Segment> earlier;
    for (;;) {
      wake_.wait_for(guard, options_.interval, [&] {
        return stopping_ || flush_wanted_ || !earlier_.empty() ||
               (waiting_ > 0 && waiting_ >= options_.wake_bytes);
      });
      if (stopping_) {
        // Lines that came after the last flush are lost, and counted.
        uint64_t lines = CountLines(pending_);
        for (const Segment& segment : earlier_) lines += CountLines(segment.text);
        dropped_.fetch_add(lines, std::memory_order_relaxed);
        break;
      }
      flush_wanted_ = false;
      if (waiting_ == 0) {
        guard.unlock();
        Report(false);
        guard.lock();
        continue;
      }
      earlier.swap(earlier_);
      batch.swap(pending_);
      const std::shared_ptr<LogSink> sink = sink_;
      const uint64_t size = waiting_;
      waiting_ = 0;
      writing_ = true;
      const uint64_t generation = generation_.load();
      guard.unlock();

      for (const Segment& segment : earlier) WriteOut(segment.sink.get(), segment.text, generation);
      WriteOut(sink.get(), batch, generation);
      earlier.clear();
      batch.clear();
      Report(false);

      guard.lock();
      writing_ = false;
      handled_ += size;
      settled_.notify_all();
    }
    finished_ = true;
    settled_.notify_all();
  }

  void WriteOut(LogSink* sink, const std::string& text, uint64_t generation) {
    if (!sink || text.empty()) return;
    int error = 0;
    const size_t done = sink->Write(
        text,
        [&] {
          Report(false);
          return generation_.load() == generation;
        },
        error);
    if (done >= text.size()) return;
    last_error_.store(error, std::memory_order_relaxed);
    dropped_.fetch_add(CountLines(std::string_view(text).substr(done)), std::memory_order_relaxed);
  }

  // Tells the report function how many lines were dropped since it was last
  // told, when the interval has passed (or at once when forced).
  void Report(bool force) {
    uint64_t lines;
    {
      std::lock_guard guard(report_lock_);
      const uint64_t total = dropped_.load(std::memory_order_relaxed);
      if (total == reported_) return;
      const auto now = options_.now();
      if (!force && last_report_ && now - *last_report_ < options_.report_interval) return;
      lines = total - reported_;
      reported_ = total;
      last_report_ = now;
    }
    // Told without the lock: the report is written to a log in turn.
    const int error = last_error_.load(std::memory_order_relaxed);
    report_.Call(lines, error == 0 ? std::string(kBlockedReason)
                                   : "writing failed: " + SysErrorMessage(error));
  }

  Options options_;
  std::mutex lock_;
  std::condition_variable wake_;     // the writer: lines, a flush or the stop
  std::condition_variable settled_;  // flushes and the stop: a batch is done
  std::string pending_;
  std::vector<Segment> earlier_;  // lines meant for sinks set before sink_
  std::shared_ptr<LogSink> sink_;
  size_t waiting_ = 0;     // bytes in pending_ and earlier_
  uint64_t appended_ = 0;  // bytes ever accepted
  uint64_t handled_ = 0;   // of those, bytes written or dropped
  bool writing_ = false;
  bool flush_wanted_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  std::thread thread_;

  std::atomic<uint64_t> generation_{0};  // raised to make the writer give up its batch
  std::atomic<uint64_t> dropped_{0};
  std::atomic<int> last_error_{0};  // errno of the last drop, 0 for a full buffer

  std::mutex report_lock_;
  CallbackSlot<uint64_t, const std::string&> report_;
  uint64_t reported_ = 0;
  std::optional<std::chrono::steady_clock::time_point> last_report_;
};

LogWriter::LogWriter() : LogWriter(Options()) {}

LogWriter::LogWriter(Options options) : state_(std::make_shared<State>(std::move(options))) {}

LogWriter::~LogWriter() {
  state_->Flush(kFinalFlush);
  state_->SetDropReport(nullptr);
  state_->Join(state_->Stop(kGiveUpWait));
}

void LogWriter::SetSink(std::shared_ptr<LogSink> sink) { state_->SetSink(std::move(sink)); }

void LogWriter::SetDropReport(DropReport report) { state_->SetDropReport(std::move(report)); }

bool LogWriter::Append(std::string_view lines) { return state_->Append(lines); }

bool LogWriter::Flush(std::chrono::milliseconds limit) { return state_->Flush(limit); }

uint64_t LogWriter::Dropped() const { return state_->Dropped(); }

}  // namespace qv
