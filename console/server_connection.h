#ifndef TALVO_CONSOLE_SERVER_CONNECTION_H_
#define TALVO_CONSOLE_SERVER_CONNECTION_H_

#include "net/sockets.h"

// The client's one connection to the acquisition server.
struct CServerConnection {
  const char* host = nullptr;  // server address text
  const char* port = nullptr;  // port text, resolved as a service name
  SOCKET socket = INVALID_SOCKET;

  // Starts the socket library, resolves host and port and connects to the
  // first resolved address that accepts. True when `socket` is connected;
  // otherwise the failure is printed and the socket library released.
  bool connectToServer();
};

struct ConnectAttempt {
  SOCKET socket = INVALID_SOCKET;  // connected, or INVALID_SOCKET when no address accepted
  bool socketCreated = false;      // a socket could be created for at least one address
  int socketError = 0;             // the last socket creation error
};

// Connects a new socket to the first address of `addresses` that accepts.
ConnectAttempt connectToFirstAddress(const addrinfo* addresses);

// Shuts down sending, closes the socket and releases the socket library.
// Afterwards `socket` is INVALID_SOCKET, so a later send, shutdown or close
// fails without touching a handle that the system may have reused.
void teardownConnection(CServerConnection& connection);

#endif  // TALVO_CONSOLE_SERVER_CONNECTION_H_
