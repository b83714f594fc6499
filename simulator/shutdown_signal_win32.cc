// Windows side of shutdown_signal.h: a console control handler (Ctrl-C,
// Ctrl-Break, the console window closed, logoff, shutdown) that sends a byte
// over a connected loopback socket pair. WSAPoll waits on sockets only, so
// the pair's receiving end is what the event loop polls.

// Winsock 2 first: windows.h would otherwise bring in the old winsock.h.
#include "net/sockets.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "simulator/shutdown_signal.h"

namespace sim {

namespace {

// The console handler runs on a thread of its own, which Windows starts for
// each event; these are shared with it.
std::atomic<bool> stopRequested{false};
std::mutex wakeMutex;
SOCKET wakeSend = INVALID_SOCKET;
SOCKET wakeReceive = INVALID_SOCKET;
// Set once the event loop has finished and every connection is closed. Never
// closed: a handler may still be waiting on it while the process exits.
HANDLE loopFinished = nullptr;

// How long a handler for a closing console waits for the loop to finish;
// Windows ends the process after about five seconds in any case.
constexpr DWORD kCloseWaitMs = 4000;

[[noreturn]] void fail(const char* what) {
  throw SocketError(std::string("shutdown signal: ") + what + " failed (error " +
                    std::to_string(WSAGetLastError()) + ")");
}

// Two connected sockets over 127.0.0.1. The receiving end is checked to be
// connected to our own sending end, not to another local process that got
// to the temporary listener first.
void makeSocketPair(SOCKET& sender, SOCKET& receiver) {
  const auto newSocket = [] {
    return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                      WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  };
  SOCKET listener = newSocket();
  sender = newSocket();
  receiver = INVALID_SOCKET;
  const auto cleanUp = [&] {
    for (SOCKET* s : {&listener, &sender, &receiver}) {
      if (*s != INVALID_SOCKET) {
        closesocket(*s);
        *s = INVALID_SOCKET;
      }
    }
  };
  const auto check = [&](bool ok, const char* what) {
    if (!ok) {
      const int error = WSAGetLastError();
      cleanUp();
      WSASetLastError(error);
      fail(what);
    }
  };
  check(listener != INVALID_SOCKET && sender != INVALID_SOCKET, "socket");

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  check(bind(listener, reinterpret_cast<const sockaddr*>(&address), length) == 0, "bind");
  check(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0, "getsockname");
  check(listen(listener, 1) == 0, "listen");
  check(connect(sender, reinterpret_cast<const sockaddr*>(&address), length) == 0, "connect");
  sockaddr_in senderAddress{};
  int senderLength = sizeof senderAddress;
  check(getsockname(sender, reinterpret_cast<sockaddr*>(&senderAddress), &senderLength) == 0,
        "getsockname");
  sockaddr_in peer{};
  int peerLength = sizeof peer;
  receiver = accept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength);
  check(receiver != INVALID_SOCKET, "accept");
  closesocket(listener);
  listener = INVALID_SOCKET;
  if (peer.sin_port != senderAddress.sin_port ||
      peer.sin_addr.s_addr != senderAddress.sin_addr.s_addr) {
    cleanUp();
    throw SocketError("shutdown signal: loopback pair connected to a stranger");
  }
  u_long on = 1;
  check(ioctlsocket(sender, FIONBIO, &on) == 0 && ioctlsocket(receiver, FIONBIO, &on) == 0,
        "ioctlsocket");
  const DWORD noDelay = 1;
  setsockopt(sender, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
             sizeof noDelay);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  stopRequested = true;
  {
    const std::lock_guard lock(wakeMutex);
    if (wakeSend != INVALID_SOCKET) {
      // A byte already waiting wakes the loop as well; the result does not matter.
      const char byte = 1;
      send(wakeSend, &byte, 1, 0);
    }
  }
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    // The process ends as soon as this returns: let the loop close the
    // connections first.
    WaitForSingleObject(loopFinished, kCloseWaitMs);
  }
  return TRUE;
}

}  // namespace

ShutdownSignal::ShutdownSignal() {
  startSockets();
  if (loopFinished == nullptr) {
    loopFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (loopFinished == nullptr) {
      throw SocketError("shutdown signal: CreateEvent failed (error " +
                        std::to_string(GetLastError()) + ")");
    }
  } else {
    ResetEvent(loopFinished);
  }
  SOCKET sender = INVALID_SOCKET;
  SOCKET receiver = INVALID_SOCKET;
  makeSocketPair(sender, receiver);
  {
    const std::lock_guard lock(wakeMutex);
    wakeSend = sender;
    wakeReceive = receiver;
  }
  stopRequested = false;
  if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
    const DWORD error = GetLastError();
    {
      const std::lock_guard lock(wakeMutex);
      closesocket(wakeSend);
      closesocket(wakeReceive);
      wakeSend = wakeReceive = INVALID_SOCKET;
    }
    throw SocketError("shutdown signal: SetConsoleCtrlHandler failed (error " +
                      std::to_string(error) + ")");
  }
}

ShutdownSignal::~ShutdownSignal() {
  SetConsoleCtrlHandler(onConsoleEvent, FALSE);
  {
    const std::lock_guard lock(wakeMutex);
    closesocket(wakeSend);
    closesocket(wakeReceive);
    wakeSend = wakeReceive = INVALID_SOCKET;
  }
  SetEvent(loopFinished);
}

NativeSocket ShutdownSignal::pollHandle() const {
  return wakeReceive;
}

bool ShutdownSignal::requested() const {
  return stopRequested;
}

}  // namespace sim
