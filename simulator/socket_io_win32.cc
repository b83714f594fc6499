// Windows side of socket_io.h: Winsock 2 and WSAPoll.

// Winsock 2 first: windows.h would otherwise bring in the old winsock.h.
#include "net/sockets.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <type_traits>
#include <vector>

#include "simulator/socket_address.h"
#include "simulator/socket_io.h"

namespace sim {

static_assert(std::is_same_v<NativeSocket, SOCKET>);
static_assert(kNoSocket == INVALID_SOCKET);

namespace {

// "what: the system's text (WSA error N)".
std::string errorText(const std::string& what, int error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message(text != nullptr ? text : "", length);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) {
    message = "socket error";
  }
  return what + ": " + message + " (WSA error " + std::to_string(error) + ")";
}

void makeNonBlocking(SOCKET socket) {
  u_long on = 1;
  if (ioctlsocket(socket, FIONBIO, &on) == SOCKET_ERROR) {
    throw SocketError(errorText("ioctlsocket", WSAGetLastError()));
  }
}

int clampedLength(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

// Winsock for the life of the process: started on first use, released when
// the process exits.
class SocketLibrary {
 public:
  SocketLibrary() {
    WSADATA data{};
    const int error = WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0) {
      throw SocketError(errorText("WSAStartup", error));
    }
  }
  ~SocketLibrary() { WSACleanup(); }

  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

}  // namespace

bool isNumericAddress(const std::string& host, bool ipv6) {
  startSockets();
  in6_addr buffer;
  return inet_pton(ipv6 ? AF_INET6 : AF_INET, host.c_str(), &buffer) == 1;
}

void startSockets() {
  // Constructed once; a failed start throws and is tried again on the next
  // call. There is no SIGPIPE: a send on a closed connection fails.
  static SocketLibrary library;
}

NativeSocket openListener(const std::string& host, std::uint16_t port, bool ipv6,
                          std::string& bound) {
  startSockets();
  sockaddr_storage address{};
  int length = 0;
  if (!makeSocketAddress(host, port, ipv6, address, length)) {
    throw SocketError(std::string("not an ") + (ipv6 ? "IPv6" : "IPv4") + " address: " + host);
  }
  const std::string where = endpointText(host, port, ipv6);

  const SOCKET socket = WSASocketW(address.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    throw SocketError(errorText("socket for " + where, error), error == WSAEAFNOSUPPORT);
  }
  try {
    // No SO_REUSEADDR: on Windows it lets another socket bind the port we
    // listen on. Without it, a port in use fails to bind, as on POSIX.
    if (ipv6) {
      // An IPv6 wildcard must not take the IPv4 port as well.
      const DWORD on = 1;
      setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), length) == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      throw SocketError(errorText("bind " + where, error),
                        error == WSAEADDRNOTAVAIL || error == WSAEAFNOSUPPORT);
    }
    if (listen(socket, SOMAXCONN) == SOCKET_ERROR) {
      throw SocketError(errorText("listen " + where, WSAGetLastError()));
    }
    makeNonBlocking(socket);
    sockaddr_storage actual{};
    int actualLength = sizeof actual;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&actual), &actualLength) == SOCKET_ERROR) {
      throw SocketError(errorText("getsockname", WSAGetLastError()));
    }
    bound = addressText(actual);
  } catch (...) {
    closesocket(socket);
    throw;
  }
  return socket;
}

std::optional<AcceptedConnection> acceptConnection(NativeSocket listener) {
  sockaddr_storage peer{};
  int length = sizeof peer;
  const SOCKET socket = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
  if (socket == INVALID_SOCKET) {
    // WSAEWOULDBLOCK: nothing pending. Errors such as WSAECONNRESET or
    // WSAEMFILE concern that one connection; the listener carries on.
    return std::nullopt;
  }
  // An accepted socket takes the listener's non-blocking mode; set it anyway
  // rather than depend on that.
  u_long on = 1;
  if (ioctlsocket(socket, FIONBIO, &on) == SOCKET_ERROR) {
    closesocket(socket);
    return std::nullopt;
  }
  const DWORD noDelay = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
             sizeof noDelay);
  return AcceptedConnection{socket, addressText(peer)};
}

IoResult receiveSome(NativeSocket socket, std::span<std::uint8_t> buffer) {
  const int n =
      recv(socket, reinterpret_cast<char*>(buffer.data()), clampedLength(buffer.size()), 0);
  if (n > 0) {
    return {IoStatus::Done, static_cast<std::size_t>(n), {}};
  }
  if (n == 0) {
    return {IoStatus::Closed, 0, {}};
  }
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) {
    return {IoStatus::WouldBlock, 0, {}};
  }
  return {IoStatus::Failed, 0, errorText("recv", error)};
}

IoResult sendSome(NativeSocket socket, std::span<const std::uint8_t> bytes) {
  const int n =
      send(socket, reinterpret_cast<const char*>(bytes.data()), clampedLength(bytes.size()), 0);
  if (n != SOCKET_ERROR) {
    return {IoStatus::Done, static_cast<std::size_t>(n), {}};
  }
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) {
    return {IoStatus::WouldBlock, 0, {}};
  }
  return {IoStatus::Failed, 0, errorText("send", error)};
}

void closeSocket(NativeSocket socket) {
  closesocket(socket);
}

void resetSocket(NativeSocket socket) {
  // Lingering for zero seconds makes closesocket send a reset instead of a FIN.
  const linger abort{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
  closesocket(socket);
}

void pollSockets(std::span<PollEntry> entries, int timeoutMs) {
  // WSAPoll reports a hang-up whatever was asked, also when the peer has
  // only finished sending; an entry that wants nothing stays out of the
  // wait, or that hang-up would wake it again at once until the entry wants
  // something.
  std::vector<WSAPOLLFD> fds;
  std::vector<std::size_t> polled;
  fds.reserve(entries.size());
  polled.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    PollEntry& entry = entries[i];
    entry.readable = entry.writable = entry.broken = false;
    if (!entry.wantRead && !entry.wantWrite) {
      continue;
    }
    WSAPOLLFD fd{};
    fd.fd = entry.socket;
    fd.events =
        static_cast<short>((entry.wantRead ? POLLRDNORM : 0) | (entry.wantWrite ? POLLWRNORM : 0));
    fds.push_back(fd);
    polled.push_back(i);
  }
  if (fds.empty()) {
    Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    return;
  }
  const int ready = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
  if (ready == SOCKET_ERROR) {
    throw SocketError(errorText("WSAPoll", WSAGetLastError()));
  }
  for (std::size_t k = 0; k < fds.size(); ++k) {
    PollEntry& entry = entries[polled[k]];
    const short revents = fds[k].revents;
    // A hang-up may be the peer's half-close, after which sending still
    // works: a read tells (end of stream or an error), as POLLIN does on
    // POSIX. Only errors count as broken.
    entry.readable = (revents & (POLLRDNORM | POLLHUP)) != 0;
    entry.writable = (revents & POLLWRNORM) != 0;
    entry.broken = (revents & (POLLERR | POLLNVAL)) != 0;
  }
}

}  // namespace sim
