#include "service/systemd_notify.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/notify_socket.h"

namespace qv {
namespace {

TEST(SystemdNotifyTest, SendsEachMessageAsOneDatagram) {
  test::NotifySocket socket;
  ASSERT_TRUE(socket.Bound());
  SystemdNotifier notifier(socket.Path());
  EXPECT_TRUE(notifier.Enabled());
  EXPECT_TRUE(notifier.Notify("READY=1\nSTATUS=Running"));
  EXPECT_TRUE(notifier.Notify("STOPPING=1"));
  EXPECT_EQ(socket.Receive(), "READY=1\nSTATUS=Running");
  EXPECT_EQ(socket.Receive(), "STOPPING=1");
}

TEST(SystemdNotifyTest, TakesTheSocketFromTheEnvironment) {
  test::NotifySocket socket;
  ASSERT_TRUE(socket.Bound());
  const char* saved = std::getenv("NOTIFY_SOCKET");
  const std::string previous = saved ? saved : "";
  setenv("NOTIFY_SOCKET", socket.Path().c_str(), 1);
  SystemdNotifier from_environment;
  if (saved) setenv("NOTIFY_SOCKET", previous.c_str(), 1); else unsetenv("NOTIFY_SOCKET");
  EXPECT_EQ(from_environment.SocketPath(), socket.Path());
  EXPECT_TRUE(from_environment.Notify("STATUS=Starting"));
  EXPECT_EQ(socket.Receive(), "STATUS=Starting");
}

TEST(SystemdNotifyTest, ReachesAnAbstractSocket) {
  const std::string name = "qv_notify_test_" + std::to_string(getpid());
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
            0);
  EXPECT_TRUE(SystemdNotifier("@" + name).Notify("READY=1"));
  char buffer[64];
  const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  close(fd);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "READY=1");
}

TEST(SystemdNotifyTest, OffOrUnreachableNeverRaises) {
  EXPECT_FALSE(SystemdNotifier("").Enabled());
  EXPECT_FALSE(SystemdNotifier("").Notify("READY=1"));
  const struct {
    std::string path;
    int error;
  } unreachable[] = {
      {"relative/path", EINVAL},
      {"/nonexistent/qv/notify", ENOENT},
      {"/" + std::string(200, 'x'), ENAMETOOLONG},
  };
  for (const auto& c : unreachable) {
    SCOPED_TRACE(c.path);
    errno = 0;
    EXPECT_FALSE(SystemdNotifier(c.path).Notify("READY=1"));
    EXPECT_EQ(errno, c.error);
  }
}

}  // namespace
}  // namespace qv
