// The service framework: a service's name and state, the service thread that
// runs its start and stop handlers and works through control requests, and the
// reports of each state change to the service manager and of failures to the log.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "service/event_logger.h"
#include "service/systemd_notify.h"

namespace qv {

enum class ServiceState {
  Stopped = 1,
  StartPending = 2,
  StopPending = 3,
  Running = 4,
};

// Control requests; any other number is a custom request, accepted without action.
enum ServiceControl : int {
  kStop = 1,
  kShutdown = 5,
};

// Requests of the program's own, posted on SIGHUP and SIGUSR1.
inline constexpr int kControlReload = 128;      // read the settings again (told to the
                                                // service manager as a reload)
inline constexpr int kControlReopenLogs = 129;  // reopen the log files

// The message a state is reported with to the service manager.
std::string ServiceStateNotification(ServiceState state);

// Where a service records what happens to it.
struct ServiceHost {
  EventLogger logger;             // the service's events
  EventLogger application_logger;  // the program's own events (pooled sessions, creation)
  SystemdNotifier notifier;       // state reports
};

// The default host: both loggers write to the program log under the
// program's one name; state reports go to NOTIFY_SOCKET from the environment.
ServiceHost DefaultServiceHost();

class Service {
 public:
  Service(std::string name, std::string display_name, ServiceHost host);
  virtual ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& DisplayName() const { return display_name_.empty() ? name_ : display_name_; }
  ServiceState Status() const { return state_.load(); }
  const ServiceHost& Host() const { return host_; }

  // Runs the creation handler; a failure goes to the application's log and
  // does not end the program.
  void Create();

  // Reports start pending and starts the service thread; on_ended is called on
  // that thread as its last act.
  void StartServiceThread(std::function<void()> on_ended = nullptr);
  // Waits for the service thread to end, then reports stopped.
  void WaitForServiceThread();
  // Asks the service thread to end without calling the stop handler and waits
  // for it. A derived class calls this in its destructor, before its members go.
  void ShutdownServiceThread();
  // True once the start handler succeeded and the service reached running.
  bool Started() const { return started_.load(); }

  // Queues a control request for the service thread; safe from any thread,
  // also before the thread runs.
  void PostControl(int code);

  // Writes an error event under the service's name.
  void LogMessage(const std::string& text) const { host_.logger.LogMessage(text); }

 protected:
  // Handlers; a handler that clears its flag declines.
  virtual void ServiceCreate() {}
  virtual void ServiceStart(bool& started) { (void)started; }
  virtual void ServiceStop(bool& stopped) { (void)stopped; }
  // Any other request code, on the service thread; by default no action.
  virtual void ServiceControl(int code) { (void)code; }

 private:
  void ServiceThreadMain(std::function<void()> on_ended);
  // Works through the queue; with wait, blocks for requests until terminated.
  void ProcessRequests(bool wait);
  void DoControl(int code);
  // Reports the state to the service manager; a report that fails writes the
  // system's text for the failure as an error event.
  void ReportStatus(ServiceState state);
  // Sends one message to the service manager; a failure is logged as above.
  void Notify(const std::string& message);

  std::string name_;
  std::string display_name_;
  ServiceHost host_;
  std::atomic<ServiceState> state_{ServiceState::Stopped};
  std::atomic<bool> started_{false};

  std::mutex queue_lock_;
  std::condition_variable queue_signal_;
  std::deque<int> queue_;
  bool terminated_ = false;  // guarded by queue_lock_
  std::thread thread_;
};

// The text of a failure, as events show it.
std::string ExceptionMessage(const std::exception& e);

// A message as the application's error report shows it: a "." is added when
// the last character sorts after ".".
std::string ApplicationErrorText(const std::string& message);

}  // namespace qv
