// Installs the service as a systemd unit started at boot, and removes it again.
// The file-system root is a parameter so that the files can be written elsewhere.
#pragma once

#include <string>

namespace qv {

struct TServiceDefinition {
  std::string Name;         // unit name without ".service"
  std::string DisplayName;  // the unit's Description
  std::string BinaryPath;   // the executable's full path, started without arguments
};

// The unit file's text for the definition.
std::string ServiceUnitText(const TServiceDefinition& service);

// Quotes a path for a unit file's command line when it needs it ("%" and "$"
// doubled, blanks and quotes kept inside double quotes).
std::string QuoteUnitCommandPath(const std::string& path);

class TServiceInstaller {
 public:
  // root "/" is the running system; the systemd manager is told to reload its
  // units only when it is running under that root.
  explicit TServiceInstaller(std::string root = "/");

  // <root>/etc/systemd/system/<name>.service
  std::string UnitPath(const std::string& name) const;
  // <root>/etc/systemd/system/multi-user.target.wants/<name>.service
  std::string WantsLinkPath(const std::string& name) const;

  // Writes the unit file (which must not exist yet) and enables it in
  // multi-user.target. Raises EOSError when a file cannot be written; nothing of
  // the new unit is left behind then.
  void Install(const TServiceDefinition& service) const;
  // Removes the enabling link and the unit file. Raises EOSError when the unit
  // file cannot be removed (for example when the service is not installed).
  void Uninstall(const std::string& name) const;

 private:
  void ReloadServiceManager() const;

  std::string root_;
};

}  // namespace qv
