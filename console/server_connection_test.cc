#include "console/server_connection.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// A loopback TCP socket bound to a free port; listening only when asked, so
// that a connection to an unlistened one is refused.
struct LoopbackPort {
  LoopbackPort(int family, bool listening) : fd(::socket(family, SOCK_STREAM, 0)) {
    if (fd < 0) return;
    if (family == AF_INET6) {
      sockaddr_in6 a{};
      a.sin6_family = AF_INET6;
      a.sin6_addr = in6addr_loopback;
      bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    } else {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    addressLength = length;
    if (bound && listening) listen(fd, 4);
  }
  ~LoopbackPort() {
    if (fd >= 0) close(fd);
  }
  addrinfo entry(addrinfo* next) {
    addrinfo a{};
    a.ai_family = address.ss_family;
    a.ai_socktype = SOCK_STREAM;
    a.ai_protocol = IPPROTO_TCP;
    a.ai_addr = reinterpret_cast<sockaddr*>(&address);
    a.ai_addrlen = addressLength;
    a.ai_next = next;
    return a;
  }
  int fd;
  bool bound = false;
  sockaddr_storage address{};
  socklen_t addressLength = 0;
};

TEST(ConnectToFirstAddress, SkipsAddressesThatRefuseUntilOneAccepts) {
  LoopbackPort refusing6(AF_INET6, false);
  if (!refusing6.bound) GTEST_SKIP() << "no IPv6 loopback here";
  LoopbackPort refusing4(AF_INET, false);
  LoopbackPort listening(AF_INET, true);
  ASSERT_TRUE(refusing4.bound && listening.bound);

  addrinfo third = listening.entry(nullptr);
  addrinfo second = refusing4.entry(&third);
  addrinfo first = refusing6.entry(&second);
  const ConnectAttempt attempt = connectToFirstAddress(&first);
  ASSERT_NE(attempt.socket, INVALID_SOCKET);
  EXPECT_TRUE(attempt.socketCreated);

  sockaddr_storage peer{};
  socklen_t peerLength = sizeof peer;
  ASSERT_EQ(getpeername(attempt.socket, reinterpret_cast<sockaddr*>(&peer), &peerLength), 0);
  EXPECT_EQ(peerLength, listening.addressLength);
  EXPECT_EQ(std::memcmp(&peer, &listening.address, peerLength), 0);
  closesocket(attempt.socket);
}

TEST(ConnectToFirstAddress, ReportsWhetherAnySocketCouldBeCreated) {
  LoopbackPort refusing(AF_INET, false);
  ASSERT_TRUE(refusing.bound);
  addrinfo refused = refusing.entry(nullptr);
  const ConnectAttempt none = connectToFirstAddress(&refused);
  EXPECT_EQ(none.socket, INVALID_SOCKET);
  EXPECT_TRUE(none.socketCreated);

  addrinfo unsupported = refusing.entry(nullptr);
  unsupported.ai_family = -1;  // no socket can be made for this family
  const ConnectAttempt noSocket = connectToFirstAddress(&unsupported);
  EXPECT_EQ(noSocket.socket, INVALID_SOCKET);
  EXPECT_FALSE(noSocket.socketCreated);
  EXPECT_NE(noSocket.socketError, 0);
}

TEST(TeardownConnection, LeavesNoHandleToReuse) {
  ASSERT_EQ(WSAStartup(0x0202, nullptr), 0);
  CServerConnection connection;
  connection.socket = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(connection.socket, INVALID_SOCKET);

  testing::internal::CaptureStdout();
  teardownConnection(connection);  // never connected: shutdown reports ENOTCONN
  EXPECT_EQ(connection.socket, INVALID_SOCKET);
  // A new socket may now get the number the old one had; a second teardown
  // must fail on its own and leave that socket open.
  const int reused = ::socket(AF_INET, SOCK_STREAM, 0);
  teardownConnection(connection);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "shutdown failed: " + std::to_string(ENOTCONN) +
                         "\nshutdown failed: " + std::to_string(EBADF) + "\n");
  EXPECT_EQ(send(connection.socket, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), EBADF);
  EXPECT_EQ(fcntl(reused, F_GETFD), 0) << "the reused descriptor was closed";
  close(reused);
}

}  // namespace
