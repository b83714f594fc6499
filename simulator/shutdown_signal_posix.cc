// POSIX side of shutdown_signal.h: a signal handler that writes to a pipe.

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "simulator/shutdown_signal.h"

namespace sim {

namespace {

volatile sig_atomic_t stopRequested = 0;
int wakePipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
  const int saved = errno;
  stopRequested = 1;
  const char byte = 1;
  // A full pipe already wakes the loop; the result does not matter.
  [[maybe_unused]] const ssize_t ignored = write(wakePipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

ShutdownSignal::ShutdownSignal() {
  if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) < 0) {
    throw SocketError(std::string("pipe: ") + std::strerror(errno));
  }
  stopRequested = 0;
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

ShutdownSignal::~ShutdownSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  close(wakePipe[0]);
  close(wakePipe[1]);
  wakePipe[0] = wakePipe[1] = -1;
}

NativeSocket ShutdownSignal::pollHandle() const {
  return wakePipe[0];
}

bool ShutdownSignal::requested() const {
  return stopRequested != 0;
}

}  // namespace sim
