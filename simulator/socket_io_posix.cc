// POSIX side of socket_io.h.

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "simulator/socket_address.h"
#include "simulator/socket_io.h"

namespace sim {

namespace {

std::string errorText(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

void makeNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    throw SocketError(errorText("fcntl", errno));
  }
}

}  // namespace

bool isNumericAddress(const std::string& host, bool ipv6) {
  in6_addr buffer;
  return inet_pton(ipv6 ? AF_INET6 : AF_INET, host.c_str(), &buffer) == 1;
}

void startSockets() {
  // Writes to a connection the peer has closed must fail, not kill us.
  signal(SIGPIPE, SIG_IGN);
}

NativeSocket openListener(const std::string& host, std::uint16_t port, bool ipv6,
                          std::string& bound) {
  sockaddr_storage address{};
  int length = 0;
  if (!makeSocketAddress(host, port, ipv6, address, length)) {
    throw SocketError(std::string("not an ") + (ipv6 ? "IPv6" : "IPv4") + " address: " + host);
  }
  const std::string where = endpointText(host, port, ipv6);

  const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    const int error = errno;
    throw SocketError(errorText(("socket for " + where).c_str(), error), error == EAFNOSUPPORT);
  }
  try {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (ipv6) {
      // An IPv6 wildcard must not take the IPv4 port as well.
      setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) < 0) {
      const int error = errno;
      throw SocketError(errorText(("bind " + where).c_str(), error),
                        error == EADDRNOTAVAIL || error == EAFNOSUPPORT);
    }
    if (listen(fd, SOMAXCONN) < 0) {
      throw SocketError(errorText(("listen " + where).c_str(), errno));
    }
    makeNonBlocking(fd);
    sockaddr_storage actual{};
    socklen_t actualLength = sizeof actual;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&actual), &actualLength) < 0) {
      throw SocketError(errorText("getsockname", errno));
    }
    bound = addressText(actual);
  } catch (...) {
    ::close(fd);
    throw;
  }
  return fd;
}

std::optional<AcceptedConnection> acceptConnection(NativeSocket listener) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  const int fd =
      accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    // EAGAIN: nothing pending. Errors such as ECONNABORTED or EMFILE concern
    // that one connection; the listener carries on.
    return std::nullopt;
  }
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return AcceptedConnection{fd, addressText(peer)};
}

IoResult receiveSome(NativeSocket socket, std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t n = recv(socket, buffer.data(), buffer.size(), 0);
    if (n > 0) {
      return {IoStatus::Done, static_cast<std::size_t>(n), {}};
    }
    if (n == 0) {
      return {IoStatus::Closed, 0, {}};
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return {IoStatus::WouldBlock, 0, {}};
    }
    return {IoStatus::Failed, 0, errorText("recv", errno)};
  }
}

IoResult sendSome(NativeSocket socket, std::span<const std::uint8_t> bytes) {
  for (;;) {
    const ssize_t n = send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0) {
      return {IoStatus::Done, static_cast<std::size_t>(n), {}};
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return {IoStatus::WouldBlock, 0, {}};
    }
    return {IoStatus::Failed, 0, errorText("send", errno)};
  }
}

void closeSocket(NativeSocket socket) {
  ::close(socket);
}

void resetSocket(NativeSocket socket) {
  // Lingering for zero seconds makes close send a reset instead of a FIN.
  const linger abort{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(socket);
}

void pollSockets(std::span<PollEntry> entries, int timeoutMs) {
  std::vector<pollfd> fds(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    fds[i].fd = entries[i].socket;
    fds[i].events = static_cast<short>((entries[i].wantRead ? POLLIN : 0) |
                                       (entries[i].wantWrite ? POLLOUT : 0));
  }
  const int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs);
  if (ready < 0) {
    if (errno == EINTR) {
      return;
    }
    throw SocketError(errorText("poll", errno));
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].readable = (fds[i].revents & POLLIN) != 0;
    entries[i].writable = (fds[i].revents & POLLOUT) != 0;
    entries[i].broken = (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
  }
}

}  // namespace sim
