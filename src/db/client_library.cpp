// Loads the client library with dlopen and resolves its entry points by name.
#include "db/client_library.h"

#include <dlfcn.h>

#include <cstring>
#include <vector>

namespace qv {
namespace {

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

ClientLibrary Load() {
  void* module = dlopen(kClientLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    throw DbError(std::string("InterBase Client ") + kClientLibraryName + " is not installed");
  }
  ClientLibrary library;
#define QV_CLIENT_ENTRY(name) \
  library.name = reinterpret_cast<decltype(library.name)>(dlsym(module, #name));
#include "db/client_entries.inc"
#undef QV_CLIENT_ENTRY
  return library;  // the module stays loaded for the life of the process
}

}  // namespace

const ClientLibrary& Client() {
  // Initialised once; a failed load raises and is tried again on the next call.
  static const ClientLibrary library = Load();
  return library;
}

std::string ClientLibraryVersion() {
  try {
    const ClientLibrary& library = Client();
    if (library.isc_get_client_version == nullptr) return {};
    char text[256] = "";
    library.isc_get_client_version(text);
    return TrimBlanks(std::string_view(text, strnlen(text, sizeof text)));
  } catch (const DbError&) {
    return {};
  }
}

void MissingEntryPoint(const char* name) {
  throw DbError(std::string("Unable to locate DLL import ") + name);
}

DbStatusError MakeIscError(const ISC_STATUS* status, std::string_view sql) {
  // Copy the vector up to its end marker (code 0 at an argument-type position).
  std::vector<intptr_t> vector;
  for (size_t i = 0; i < ISC_STATUS_LENGTH;) {
    ISC_STATUS type = status[i];
    vector.push_back(type);
    if (type == isc_arg_end) break;
    if (i + 1 >= ISC_STATUS_LENGTH) break;
    if (type == isc_arg_cstring) {
      if (i + 2 >= ISC_STATUS_LENGTH) break;
      vector.push_back(status[i + 1]);
      vector.push_back(status[i + 2]);
      i += 3;
    } else {
      vector.push_back(status[i + 1]);
      i += 2;
    }
  }
  int32_t code = status[0] == isc_arg_gds ? static_cast<int32_t>(status[1]) : 0;
  std::string message = "ISC ERROR CODE:" + std::to_string(code) + "\r\n\r\nISC ERROR MESSAGE:\r\n";
  const ClientLibrary& client = Client();
  int32_t sql_code = 0;
  if (client.isc_sqlcode != nullptr) sql_code = client.isc_sqlcode(status);
  const ISC_STATUS* cursor = status;
  char buffer[1024];
  std::string previous;
  bool first = true;
  auto interpret = Need(client.fb_interpret, "fb_interpret");
  while (interpret(buffer, sizeof buffer, &cursor) > 0) {
    std::string line = TrimBlanks(buffer);
    if (!first && line == previous) continue;
    message += line;
    message += "\r\n";
    previous = std::move(line);
    first = false;
  }
  return DbStatusError(std::move(message), std::move(vector), sql_code, std::string(sql));
}

void RaiseIscError(const ISC_STATUS* status, std::string_view sql) {
  throw MakeIscError(status, sql);
}

}  // namespace qv
