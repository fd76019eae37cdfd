#include "service/service.h"

#include <gtest/gtest.h>
#include <time.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "support/notify_socket.h"

namespace qv {
namespace {

// Collects events written by a logger, from any thread.
class EventLog {
 public:
  EventLogger Logger(const std::string& source) {
    return EventLogger(source, [this](const std::string& s, const std::string& text) {
      std::lock_guard<std::mutex> guard(lock_);
      events_.push_back(s + ": " + text);
    });
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> events_;
};

// A service whose handlers do what the test asks and note the thread they ran on.
class ScriptedService : public Service {
 public:
  ScriptedService(EventLog& log, const std::string& notify_socket)
      : Service("qvWebService", "Quorvale Web Server",
                 ServiceHost{log.Logger("qvWebService"), log.Logger("qvweb"),
                              SystemdNotifier(notify_socket)}) {}
  ~ScriptedService() override { ShutdownServiceThread(); }

  std::function<void(bool&)> on_start = [](bool&) {};
  std::function<void(bool&)> on_stop = [](bool&) {};
  std::function<void()> on_create = [] {};
  std::function<void(int)> on_control = [](int) {};
  std::vector<std::string> calls;
  std::thread::id handler_thread;

 protected:
  void ServiceCreate() override { on_create(); }
  void ServiceStart(bool& started) override {
    calls.push_back("start");
    handler_thread = std::this_thread::get_id();
    on_start(started);
  }
  void ServiceControl(int code) override { on_control(code); }
  void ServiceStop(bool& stopped) override {
    calls.push_back("stop");
    EXPECT_EQ(handler_thread, std::this_thread::get_id());
    on_stop(stopped);
  }
};

const std::string kStarting = "STATUS=Starting";
const std::string kRunning = "READY=1\nSTATUS=Running";
const std::string kStopping = "STOPPING=1\nSTATUS=Stopping";
const std::string kStopped = "STATUS=Stopped";

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(notify_.Bound()); }

  // Reads the next n reports.
  std::vector<std::string> Reports(size_t n) {
    std::vector<std::string> reports;
    for (size_t i = 0; i < n; ++i) {
      auto message = notify_.Receive();
      if (!message) break;
      reports.push_back(*message);
    }
    return reports;
  }

  // Runs the service thread to its end.
  void StartAndWait(ScriptedService& service) {
    std::promise<void> ended;
    service.StartServiceThread([&ended] { ended.set_value(); });
    ended.get_future().wait();
    service.WaitForServiceThread();
  }

  test::NotifySocket notify_;
  EventLog log_;
};

TEST_F(ServiceTest, StartThenStopGoesThroughTheStates) {
  ScriptedService service(log_, notify_.Path());
  service.StartServiceThread();
  EXPECT_EQ(Reports(3), (std::vector<std::string>{kStarting, kStarting, kRunning}));
  EXPECT_EQ(service.Status(), ServiceState::Running);
  EXPECT_TRUE(service.Started());

  service.PostControl(kStop);
  EXPECT_EQ(Reports(1), std::vector<std::string>{kStopping});
  service.WaitForServiceThread();
  EXPECT_EQ(Reports(1), std::vector<std::string>{kStopped});
  EXPECT_EQ(service.Status(), ServiceState::Stopped);
  EXPECT_EQ(service.calls, (std::vector<std::string>{"start", "stop"}));
  EXPECT_NE(service.handler_thread, std::this_thread::get_id());
  EXPECT_TRUE(log_.Events().empty());
}

TEST_F(ServiceTest, AStopPostedBeforeTheThreadRunsIsKept) {
  ScriptedService service(log_, notify_.Path());
  service.PostControl(kStop);
  StartAndWait(service);
  EXPECT_EQ(Reports(5),
            (std::vector<std::string>{kStarting, kStarting, kRunning, kStopping, kStopped}));
  EXPECT_EQ(service.calls, (std::vector<std::string>{"start", "stop"}));
}

TEST_F(ServiceTest, AFailingStartIsLoggedAndNeverRuns) {
  ScriptedService service(log_, notify_.Path());
  service.on_start = [](bool&) {
    throw Exception("Could not bind socket. Address and port are already in use.");
  };
  StartAndWait(service);
  EXPECT_EQ(Reports(3), (std::vector<std::string>{kStarting, kStarting, kStopped}));
  EXPECT_FALSE(service.Started());
  EXPECT_EQ(service.calls, std::vector<std::string>{"start"});
  EXPECT_EQ(log_.Events(),
            std::vector<std::string>{"qvWebService: Service failed on start: Could not bind "
                                     "socket. Address and port are already in use."});
}

TEST_F(ServiceTest, ADecliningStartStopsQuietly) {
  ScriptedService service(log_, notify_.Path());
  service.on_start = [](bool& started) { started = false; };
  StartAndWait(service);
  EXPECT_EQ(Reports(3), (std::vector<std::string>{kStarting, kStarting, kStopped}));
  EXPECT_FALSE(service.Started());
  EXPECT_TRUE(log_.Events().empty());
}

TEST_F(ServiceTest, ADecliningOrFailingStopKeepsTheServiceRunning) {
  ScriptedService service(log_, notify_.Path());
  int stops = 0;
  service.on_stop = [&stops](bool& stopped) {
    ++stops;
    if (stops == 1) stopped = false;
    if (stops == 2) throw Exception("busy");
  };
  service.StartServiceThread();
  EXPECT_EQ(Reports(3), (std::vector<std::string>{kStarting, kStarting, kRunning}));
  service.PostControl(kStop);
  EXPECT_EQ(Reports(2), (std::vector<std::string>{kStopping, kRunning}));
  service.PostControl(kStop);
  EXPECT_EQ(Reports(2), (std::vector<std::string>{kStopping, kRunning}));
  EXPECT_EQ(log_.Events(), std::vector<std::string>{"qvWebService: Service failed on stop: busy"});
  service.PostControl(kStop);
  EXPECT_EQ(Reports(1), std::vector<std::string>{kStopping});
  service.WaitForServiceThread();
  EXPECT_EQ(Reports(1), std::vector<std::string>{kStopped});
  EXPECT_EQ(stops, 3);
}

TEST_F(ServiceTest, ShutdownAndCustomRequests) {
  ScriptedService service(log_, notify_.Path());
  std::vector<int> controls;
  service.on_control = [&](int code) { controls.push_back(code); };
  service.StartServiceThread();
  EXPECT_EQ(Reports(3), (std::vector<std::string>{kStarting, kStarting, kRunning}));
  // A custom request goes to its handler and changes no state.
  service.PostControl(200);
  // Shutdown ends the service without its stop handler.
  service.PostControl(kShutdown);
  EXPECT_EQ(Reports(1), std::vector<std::string>{kStopping});
  service.WaitForServiceThread();
  EXPECT_EQ(Reports(1), std::vector<std::string>{kStopped});
  EXPECT_EQ(service.calls, std::vector<std::string>{"start"});
  EXPECT_EQ(controls, std::vector<int>{200});
  EXPECT_TRUE(log_.Events().empty());
}

TEST_F(ServiceTest, AReloadIsToldToTheServiceManagerAroundItsHandlerAlsoWhenItFails) {
  ScriptedService service(log_, notify_.Path());
  std::vector<int> controls;
  service.on_control = [&](int code) {
    controls.push_back(code);
    if (controls.size() == 2) throw Exception("cannot read");
  };
  service.StartServiceThread();
  EXPECT_EQ(Reports(3), (std::vector<std::string>{kStarting, kStarting, kRunning}));
  for (int round = 0; round < 2; ++round) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long before = static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    service.PostControl(kControlReload);
    const std::vector<std::string> reports = Reports(2);
    ASSERT_EQ(reports.size(), 2u);
    const std::string start = "RELOADING=1\nSTATUS=Reloading\nMONOTONIC_USEC=";
    ASSERT_EQ(reports[0].rfind(start, 0), 0u) << reports[0];
    const long long stamp = std::stoll(reports[0].substr(start.size()));
    EXPECT_GE(stamp, before);
    EXPECT_LT(stamp, before + 5000000);
    EXPECT_EQ(reports[1], kRunning);
  }
  EXPECT_EQ(controls, (std::vector<int>{kControlReload, kControlReload}));
  // The failure is logged once the end has been told.
  for (int i = 0; i < 500 && log_.Events().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(log_.Events(),
            std::vector<std::string>{"qvWebService: Service failed in custom message(128): cannot read"});
}

TEST_F(ServiceTest, EveryFailingStateReportWritesTheSystemsText) {
  ScriptedService service(log_, notify_.Path() + ".gone");
  service.on_start = [](bool& started) { started = false; };
  StartAndWait(service);
  EXPECT_EQ(log_.Events(), std::vector<std::string>(3, "qvWebService: No such file or directory"));
}

TEST_F(ServiceTest, ACreationFailureGoesToTheApplicationLog) {
  ScriptedService service(log_, notify_.Path());
  service.on_create = [] { throw Exception("Pool cannot be created"); };
  service.Create();
  EXPECT_EQ(log_.Events(), std::vector<std::string>{"qvweb: Pool cannot be created."});
}

struct ErrorTextCase {
  std::string message;
  std::string shown;
};

class ApplicationErrorTextTest : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(ApplicationErrorTextTest, AddsAPeriodAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ApplicationErrorText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Table, ApplicationErrorTextTest,
                         ::testing::Values(ErrorTextCase{"abc", "abc."},
                                           ErrorTextCase{"in use.", "in use."},
                                           ErrorTextCase{"port 8080", "port 8080."},
                                           ErrorTextCase{"why?", "why?."},
                                           ErrorTextCase{"stop!", "stop!"},
                                           ErrorTextCase{"a-", "a-"},
                                           ErrorTextCase{"a/", "a/."},
                                           ErrorTextCase{"", ""}));

}  // namespace
}  // namespace qv
