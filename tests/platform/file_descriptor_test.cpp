// The descriptor owner: closes once, when it goes or is reset; a move hands
// the descriptor on, a release gives it up unclosed.
#include "platform/file_descriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

namespace qv {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(FileDescriptorTest, ClosesOnceWhereverTheDescriptorEndsUp) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const int read_end = ends[0], write_end = ends[1];
  {
    FileDescriptor first(read_end);
    FileDescriptor second(std::move(first));
    EXPECT_FALSE(first.Valid());
    EXPECT_EQ(second.Get(), read_end);
    FileDescriptor third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(read_end));
  }
  EXPECT_FALSE(IsOpen(read_end));

  FileDescriptor writer(write_end);
  EXPECT_EQ(writer.Release(), write_end);
  EXPECT_TRUE(IsOpen(write_end));
  writer.Reset(write_end);
  writer.Reset();
  EXPECT_FALSE(IsOpen(write_end));
}

TEST(FileDescriptorTest, CloseReportsTheErrorAndAFailedCallHoldsNothing) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  FileDescriptor reader(ends[0]);
  EXPECT_EQ(reader.Close(), 0);
  EXPECT_FALSE(reader.Valid());
  EXPECT_EQ(reader.Close(), 0);  // nothing held: nothing to close
  // Closed behind the owner's back: the close says so.
  FileDescriptor writer(ends[1]);
  ASSERT_EQ(::close(ends[1]), 0);
  EXPECT_EQ(writer.Close(), EBADF);
  // What a failed system call returns.
  const FileDescriptor none(::open("/nonexistent/file", O_RDONLY));
  EXPECT_FALSE(none.Valid());
  EXPECT_EQ(none.Get(), -1);
}

}  // namespace
}  // namespace qv
