#include "service/service_application.h"

#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_descriptor.h"
#include "platform/log_line.h"
#include "platform/profile.h"
#include "service/os_error.h"
#include "service/service.h"
#include "service/command_line.h"

namespace qv {

namespace {

// The signals the run loop reads: the stop signals, SIGHUP (read the settings
// again) and SIGUSR1 (reopen the logs).
sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGUSR1);
  return set;
}

}  // namespace

ServiceApplication::ServiceApplication(Service& service, ServiceInstaller installer,
                                         std::ostream& out, std::ostream& err)
    : service_(service),
      installer_(std::move(installer)),
      out_(out),
      err_(err),
      binary_path_(ExecutablePath()) {}

void ServiceApplication::BlockStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int ServiceApplication::Run(const std::vector<std::string_view>& args) {
  const CommandLine line = ParseCommandLine(args);
  if (line.mode == RunMode::Install) return Install(line.silent);
  if (line.mode == RunMode::Uninstall) return Uninstall(line.silent);
  return RunService();
}

int ServiceApplication::Install(bool silent) {
  try {
    installer_.Install({service_.Name(), service_.DisplayName(), binary_path_, settings_path_});
  } catch (const std::exception& e) {
    err_ << FormatLogLine(LogLevel::Error, kProgramName,
                          "Service \"" + service_.DisplayName() + "\" failed to install with error: \"" +
                              ExceptionMessage(e) + "\"")
         << std::flush;
    return 1;
  }
  if (!silent) out_ << "Service installed successfully" << std::endl;
  // On this machine's own system: what the sandbox hides, and how to go on.
  if (installer_.ForRunningSystem()) {
    for (const std::string& path : {binary_path_, settings_path_}) {
      for (const char* hidden : {"/home/", "/root/", "/run/user/"}) {
        if (path.rfind(hidden, 0) == 0)
          out_ << "Warning: " << path << " lies under " << hidden
               << ", which the service cannot see (ProtectHome=yes); install it elsewhere, "
                  "such as /opt/quorvale"
               << std::endl;
      }
    }
    // The account runs the service, so it must read the settings.
    if (const passwd* account = getpwnam(kServiceAccount);
        account != nullptr && !settings_path_.empty() &&
        !ReadableByAccount(settings_path_, account->pw_uid, account->pw_gid)) {
      out_ << "Warning: the account " << kServiceAccount << " cannot read " << settings_path_
           << ", so the service cannot start: give the file to its group (chown root:"
           << kServiceAccount << ", chmod 640) in a folder it may enter" << std::endl;
    }
    if (!installer_.SystemdRunning())
      out_ << "systemd is not running: the unit is written, and is used once systemd runs"
           << std::endl;
    if (!silent) {
      out_ << "Start it:  systemctl start " << service_.Name() << std::endl;
      out_ << "Follow it: journalctl -u " << service_.Name() << " -f" << std::endl;
    }
  }
  return 0;
}

int ServiceApplication::Uninstall(bool silent) {
  try {
    installer_.Uninstall(service_.Name());
  } catch (const std::exception& e) {
    err_ << FormatLogLine(LogLevel::Error, kProgramName,
                          "Service \"" + service_.DisplayName() +
                              "\" failed to uninstall with error: \"" + ExceptionMessage(e) + "\"")
         << std::flush;
    return 1;
  }
  if (!silent) out_ << "Service uninstalled successfully" << std::endl;
  if (installer_.ForRunningSystem() && !installer_.SystemdRunning())
    out_ << "systemd is not running: nothing to stop" << std::endl;
  return 0;
}

int ServiceApplication::RunService() {
  // The stop signals are read from a descriptor rather than by a handler, so
  // they reach the service thread as ordinary control requests.
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  const FileDescriptor signals(signalfd(-1, &set, SFD_CLOEXEC));
  const FileDescriptor ended(eventfd(0, EFD_CLOEXEC));
  if (!signals.Valid() || !ended.Valid()) {
    service_.LogMessage(OSErrorMessage(errno));
    return 1;
  }
  const int ended_fd = ended.Get();
  service_.StartServiceThread([ended_fd] {
    const uint64_t one = 1;
    (void)!write(ended_fd, &one, sizeof one);
  });

  pollfd fds[2] = {{signals.Get(), POLLIN, 0}, {ended_fd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      service_.LogMessage(OSErrorMessage(errno));
      service_.PostControl(kStop);
      break;
    }
    if (fds[1].revents & POLLIN) break;
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info{};
      if (read(signals.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGHUP)
          service_.PostControl(kControlReload);
        else if (info.ssi_signo == SIGUSR1)
          service_.PostControl(kControlReopenLogs);
        else
          service_.PostControl(kStop);
      }
    }
  }
  service_.WaitForServiceThread();
  return service_.Started() ? 0 : 1;
}

}  // namespace qv
