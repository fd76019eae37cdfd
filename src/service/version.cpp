#include "service/version.h"

#include "db/client_library.h"

namespace qv {

const char* ServerVersion() { return QV_VERSION; }

std::string VersionText() {
  std::string text = std::string("qvweb ") + ServerVersion() + "\n";
  const std::string client = ClientLibraryVersion();
  if (!client.empty())
    text += "Firebird client " + client + "\n";
  else
    text += std::string("Firebird client: ") + kClientLibraryName + " not loaded\n";
  return text;
}

}  // namespace qv
