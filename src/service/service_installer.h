// Installs the service as a systemd unit started at boot, and removes it again.
// The file-system root is a parameter so that the files can be written elsewhere.
#pragma once

#include <sys/types.h>

#include <string>

namespace qv {

struct ServiceDefinition {
  std::string name;          // unit name without ".service"
  std::string display_name;   // the unit's Description
  std::string binary_path;    // the executable's full path
  std::string settings_path;  // passed as -c when not empty
};

// The system account the service runs as, with a group of the same name.
inline constexpr const char* kServiceAccount = "quorvale";

// The state folder the service runs in, under /var/lib: its working folder
// (Authorizations.sql), owned by the service's account, the place for an
// embedded database. Its log folder, under /var/log, has the same name.
inline constexpr const char* kStateFolderName = "quorvale";
inline constexpr const char* kStateFolder = "/var/lib/quorvale";
// The running server's process id, in its runtime folder under /run (the
// log rotation signals it through this file on any init system).
inline constexpr const char* kPidFile = "/run/quorvale/qvweb.pid";

// The unit file's text for the definition: started once the network is up
// and names resolve, run as the service's account with the state folder as
// working folder, the log folder writable and its process id in the runtime
// folder, the settings (not the database, which may come later) checked
// before each start, SIGHUP for a reload, restarted on failure, sandboxed,
// and allowed to bind ports below 1024.
std::string ServiceUnitText(const ServiceDefinition& service);

// Quotes a path for a unit file's command line when it needs it ("%" and "$"
// doubled, blanks and quotes kept inside double quotes).
std::string QuoteUnitCommandPath(const std::string& path);

// Whether an account with this user and group id may read the file, by the
// permission bits: every folder on its way searchable, the file readable.
// False when something on the way is missing.
bool ReadableByAccount(const std::string& path, uid_t uid, gid_t gid);
// The same for reading and writing the file.
bool WritableByAccount(const std::string& path, uid_t uid, gid_t gid);

class ServiceInstaller {
 public:
  // root "/" is the running system; the systemd manager is told to reload its
  // units only when it is running under that root.
  explicit ServiceInstaller(std::string root = "/");

  // True when the root is the running system's and systemd runs it.
  bool SystemdRunning() const;
  // True when the root is the running system's.
  bool ForRunningSystem() const;

  // <root>/etc/systemd/system/<name>.service
  std::string UnitPath(const std::string& name) const;
  // <root>/etc/systemd/system/multi-user.target.wants/<name>.service
  std::string WantsLinkPath(const std::string& name) const;

  // Makes the service's account when the root is the running system's and
  // the account is missing, then writes the unit file (which must not exist
  // yet) and enables it in multi-user.target. Raises OsError when a file
  // cannot be written, Exception when the account cannot be made; nothing of
  // the new unit is left behind then.
  void Install(const ServiceDefinition& service) const;
  // Removes the enabling link and the unit file. Raises OsError when the unit
  // file cannot be removed (for example when the service is not installed).
  void Uninstall(const std::string& name) const;

 private:
  void ReloadServiceManager() const;
  void EnsureServiceAccount() const;

  std::string root_;
};

}  // namespace qv
