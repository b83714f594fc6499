#ifndef TALVO_SIMULATOR_SOCKET_IO_H_
#define TALVO_SIMULATOR_SOCKET_IO_H_

// The socket operations the simulator's event loop uses: non-blocking
// listeners and connections, and poll. Everything that depends on the
// platform's socket interface stays behind these declarations:
// socket_io_posix.cc (poll) and socket_io_win32.cc (Winsock 2, WSAPoll).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sim {

// The platform's socket handle: a file descriptor, or Winsock's SOCKET (an
// unsigned integer as wide as a pointer, with INVALID_SOCKET all ones).
#ifdef _WIN32
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket kNoSocket = ~NativeSocket{0};
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
#endif

class SocketError : public std::runtime_error {
 public:
  SocketError(const std::string& what, bool familyUnavailable = false)
      : std::runtime_error(what), familyUnavailable_(familyUnavailable) {}

  // The machine has no such address family or address (no IPv6, say).
  bool familyUnavailable() const { return familyUnavailable_; }

 private:
  bool familyUnavailable_;
};

// True when `host` is a numeric address of the family (no name lookup).
bool isNumericAddress(const std::string& host, bool ipv6);

// Prepares the socket library for the process, once; on Windows it is
// released again when the process exits.
void startSockets();

// A non-blocking listening socket bound to `host`:`port`; `bound` receives
// the address actually bound, port included ("127.0.0.1:41234"). Throws
// SocketError.
NativeSocket openListener(const std::string& host, std::uint16_t port, bool ipv6,
                          std::string& bound);

struct AcceptedConnection {
  NativeSocket socket;
  std::string peer;  // "127.0.0.1:50000" or "[::1]:50000"
};

// A pending connection, made non-blocking with Nagle's delay off, or nullopt
// when none is waiting (or it vanished before it could be taken).
std::optional<AcceptedConnection> acceptConnection(NativeSocket listener);

enum class IoStatus { Done, WouldBlock, Closed, Failed };

struct IoResult {
  IoStatus status;
  std::size_t bytes = 0;
  std::string error;  // for Failed
};

IoResult receiveSome(NativeSocket socket, std::span<std::uint8_t> buffer);
IoResult sendSome(NativeSocket socket, std::span<const std::uint8_t> bytes);

// Orderly close.
void closeSocket(NativeSocket socket);
// Abortive close: the peer sees the connection reset.
void resetSocket(NativeSocket socket);

struct PollEntry {
  NativeSocket socket = kNoSocket;
  bool wantRead = false;
  bool wantWrite = false;
  // Results.
  bool readable = false;
  bool writable = false;
  bool broken = false;  // error or hang-up: a read or write will tell which
};

// Waits until an entry is ready or `timeoutMs` passes (-1: no limit). An
// interruption by a signal returns early with nothing ready. An entry that
// wants neither to read nor to write may be left out of the wait (Windows
// reports a peer's half-close as a hang-up, which would never stop waking
// the wait). Throws SocketError when polling itself fails.
void pollSockets(std::span<PollEntry> entries, int timeoutMs);

}  // namespace sim

#endif  // TALVO_SIMULATOR_SOCKET_IO_H_
