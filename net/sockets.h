#ifndef TALVO_NET_SOCKETS_H_
#define TALVO_NET_SOCKETS_H_

// The socket operations the client uses, under the names and with the
// behaviour of Windows Sockets 2, so that the client is written once:
//
//   WSAStartup, WSACleanup   start and release the socket library
//   WSAGetLastError          the error code of the last failed socket call
//   getaddrinfo, freeaddrinfo, socket, connect, send, recv
//   shutdown (with SD_SEND), closesocket
//   SOCKET, INVALID_SOCKET, SOCKET_ERROR, WSADATA
//
// On Windows these are the real Winsock 2 with its own error codes (10061
// for a refused connection, 11001 from getaddrinfo for an unknown host, ...).
// There an operation on INVALID_SOCKET fails without touching any handle, and
// a send on a broken connection fails with an error, as there is no SIGPIPE.
//
// Elsewhere they map onto POSIX sockets; the error codes are then errno
// values (and EAI_* codes from getaddrinfo), and the library start-up also
// makes a send on a connection that the peer has closed fail with an error
// instead of raising SIGPIPE.

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX  // keep std::min, std::max and numeric_limits<>::max usable
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#else  // POSIX

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr int SD_SEND = SHUT_WR;

struct WSADATA {
  unsigned short wVersion;
  unsigned short wHighVersion;
};

// Starts the socket library; 0 on success. `version` must ask for 2.x.
int WSAStartup(unsigned short version, WSADATA* data);
// Releases the socket library; 0 on success, SOCKET_ERROR when it was not started.
int WSACleanup();
int WSAGetLastError();
int closesocket(SOCKET s);

#endif

#endif  // TALVO_NET_SOCKETS_H_
