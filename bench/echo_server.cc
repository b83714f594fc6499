// A server that only echoes: every byte a client sends comes straight back.
// It stands beside talvoW6Sim in the end-to-end benchmark to show what a
// client reaches when the server costs next to nothing: one thread per
// connection, blocking reads and writes.
//
//   talvo_echo_server [PORT]      (default 0: a free port)
//
// Listens on 127.0.0.1 only. The first line of standard output, flushed at
// once, is "talvo_echo_server listening on 127.0.0.1:PORT". Runs until it is
// stopped by a signal.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void echo(int s) {
  char buffer[4096];
  while (true) {
    const ssize_t got = read(s, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(s, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) {
        continue;
      }
      if (put <= 0) {
        close(s);
        return;
      }
      done += put;
    }
  }
  close(s);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fputs("usage: talvo_echo_server [PORT]\n", stderr);
    return 2;
  }
  const long port = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (port < 0 || port > 65535) {
    std::fputs("talvo_echo_server: port out of range\n", stderr);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::fprintf(stderr, "talvo_echo_server: cannot listen: %s\n", std::strerror(errno));
    return 1;
  }
  std::printf("talvo_echo_server listening on 127.0.0.1:%u\n", ntohs(address.sin_port));
  std::fflush(stdout);

  while (true) {
    const int s = accept(listener, nullptr, nullptr);
    if (s < 0) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      std::fprintf(stderr, "talvo_echo_server: accept failed: %s\n", std::strerror(errno));
      return 1;
    }
    // Small replies leave at once, as the simulator's do.
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::thread(echo, s).detach();
  }
}
