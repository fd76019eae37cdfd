// The log writer against real outputs: appends never wait, lines an output
// cannot take are dropped and counted, what arrives arrives whole and in
// order, the count of dropped lines is reported at most once an interval,
// and lines follow the output they were appended for.
#include "service/log_writer.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log_outputs.h"
#include "support/test_files.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// "line 0042 xxxx...x\n", 100 bytes.
std::string Line(int n) {
  char head[16];
  std::snprintf(head, sizeof head, "line %04d ", n);
  std::string line(head);
  line.append(99 - line.size(), 'x');
  return line + "\n";
}

// The whole lines of text; a piece after the last line break (a line cut
// short when the writer gave up) is not one.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
    lines.push_back(text.substr(begin, end + 1 - begin));
  return lines;
}

// What a case's output received, line by line, after the writer flushed.
struct Output {
  std::shared_ptr<LogSink> sink;
  std::function<std::vector<std::string>()> received;
};

struct OutputCase {
  const char* name;
  int lines;
  size_t capacity;  // of the writer's buffer
  // Makes the output inside folder; resources it needs live in keep.
  std::function<Output(const std::string& folder, std::vector<std::shared_ptr<void>>& keep)> make;
  bool all_arrive;
  bool settled_in_time;  // what Flush says: every line written, or refused by the output
  std::string reason;  // of the drops, when lines are dropped
};

class LogWriterOutputTest : public ::testing::TestWithParam<OutputCase> {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);  // as the server has it
    folder_ = test::MakeTempFolder("qv_log_writer");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder_;
};

TEST_P(LogWriterOutputTest, EveryLineArrivesWholeOrIsCountedAsDropped) {
  const OutputCase& c = GetParam();
  std::vector<std::shared_ptr<void>> keep;
  Output output = c.make(folder_, keep);
  LogWriter::Options options;
  options.capacity_bytes = c.capacity;
  options.wake_bytes = 0;
  options.interval = 20ms;
  std::mutex report_lock;
  uint64_t reported = 0;
  std::vector<std::string> reasons;
  {
    LogWriter writer(options);
    writer.SetDropReport([&](uint64_t lines, const std::string& reason) {
      std::lock_guard guard(report_lock);
      reported += lines;
      reasons.push_back(reason);
    });
    writer.SetSink(output.sink);
    int refused = 0;
    for (int i = 0; i < c.lines; ++i) refused += writer.Append(Line(i)) ? 0 : 1;
    EXPECT_EQ(writer.Flush(300ms), c.settled_in_time);
    EXPECT_LE(static_cast<uint64_t>(refused), writer.Dropped());

    const std::vector<std::string> received = output.received();
    // In order, each one whole, none twice.
    int next = 0;
    for (const std::string& line : received) {
      while (next < c.lines && Line(next) != line) ++next;
      ASSERT_LT(next, c.lines) << "not appended, or out of order: " << line;
      ++next;
    }
    // Lines still in the output's own buffer (a pipe nobody read) are not lost.
    EXPECT_EQ(received.size() + writer.Dropped(), static_cast<size_t>(c.lines));
    std::lock_guard guard(report_lock);
    EXPECT_EQ(reported, writer.Dropped());
  }
  if (c.all_arrive) {
    EXPECT_TRUE(reasons.empty());
  } else {
    ASSERT_FALSE(reasons.empty());
    EXPECT_EQ(reasons.back(), c.reason);
  }
}

Output FileOutput(const std::string& folder, std::vector<std::shared_ptr<void>>&) {
  const std::string path = folder + "/log";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  return {std::make_shared<DescriptorSink>(fd, true),
          [path] { return SplitLines(test::ReadFile(path)); }};
}

// A pipe of one page that nobody reads until the writer gave up.
Output UnreadPipe(const std::string&, std::vector<std::shared_ptr<void>>& keep) {
  auto pipe = std::make_shared<test::TestPipe>();
  keep.push_back(pipe);
  return {std::make_shared<DescriptorSink>(pipe->WriteEnd(), false),
          [pipe] { return SplitLines(pipe->Drain()); }};
}

// A pipe read all along by a thread of the test's own.
Output ReadPipe(const std::string&, std::vector<std::shared_ptr<void>>& keep) {
  struct Reader {
    test::TestPipe pipe{0};
    std::mutex lock;
    std::string text;
    std::atomic<bool> stop{false};
    std::thread thread;
    ~Reader() {
      stop = true;
      if (thread.joinable()) thread.join();
    }
  };
  auto reader = std::make_shared<Reader>();
  reader->thread = std::thread([r = reader.get()] {
    char buffer[4096];
    while (!r->stop) {
      pollfd entry{r->pipe.ReadEnd(), POLLIN, 0};
      if (poll(&entry, 1, 10) <= 0) continue;
      const ssize_t n = read(r->pipe.ReadEnd(), buffer, sizeof buffer);
      if (n <= 0) return;
      std::lock_guard guard(r->lock);
      r->text.append(buffer, static_cast<size_t>(n));
    }
  });
  keep.push_back(reader);
  return {std::make_shared<DescriptorSink>(reader->pipe.WriteEnd(), false), [r = reader.get()] {
            // Flushed means written into the pipe; the reader may still be behind.
            for (int i = 0; i < 500; ++i) {
              {
                std::lock_guard guard(r->lock);
                if (pollfd entry{r->pipe.ReadEnd(), POLLIN, 0}; poll(&entry, 1, 0) == 0)
                  return SplitLines(r->text);
              }
              std::this_thread::sleep_for(10ms);
            }
            std::lock_guard guard(r->lock);
            return SplitLines(r->text);
          }};
}

Output PipeWithoutReader(const std::string&, std::vector<std::shared_ptr<void>>& keep) {
  auto pipe = std::make_shared<test::TestPipe>();
  pipe->CloseReadEnd();
  keep.push_back(pipe);
  return {std::make_shared<DescriptorSink>(pipe->WriteEnd(), false),
          [] { return std::vector<std::string>(); }};
}

Output FullDevice(const std::string&, std::vector<std::shared_ptr<void>>&) {
  return {std::make_shared<DescriptorSink>(open("/dev/full", O_WRONLY | O_CLOEXEC), true),
          [] { return std::vector<std::string>(); }};
}

// A system log socket that nobody reads: it takes a few datagrams only.
Output UnreadSystemLog(const std::string& folder, std::vector<std::shared_ptr<void>>& keep) {
  auto receiver = std::make_shared<test::DatagramReceiver>(folder + "/log.socket");
  keep.push_back(receiver);
  return {std::make_shared<SyslogSink>(receiver->Path()), [receiver] {
            std::vector<std::string> lines;
            for (const std::string& message : receiver->Drain()) lines.push_back(message + "\n");
            return lines;
          }};
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogWriterOutputTest,
    ::testing::Values(
        OutputCase{"File", 500, 1 << 20, FileOutput, true, true, ""},
        OutputCase{"ReadPipe", 2000, 1 << 20, ReadPipe, true, true, ""},
        OutputCase{"UnreadPipe", 1000, 16384, UnreadPipe, false, false,
                   LogWriter::kBlockedReason},
        OutputCase{"PipeWithoutReader", 50, 16384, PipeWithoutReader, false, true,
                   "writing failed: Broken pipe"},
        OutputCase{"FullDevice", 50, 16384, FullDevice, false, true,
                   "writing failed: No space left on device"},
        OutputCase{"UnreadSystemLog", 200, 16384, UnreadSystemLog, false, false,
                   LogWriter::kBlockedReason}),
    [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

// The count of dropped lines goes out at once, then at most once an interval.
TEST(LogWriterReportTest, DroppedLinesAreReportedAtMostOnceAnInterval) {
  test::TestPipe pipe;  // nobody reads it
  std::mutex lock;
  std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
  std::vector<uint64_t> reports;
  LogWriter::Options options;
  options.capacity_bytes = 1000;
  options.wake_bytes = 0;
  options.interval = 10ms;
  options.report_interval = 10s;
  options.now = [&] {
    std::lock_guard guard(lock);
    return now;
  };
  LogWriter writer(options);
  writer.SetDropReport([&](uint64_t lines, const std::string&) {
    std::lock_guard guard(lock);
    reports.push_back(lines);
  });
  writer.SetSink(std::make_shared<DescriptorSink>(pipe.WriteEnd(), false));
  auto report_count = [&] {
    std::lock_guard guard(lock);
    return reports.size();
  };
  auto await_reports = [&](size_t count) {
    for (int i = 0; i < 500 && report_count() < count; ++i) std::this_thread::sleep_for(10ms);
    return report_count();
  };
  // Fill the pipe and the buffer, then drop.
  int line = 0;
  while (writer.Dropped() < 5) {
    writer.Append(Line(line++));
    if (writer.Dropped() == 0) std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(await_reports(1), 1u);

  // More drops within the interval: no line about them yet.
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(writer.Append(Line(line++)));
  std::this_thread::sleep_for(200ms);  // twenty rounds of the writer
  EXPECT_EQ(report_count(), 1u);

  {
    std::lock_guard guard(lock);
    now += 10s;
  }
  ASSERT_EQ(await_reports(2), 2u);
  {
    std::lock_guard guard(lock);
    EXPECT_GE(reports[1], 3u);
    EXPECT_EQ(reports[0] + reports[1], writer.Dropped());
  }
  writer.Flush(50ms);  // gives the blocked batch up: the end need not wait
}

// Lines appended before the output changes (a log file reopened after
// rotation) go to the old one, later lines to the new one.
TEST(LogWriterSinkTest, LinesGoToTheOutputTheyWereAppendedFor) {
  const std::string folder = test::MakeTempFolder("qv_log_switch");
  ASSERT_FALSE(folder.empty());
  auto file = [&](const char* name) {
    return std::make_shared<DescriptorSink>(
        open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600), true);
  };
  LogWriter::Options options;
  options.interval = 10s;  // nothing is written before the flush
  {
    LogWriter writer(options);
    writer.SetSink(file("first"));
    writer.Append(Line(1));
    writer.Append(Line(2));
    writer.SetSink(file("second"));
    writer.Append(Line(3));
    writer.SetSink(nullptr);  // off: let go, not counted
    writer.Append(Line(4));
    writer.SetSink(file("third"));
    writer.Append(Line(5));
    EXPECT_TRUE(writer.Flush(5s));
    EXPECT_EQ(writer.Dropped(), 0u);
  }
  EXPECT_EQ(test::ReadFile(folder + "/first"), Line(1) + Line(2));
  EXPECT_EQ(test::ReadFile(folder + "/second"), Line(3));
  EXPECT_EQ(test::ReadFile(folder + "/third"), Line(5));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qv
