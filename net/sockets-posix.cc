// POSIX side of the socket operations declared in sockets.h.

#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include "net/sockets.h"

namespace {

// Balanced start-ups and releases, as the socket library counts them.
int startCount = 0;

}  // namespace

int WSAStartup(unsigned short version, WSADATA* data) {
  if ((version & 0xff) < 2) {
    return EINVAL;
  }
  if (data != nullptr) {
    data->wVersion = 0x0202;
    data->wHighVersion = 0x0202;
  }
  // A send on a connection the peer has closed must fail with EPIPE and be
  // reported, not kill the process. Windows has no such signal; ignoring it
  // here gives sockets the same behaviour.
  signal(SIGPIPE, SIG_IGN);
  ++startCount;
  return 0;
}

int WSACleanup() {
  if (startCount == 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  --startCount;
  return 0;
}

int WSAGetLastError() {
  return errno;
}

// No handle is touched for INVALID_SOCKET: the call fails with EBADF.
int closesocket(SOCKET s) {
  if (s == INVALID_SOCKET) {
    errno = EBADF;
    return SOCKET_ERROR;
  }
  return close(s);
}
