#include "service/service.h"

#include <cerrno>

#include "platform/exception.h"
#include "platform/log_line.h"
#include "service/os_error.h"

namespace qv {

namespace {

const char* ControlName(int code) {
  switch (code) {
    case scStop: return "stop";
    case scShutdown: return "shutdown";
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

std::string ServiceStateNotification(TServiceState state) {
  switch (state) {
    case TServiceState::Stopped: return "STATUS=Stopped";
    case TServiceState::StartPending: return "STATUS=Starting";
    case TServiceState::StopPending: return "STOPPING=1\nSTATUS=Stopping";
    case TServiceState::Running: return "READY=1\nSTATUS=Running";
  }
  return {};
}

TServiceHost DefaultServiceHost() {
  return TServiceHost{TEventLogger(kProgramName), TEventLogger(kProgramName), TSystemdNotifier()};
}

TService::TService(std::string name, std::string displayName, TServiceHost host)
    : name_(std::move(name)), displayName_(std::move(displayName)), host_(std::move(host)) {}

TService::~TService() { ShutdownServiceThread(); }

void TService::ShutdownServiceThread() {
  if (!thread_.joinable()) return;
  PostControl(scShutdown);
  WaitForServiceThread();
}

void TService::Create() {
  try {
    ServiceCreate();
  } catch (const std::exception& e) {
    host_.ApplicationLogger.LogMessage(ApplicationErrorText(ExceptionMessage(e)));
  }
}

void TService::StartServiceThread(std::function<void()> onEnded) {
  ReportStatus(TServiceState::StartPending);
  try {
    thread_ = std::thread(&TService::ServiceThreadMain, this, std::move(onEnded));
  } catch (const std::exception& e) {
    LogMessage(FailureText("execute", ExceptionMessage(e)));
    ReportStatus(TServiceState::Stopped);
    if (onEnded) onEnded();
  }
}

void TService::WaitForServiceThread() {
  if (!thread_.joinable()) return;
  thread_.join();
  ReportStatus(TServiceState::Stopped);
}

void TService::PostControl(int code) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    queue_.push_back(code);
  }
  queueSignal_.notify_one();
}

void TService::ServiceThreadMain(std::function<void()> onEnded) {
  const char* phase = "start";
  try {
    ReportStatus(TServiceState::StartPending);
    bool started = true;
    ServiceStart(started);
    if (started) {
      phase = "execute";
      started_ = true;
      ReportStatus(TServiceState::Running);
      ProcessRequests(true);
      ProcessRequests(false);
    }
  } catch (const std::exception& e) {
    LogMessage(FailureText(phase, ExceptionMessage(e)));
  }
  if (onEnded) onEnded();
}

void TService::ProcessRequests(bool wait) {
  std::unique_lock<std::mutex> lock(queueLock_);
  for (;;) {
    if (wait) {
      queueSignal_.wait(lock, [this] { return terminated_ || !queue_.empty(); });
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

void TService::DoControl(int code) {
  const TServiceState before = Status();
  try {
    switch (code) {
      case scStop: {
        ReportStatus(TServiceState::StopPending);
        bool stopped = true;
        ServiceStop(stopped);
        if (stopped) {
          std::lock_guard<std::mutex> guard(queueLock_);
          terminated_ = true;
        } else {
          ReportStatus(before);
        }
        break;
      }
      case scShutdown: {
        // No shutdown handler; the stop handler is not called.
        ReportStatus(TServiceState::StopPending);
        std::lock_guard<std::mutex> guard(queueLock_);
        terminated_ = true;
        break;
      }
      case kControlReload: {
        // The service manager shows the reload and waits for its end, which
        // is told also when the reload fails.
        Notify(ReloadingNotification());
        struct TReloadEnd {
          TService& service;
          ~TReloadEnd() {
            const TServiceState state = service.Status();
            const std::string status = ServiceStateNotification(state);
            service.Notify(state == TServiceState::Running ? status : "READY=1\n" + status);
          }
        } reloadEnd{*this};
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
    if (code != scShutdown) ReportStatus(before);
  }
}

void TService::ReportStatus(TServiceState state) {
  state_ = state;
  Notify(ServiceStateNotification(state));
}

void TService::Notify(const std::string& message) {
  if (host_.Notifier.Enabled() && !host_.Notifier.Notify(message)) LogMessage(SysErrorMessage(errno));
}

}  // namespace qv
