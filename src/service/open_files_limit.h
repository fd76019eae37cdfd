// Raising the process's open-files limit: the server holds a descriptor per
// connection, so it takes all the system allows it.
#pragma once

namespace qv {

// Sets the soft RLIMIT_NOFILE to the hard one; false when that failed (the
// old limit stays).
bool RaiseOpenFilesLimit();

}  // namespace qv
