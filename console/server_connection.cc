#include "console/server_connection.h"

#include <cstdio>

// Each address is tried in the resolver's order, so that a name such as
// "localhost" reaches a server listening on either IPv4 or IPv6.
ConnectAttempt connectToFirstAddress(const addrinfo* addresses) {
  ConnectAttempt attempt;
  for (const addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
    const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      attempt.socketError = WSAGetLastError();
      continue;
    }
    attempt.socketCreated = true;
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != SOCKET_ERROR) {
      attempt.socket = s;
      break;
    }
    closesocket(s);
  }
  return attempt;
}

bool CServerConnection::connectToServer() {
  WSADATA wsaData;
  const int started = WSAStartup(0x0202, &wsaData);
  if (started != 0) {
    std::printf("WSAStartup failed: %d\n", started);
    return false;
  }

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* addresses = nullptr;
  const int resolved = getaddrinfo(host, port, &hints, &addresses);
  if (resolved != 0) {
    std::printf("getaddrinfo failed: %d\n", resolved);
    WSACleanup();
    return false;
  }

  const ConnectAttempt attempt = connectToFirstAddress(addresses);
  freeaddrinfo(addresses);
  socket = attempt.socket;
  if (!attempt.socketCreated) {
    std::printf("Error at socket(): %d\n", attempt.socketError);
    WSACleanup();
    return false;
  }
  if (socket == INVALID_SOCKET) {
    std::printf("Unable to connect to server!\n");
    WSACleanup();
    return false;
  }
  return true;
}

void teardownConnection(CServerConnection& connection) {
  if (shutdown(connection.socket, SD_SEND) == SOCKET_ERROR) {
    std::printf("shutdown failed: %d\n", WSAGetLastError());
  }
  closesocket(connection.socket);
  connection.socket = INVALID_SOCKET;
  WSACleanup();
}
