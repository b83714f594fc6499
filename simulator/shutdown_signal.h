#ifndef TALVO_SIMULATOR_SHUTDOWN_SIGNAL_H_
#define TALVO_SIMULATOR_SHUTDOWN_SIGNAL_H_

#include "simulator/socket_io.h"

namespace sim {

// Catches the requests to stop for as long as it exists (SIGINT and SIGTERM
// on POSIX; Ctrl-C, Ctrl-Break and the console's closing on Windows), and
// turns them into a handle that becomes readable, so that the event loop's
// poll wakes up at once instead of missing a request that comes just before
// it waits. One at a time per process.
class ShutdownSignal {
 public:
  ShutdownSignal();
  ~ShutdownSignal();

  ShutdownSignal(const ShutdownSignal&) = delete;
  ShutdownSignal& operator=(const ShutdownSignal&) = delete;

  // Poll it for reading.
  NativeSocket pollHandle() const;
  bool requested() const;
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_SHUTDOWN_SIGNAL_H_
