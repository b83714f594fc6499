// Runs a program and writes its peak memory and CPU time to a file:
//
//   talvo_peak_memory RESULT_FILE PROGRAM [ARGS...]
//
// RESULT_FILE gets one line, "MAXRSS_KIB USER_SECONDS SYSTEM_SECONDS", and the
// exit status is the program's (128 + N when signal N ended it).
//
// Linux counts into a process's peak memory the memory of the process it was
// forked from, as it was when the program was started. Started straight from
// a large parent (the Python benchmark script), a small program would show the
// parent's size; forked from this small launcher, it shows its own (or the
// launcher's, about 1 MiB, whichever is larger). SIGTERM and SIGINT sent to
// the launcher are passed on to the program.

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

volatile pid_t child = -1;

// A request to stop is for the program, not for the launcher.
void forward(int signal) {
  if (child > 0) {
    kill(child, signal);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: talvo_peak_memory RESULT_FILE PROGRAM [ARGS...]\n", stderr);
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = forward;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  // The program gets the default actions back: exec resets caught signals.
  child = fork();
  if (child < 0) {
    std::perror("talvo_peak_memory: fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::fprintf(stderr, "talvo_peak_memory: cannot run %s: %s\n", argv[2], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("talvo_peak_memory: wait4");
      return 2;
    }
  }
  std::FILE* result = std::fopen(argv[1], "w");
  if (result == nullptr) {
    std::perror("talvo_peak_memory: result file");
    return 2;
  }
  std::fprintf(result, "%ld %ld.%06ld %ld.%06ld\n", usage.ru_maxrss,
               static_cast<long>(usage.ru_utime.tv_sec), static_cast<long>(usage.ru_utime.tv_usec),
               static_cast<long>(usage.ru_stime.tv_sec), static_cast<long>(usage.ru_stime.tv_usec));
  if (std::fclose(result) != 0) {
    return 2;
  }
  if (WIFSIGNALED(status)) {
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}
