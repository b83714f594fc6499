#ifndef TALVO_SIMULATOR_SIMULATOR_SERVER_H_
#define TALVO_SIMULATOR_SIMULATOR_SERVER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "simulator/connection_session.h"
#include "simulator/device_clock.h"
#include "simulator/device_model.h"
#include "simulator/options.h"
#include "simulator/shutdown_signal.h"
#include "simulator/socket_io.h"
#include "simulator/traffic_log.h"

namespace sim {

// The simulator's network side: one thread, one poll over the listeners and
// every connection, all sockets non-blocking. Every client talks to the same
// device; delayed and split replies wait in their connection's queue, so no
// client ever holds up another.
class SimulatorServer {
 public:
  static constexpr std::size_t kMaxConnections = 64;
  // A connection whose replies not yet sent (due or not) reach this many
  // bytes is not read from until they drop below it: a client that sends
  // and never reads is held up by its own socket, and what the simulator
  // keeps for it stays under this plus the replies to one read.
  static constexpr std::size_t kMaxUnsentBytes = 64 * 1024;

  // `errors` receives the diagnostics that are not traffic (framing errors,
  // failures); the traffic goes to `log`.
  SimulatorServer(const Options& options, TrafficLog& log, std::ostream& errors);
  ~SimulatorServer();

  SimulatorServer(const SimulatorServer&) = delete;
  SimulatorServer& operator=(const SimulatorServer&) = delete;

  // Opens the listeners and returns the addresses bound. With the default
  // addresses, one whose family the machine lacks is skipped as long as
  // another one opens. Throws SocketError.
  std::vector<std::string> listen();

  // Serves until `stop` is requested, then closes every connection.
  void run(const ShutdownSignal& stop);

 private:
  struct Connection {
    NativeSocket socket;
    std::unique_ptr<ConnectionSession> session;
    std::vector<std::uint8_t> outbox;  // due bytes the socket has not taken yet
    bool reading = true;               // false once the peer has finished sending
    bool closed = false;
  };

  // True while the connection takes more bytes from its peer.
  static bool wantsInput(const Connection& connection);
  void acceptAll(NativeSocket listener);
  void readFrom(Connection& connection, SteadyTime now);
  // Sends what is due, and closes the connection when its session ends.
  void service(Connection& connection, SteadyTime now);
  // Sends as much of the outbox as the socket takes; false on failure.
  bool flush(Connection& connection);
  void close(Connection& connection, const std::string& reason, bool reset = false);
  int pollTimeoutMs(SteadyTime now) const;

  const Options& options_;
  TrafficLog& log_;
  std::ostream& errors_;
  DeviceModel device_;
  DeviceClock clock_;
  std::vector<NativeSocket> listeners_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::array<std::uint8_t, 4096> readBuffer_{};
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_SIMULATOR_SERVER_H_
