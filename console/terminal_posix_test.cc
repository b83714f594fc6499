#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "console/terminal-posix.h"

namespace {

bool sameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// A pseudo-terminal whose terminal side a child process waits on for a key.
class KeyWait : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&controller_, &terminal_, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(tcgetattr(terminal_, &found_), 0);
  }

  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    close(controller_);
    close(terminal_);
  }

  // Starts the wait in a child process of its own process group, so that a
  // stop signal stops it, and returns once the terminal is in key mode.
  void startWait() {
    child_ = fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      setpgid(0, 0);
      _exit(terminal::waitForKeyOn(terminal_) ? 0 : 2);
    }
    ASSERT_TRUE(untilKeyMode());
  }

  bool untilKeyMode() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    termios now;
    while (tcgetattr(terminal_, &now) == 0 && (now.c_lflag & ICANON) != 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return (now.c_lflag & (ICANON | ECHO)) == 0;
  }

  void press(const std::string& key) const {
    ASSERT_EQ(write(controller_, key.data(), key.size()), static_cast<ssize_t>(key.size()));
  }

  // The child's wait status once it has ended (or stopped, with WUNTRACED).
  int waitChild(int options = 0) {
    int status = 0;
    EXPECT_EQ(waitpid(child_, &status, options), child_);
    if (!WIFSTOPPED(status)) {
      child_ = -1;
    }
    return status;
  }

  bool settingsAsFound() const {
    termios now;
    return tcgetattr(terminal_, &now) == 0 && sameSettings(now, found_);
  }

  // Whether `fd` has anything to read, not waiting for it.
  static bool readable(int fd) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }

  int controller_ = -1;
  int terminal_ = -1;
  termios found_;
  pid_t child_ = -1;
};

TEST_F(KeyWait, OneKeyEndsItWithoutEchoAndNothingOfTheKeyIsLeft) {
  for (const std::string key : {"q", "\x1b[A", "\x04"}) {
    SCOPED_TRACE(testing::PrintToString(key));
    startWait();
    press(key);
    const int status = waitChild();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(settingsAsFound());
    EXPECT_FALSE(readable(controller_)) << "the key was echoed";
    // Whatever the key left would be read by the next program; look at the
    // queue byte by byte, then put the settings back.
    termios raw = found_;
    cfmakeraw(&raw);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    ASSERT_EQ(tcsetattr(terminal_, TCSANOW, &raw), 0);
    EXPECT_FALSE(readable(terminal_)) << "bytes of the key were left";
    ASSERT_EQ(tcsetattr(terminal_, TCSANOW, &found_), 0);
  }
}

TEST_F(KeyWait, StoppedProcessLeavesTheTerminalAsFoundAndWaitsAgainWhenContinued) {
  startWait();
  ASSERT_EQ(kill(child_, SIGTSTP), 0);
  const int stopped = waitChild(WUNTRACED);
  ASSERT_TRUE(WIFSTOPPED(stopped));
  EXPECT_TRUE(settingsAsFound());
  ASSERT_EQ(kill(child_, SIGCONT), 0);
  ASSERT_TRUE(untilKeyMode());
  press("k");
  const int status = waitChild();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(settingsAsFound());
}

TEST(KeyWaitOnOtherInput, IsNotForAPipe) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  EXPECT_FALSE(terminal::waitForKeyOn(ends[0]));
  close(ends[0]);
  close(ends[1]);
}

}  // namespace
