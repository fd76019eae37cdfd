#include "service/service.h"

#include <cerrno>

#include "platform/exception.h"
#include "platform/log_line.h"
#include "service/os_error.h"

namespace qv {

namespace {

const char* ControlName(int code) {
  switch (code) {
    case kStop: return "stop";
    case kShutdown: return "shutdown";
    default: return nullptr;
  }
}

std::string FailureText(const char* phase, const std::string& message) {
  return std::string("Service failed on ") + phase + ": " + message;
}

}  // namespace

std::string ExceptionMessage(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Exception*>(&e)) return own->Message();
  return e.what();
}

std::string ApplicationErrorText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

std::string ServiceStateNotification(ServiceState state) {
  switch (state) {
    case ServiceState::Stopped: return "STATUS=Stopped";
    case ServiceState::StartPending: return "STATUS=Starting";
    case ServiceState::StopPending: return "STOPPING=1\nSTATUS=Stopping";
    case ServiceState::Running: return "READY=1\nSTATUS=Running";
  }
  return {};
}

ServiceHost DefaultServiceHost() {
  return ServiceHost{EventLogger(kProgramName), EventLogger(kProgramName), SystemdNotifier()};
}

Service::Service(std::string name, std::string display_name, ServiceHost host)
    : name_(std::move(name)), display_name_(std::move(display_name)), host_(std::move(host)) {}

Service::~Service() { ShutdownServiceThread(); }

void Service::ShutdownServiceThread() {
  if (!thread_.joinable()) return;
  PostControl(kShutdown);
  WaitForServiceThread();
}

void Service::Create() {
  try {
    ServiceCreate();
  } catch (const std::exception& e) {
    host_.application_logger.LogMessage(ApplicationErrorText(ExceptionMessage(e)));
  }
}

void Service::StartServiceThread(std::function<void()> on_ended) {
  ReportStatus(ServiceState::StartPending);
  try {
    thread_ = std::thread(&Service::ServiceThreadMain, this, std::move(on_ended));
  } catch (const std::exception& e) {
    LogMessage(FailureText("execute", ExceptionMessage(e)));
    ReportStatus(ServiceState::Stopped);
    if (on_ended) on_ended();
  }
}

void Service::WaitForServiceThread() {
  if (!thread_.joinable()) return;
  thread_.join();
  ReportStatus(ServiceState::Stopped);
}

void Service::PostControl(int code) {
  {
    std::lock_guard<std::mutex> guard(queue_lock_);
    queue_.push_back(code);
  }
  queue_signal_.notify_one();
}

void Service::ServiceThreadMain(std::function<void()> on_ended) {
  const char* phase = "start";
  try {
    ReportStatus(ServiceState::StartPending);
    bool started = true;
    ServiceStart(started);
    if (started) {
      phase = "execute";
      started_ = true;
      ReportStatus(ServiceState::Running);
      ProcessRequests(true);
      ProcessRequests(false);
    }
  } catch (const std::exception& e) {
    LogMessage(FailureText(phase, ExceptionMessage(e)));
  }
  if (on_ended) on_ended();
}

void Service::ProcessRequests(bool wait) {
  std::unique_lock<std::mutex> lock(queue_lock_);
  for (;;) {
    if (wait) {
      queue_signal_.wait(lock, [this] { return terminated_ || !queue_.empty(); });
      if (terminated_ && queue_.empty()) return;
    } else if (queue_.empty()) {
      return;
    }
    const int code = queue_.front();
    queue_.pop_front();
    lock.unlock();
    DoControl(code);
    lock.lock();
    if (wait && terminated_) return;
  }
}

void Service::DoControl(int code) {
  const ServiceState before = Status();
  try {
    switch (code) {
      case kStop: {
        ReportStatus(ServiceState::StopPending);
        bool stopped = true;
        ServiceStop(stopped);
        if (stopped) {
          std::lock_guard<std::mutex> guard(queue_lock_);
          terminated_ = true;
        } else {
          ReportStatus(before);
        }
        break;
      }
      case kShutdown: {
        // No shutdown handler; the stop handler is not called.
        ReportStatus(ServiceState::StopPending);
        std::lock_guard<std::mutex> guard(queue_lock_);
        terminated_ = true;
        break;
      }
      case kControlReload: {
        // The service manager shows the reload and waits for its end, which
        // is told also when the reload fails.
        Notify(ReloadingNotification());
        struct ReloadEnd {
          Service& service;
          ~ReloadEnd() {
            const ServiceState state = service.Status();
            const std::string status = ServiceStateNotification(state);
            service.Notify(state == ServiceState::Running ? status : "READY=1\n" + status);
          }
        } reload_end{*this};
        ServiceControl(code);
        break;
      }
      default:
        ServiceControl(code);
        break;
    }
  } catch (const std::exception& e) {
    const char* name = ControlName(code);
    if (name) {
      LogMessage(FailureText(name, ExceptionMessage(e)));
    } else {
      LogMessage("Service failed in custom message(" + std::to_string(code) +
                 "): " + ExceptionMessage(e));
    }
    if (code != kShutdown) ReportStatus(before);
  }
}

void Service::ReportStatus(ServiceState state) {
  state_ = state;
  Notify(ServiceStateNotification(state));
}

void Service::Notify(const std::string& message) {
  if (host_.notifier.Enabled() && !host_.notifier.Notify(message)) LogMessage(SysErrorMessage(errno));
}

}  // namespace qv
