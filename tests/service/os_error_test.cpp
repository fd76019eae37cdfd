#include "service/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qv {
namespace {

TEST(OSErrorTest, MessageForms) {
  EXPECT_EQ(OSErrorMessage(0), "A call to an OS function failed");
  EXPECT_EQ(OSErrorMessage(ENOENT), "System Error.  Code: 2.\r\nNo such file or directory");
  EXPECT_EQ(OSErrorMessage(EACCES), "System Error.  Code: 13.\r\nPermission denied");
}

TEST(OSErrorTest, RaiseCarriesCodeAndMessage) {
  try {
    RaiseLastOSError(EEXIST);
    FAIL() << "no exception";
  } catch (const OsError& e) {
    EXPECT_EQ(e.ErrorCode(), EEXIST);
    EXPECT_EQ(e.Message(), "System Error.  Code: 17.\r\nFile exists");
  }
}

TEST(OSErrorTest, RaiseWithoutCodeTakesErrno) {
  errno = ENOTDIR;
  EXPECT_THROW(
      {
        try {
          RaiseLastOSError();
        } catch (const OsError& e) {
          EXPECT_EQ(e.ErrorCode(), ENOTDIR);
          throw;
        }
      },
      OsError);
}

}  // namespace
}  // namespace qv
