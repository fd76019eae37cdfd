// The Firebird client library, loaded at first use; its entry points are
// looked up by name, and failing calls become DbStatusError exceptions.
#pragma once

#include <ibase.h>

#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/errors.h"

namespace qv {

static_assert(sizeof(IscHandle) == sizeof(FB_API_HANDLE));

// The file name of the client library.
inline constexpr const char* kClientLibraryName = "libfbclient.so.2";

struct ClientLibrary {
#define QV_CLIENT_ENTRY(name) decltype(&::name) name = nullptr;
#include "db/client_entries.inc"
#undef QV_CLIENT_ENTRY
};

// The loaded library; loads it on the first call. Raises DbError with
// "InterBase Client libfbclient.so.2 is not installed" when it cannot be loaded.
const ClientLibrary& Client();

// The loaded client library's version text ("LI-V3.0.11.33703 Firebird 3.0"),
// or empty when the library cannot be loaded or does not tell.
std::string ClientLibraryVersion();

// Raises "Unable to locate DLL import <name>" for an entry point the library lacks.
[[noreturn]] void MissingEntryPoint(const char* name);

template <typename F>
F Need(F function, const char* name) {
  if (function == nullptr) MissingEntryPoint(name);
  return function;
}

// Calls an entry point of the client library by its name.
#define QV_FB(name) ::qv::Need(::qv::Client().name, #name)

// The exception for a failed call, its message built from the status vector.
DbStatusError MakeIscError(const ISC_STATUS* status, std::string_view sql);
[[noreturn]] void RaiseIscError(const ISC_STATUS* status, std::string_view sql = {});

// Raises when the status vector reports an error.
inline void CheckStatus(const ISC_STATUS* status, std::string_view sql = {}) {
  if (status[0] == 1 && status[1] != 0) RaiseIscError(status, sql);
}

}  // namespace qv
