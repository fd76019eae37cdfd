#include "service/service_installer.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/file_descriptor.h"
#include "service/os_error.h"

extern char** environ;

namespace qv {

namespace {

constexpr const char* kUnitFolder = "etc/systemd/system";
constexpr const char* kWantsFolder = "etc/systemd/system/multi-user.target.wants";

bool IsPlainPathChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '/' || c == '_' || c == '.' || c == '-' || c == '+' || c == ',' || c == ':' ||
         c == '@' || c == '=';
}

std::string JoinRoot(const std::string& root, const std::string& relative) {
  std::string path = root.empty() ? "/" : root;
  if (path.back() != '/') path += '/';
  return path + relative;
}

// Creates the folder and its parents; raises OsError on failure.
void ForceFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) RaiseLastOSError(error.value());
}

void WriteNewFile(const std::string& path, const std::string& text) {
  FileDescriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!file.Valid()) RaiseLastOSError();
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(file.Get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      file.Reset();
      unlink(path.c_str());
      RaiseLastOSError(error);
    }
    written += static_cast<size_t>(n);
  }
  if (const int error = file.Close(); error != 0) {
    unlink(path.c_str());
    RaiseLastOSError(error);
  }
}

bool HasControlChars(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Runs the program found on PATH with the arguments and waits for it; the
// result is its exit status, -1 when it did not end normally. Raises
// OsError when it cannot be started.
int RunProgram(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (error != 0) RaiseLastOSError(error);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) RaiseLastOSError();
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether the permission bits grant the account what the bits ask.
bool Permits(const struct stat& status, uid_t uid, gid_t gid, mode_t user, mode_t group, mode_t other) {
  if (uid == 0) return true;
  if (status.st_uid == uid) return (status.st_mode & user) != 0;
  if (status.st_gid == gid) return (status.st_mode & group) != 0;
  return (status.st_mode & other) != 0;
}

bool IsRunningSystemRoot(const std::string& root) {
  std::error_code error;
  return std::filesystem::equivalent(root.empty() ? "/" : root, "/", error);
}

}  // namespace

std::string QuoteUnitCommandPath(const std::string& path) {
  bool plain = !path.empty();
  for (char c : path) plain = plain && IsPlainPathChar(c);
  if (plain) return path;
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '%') {
      quoted += "%%";
    } else if (c == '$') {
      quoted += "$$";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string ServiceUnitText(const ServiceDefinition& service) {
  std::string text;
  text += "[Unit]\n";
  text += "Description=" + service.display_name + "\n";
  text += "Documentation=man:qvweb(8)\n";
  // Host names in DBName and the session store must resolve at the start.
  text += "Wants=network-online.target\n";
  text += "After=network-online.target nss-lookup.target\n";
  text += "\n";
  text += "[Service]\n";
  text += "Type=notify\n";
  const std::string program = QuoteUnitCommandPath(service.binary_path);
  const std::string settings =
      service.settings_path.empty() ? "" : " -c " + QuoteUnitCommandPath(service.settings_path);
  // The account owns the state, log and runtime folders, which systemd
  // creates (and hands over, with an embedded database in the state
  // folder); the settings, readable by its group, are checked before every
  // start, without the database: a database that is down at the start is
  // answered with 503 until it comes back, rather than failing the unit.
  text += std::string("User=") + kServiceAccount + "\n";
  text += std::string("Group=") + kServiceAccount + "\n";
  text += "ExecStartPre=" + program + " -t --settings-only" + settings + "\n";
  text += "ExecStart=" + program + settings + " --pid-file " + kPidFile + "\n";
  text += "ExecReload=/bin/kill -HUP $MAINPID\n";
  text += std::string("StateDirectory=") + kStateFolderName + "\n";
  text += std::string("LogsDirectory=") + kStateFolderName + "\n";
  text += std::string("RuntimeDirectory=") + kStateFolderName + "\n";
  text += std::string("WorkingDirectory=") + kStateFolder + "\n";
  text += "Restart=on-failure\n";
  text += "RestartSec=2\n";
  text += "UMask=0027\n";
  // The sandbox: what the server never needs is taken away.
  text += "NoNewPrivileges=yes\n";
  text += "ProtectSystem=strict\n";
  text += "ProtectHome=yes\n";
  text += "PrivateTmp=yes\n";
  text += "PrivateDevices=yes\n";
  text += "ProtectKernelTunables=yes\n";
  text += "ProtectKernelModules=yes\n";
  text += "ProtectKernelLogs=yes\n";
  text += "ProtectControlGroups=yes\n";
  text += "ProtectClock=yes\n";
  text += "ProtectHostname=yes\n";
  text += "ProtectProc=invisible\n";
  text += "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n";
  text += "RestrictNamespaces=yes\n";
  text += "RestrictRealtime=yes\n";
  text += "RestrictSUIDSGID=yes\n";
  text += "LockPersonality=yes\n";
  text += "SystemCallArchitectures=native\n";
  text += "SystemCallFilter=@system-service\n";
  text += "LimitNOFILE=65536\n";
  text += "AmbientCapabilities=CAP_NET_BIND_SERVICE\n";
  text += "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n";
  text += "\n";
  text += "[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

namespace {

bool AccessibleByAccount(const std::string& path, uid_t uid, gid_t gid, bool write) {
  std::error_code error;
  const std::filesystem::path file = std::filesystem::absolute(path, error);
  if (error) return false;
  struct stat status {};
  std::filesystem::path folder;
  for (const std::filesystem::path& part : file.parent_path()) {
    folder /= part;
    if (stat(folder.c_str(), &status) != 0 || !Permits(status, uid, gid, S_IXUSR, S_IXGRP, S_IXOTH))
      return false;
  }
  return stat(file.c_str(), &status) == 0 && Permits(status, uid, gid, S_IRUSR, S_IRGRP, S_IROTH) &&
         (!write || Permits(status, uid, gid, S_IWUSR, S_IWGRP, S_IWOTH));
}

}  // namespace

bool ReadableByAccount(const std::string& path, uid_t uid, gid_t gid) {
  return AccessibleByAccount(path, uid, gid, false);
}

bool WritableByAccount(const std::string& path, uid_t uid, gid_t gid) {
  return AccessibleByAccount(path, uid, gid, true);
}

ServiceInstaller::ServiceInstaller(std::string root) : root_(std::move(root)) {}

std::string ServiceInstaller::UnitPath(const std::string& name) const {
  return JoinRoot(root_, std::string(kUnitFolder) + "/" + name + ".service");
}

std::string ServiceInstaller::WantsLinkPath(const std::string& name) const {
  return JoinRoot(root_, std::string(kWantsFolder) + "/" + name + ".service");
}

void ServiceInstaller::Install(const ServiceDefinition& service) const {
  const std::string unit_path = UnitPath(service.name);
  // A line break in the path would end the unit's setting early.
  if (HasControlChars(service.binary_path) || HasControlChars(service.settings_path))
    RaiseLastOSError(EINVAL);
  if (ForRunningSystem()) EnsureServiceAccount();
  ForceFolders(JoinRoot(root_, kUnitFolder));
  WriteNewFile(unit_path, ServiceUnitText(service));
  try {
    ForceFolders(JoinRoot(root_, kWantsFolder));
    // The link points where the unit lies on the system it is installed for.
    const std::string target = "/" + std::string(kUnitFolder) + "/" + service.name + ".service";
    const std::string link_path = WantsLinkPath(service.name);
    if (symlink(target.c_str(), link_path.c_str()) != 0) {
      // A link left over from an earlier installation is replaced.
      if (errno != EEXIST || unlink(link_path.c_str()) != 0 ||
          symlink(target.c_str(), link_path.c_str()) != 0) {
        RaiseLastOSError();
      }
    }
  } catch (...) {
    unlink(unit_path.c_str());
    throw;
  }
  ReloadServiceManager();
}

void ServiceInstaller::Uninstall(const std::string& name) const {
  const std::string link_path = WantsLinkPath(name);
  if (unlink(link_path.c_str()) != 0 && errno != ENOENT) RaiseLastOSError();
  if (unlink(UnitPath(name).c_str()) != 0) RaiseLastOSError();
  ReloadServiceManager();
}

bool ServiceInstaller::ForRunningSystem() const { return IsRunningSystemRoot(root_); }

bool ServiceInstaller::SystemdRunning() const {
  return ForRunningSystem() && access("/run/systemd/system", F_OK) == 0;
}

void ServiceInstaller::ReloadServiceManager() const {
  // Only a running systemd of this very root has units to reload.
  if (!SystemdRunning()) return;
  if (RunProgram({"systemctl", "daemon-reload"}) != 0)
    throw Exception("systemctl daemon-reload failed");
}

void ServiceInstaller::EnsureServiceAccount() const {
  if (getpwnam(kServiceAccount) != nullptr) return;
  // A system account and its group, with the state folder as home, the way
  // the Debian package makes it; useradd where adduser is missing.
  int status = -1;
  try {
    status = RunProgram({"adduser", "--system", "--group", "--quiet", "--home", kStateFolder,
                         "--no-create-home", kServiceAccount});
  } catch (const OsError& e) {
    if (e.ErrorCode() != ENOENT) throw;
    status = RunProgram({"useradd", "--system", "--user-group", "--home-dir", kStateFolder,
                         "--no-create-home", "--shell", "/usr/sbin/nologin", kServiceAccount});
  }
  if (status != 0)
    throw Exception(std::string("the account ") + kServiceAccount + " could not be made (exit status " +
                    std::to_string(status) + ")");
}

}  // namespace qv
