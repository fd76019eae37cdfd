#include "service/open_files_limit.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv {
namespace {

// In a child process, so that the test's own limit stays as it is.
TEST(OpenFilesLimitTest, TheSoftLimitIsRaisedToTheHardOne) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 64) GTEST_SKIP() << "hard limit too low to lower the soft one";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit low = limit;
    low.rlim_cur = 32;
    if (::setrlimit(RLIMIT_NOFILE, &low) != 0) ::_exit(2);
    if (!RaiseOpenFilesLimit()) ::_exit(3);
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    ::_exit(now.rlim_cur == limit.rlim_max ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace qv
