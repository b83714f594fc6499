// POSIX terminals: lines through libedit, key presses through termios.
#include <errno.h>
#include <histedit.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "console/terminal-posix.h"
#include "console/terminal.h"

namespace terminal {
namespace {

constexpr int kHistorySize = 500;

// The line editor of the run, set up at the first edited read. The history
// lives in memory only: the client keeps no files.
class LineEditor {
 public:
  LineEditor() = default;
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;
  ~LineEditor() {
    if (editor_ != nullptr) {
      el_end(editor_);
    }
    if (history_ != nullptr) {
      history_end(history_);
    }
  }

  LineRead read(const char* prompt, std::string& line) {
    if (!opened_) {
      opened_ = true;
      interactive_ = open();
    }
    if (!interactive_) {
      return LineRead::kNotInteractive;
    }
    prompt_ = prompt;
    // libedit writes the prompt through the same stdout stream; what the run
    // printed before must reach the terminal first.
    std::fflush(stdout);
    int count = 0;
    const char* text = el_gets(editor_, &count);
    if (text == nullptr || count <= 0) {
      // Ctrl-D on an empty line leaves the cursor behind the prompt; what
      // follows starts on a line of its own.
      std::fputs("\n", stdout);
      return LineRead::kEnd;
    }
    line.assign(text, static_cast<std::size_t>(count));
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
    }
    if (!line.empty()) {
      HistEvent event;
      history(history_, &event, H_ENTER, line.c_str());
    }
    return LineRead::kLine;
  }

 private:
  bool open() {
    if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
      return false;
    }
    history_ = history_init();
    editor_ = history_ != nullptr ? el_init("talvoW6Client", stdin, stdout, stderr) : nullptr;
    if (editor_ == nullptr) {
      return false;
    }
    HistEvent event;
    history(history_, &event, H_SETSIZE, kHistorySize);
    // Repeating the last command adds no second entry.
    history(history_, &event, H_SETUNIQUE, 1);
    el_set(editor_, EL_CLIENTDATA, this);
    el_set(editor_, EL_PROMPT, &LineEditor::prompt);
    el_set(editor_, EL_EDITOR, "emacs");
    el_set(editor_, EL_HIST, history, history_);
    // Restores the terminal when a signal arrives while a line is edited.
    el_set(editor_, EL_SIGNAL, 1);
    return true;
  }

  static char* prompt(EditLine* editor) {
    void* self = nullptr;
    el_get(editor, EL_CLIENTDATA, &self);
    return const_cast<char*>(static_cast<LineEditor*>(self)->prompt_);
  }

  bool opened_ = false;  // whether standard input and output were looked at
  bool interactive_ = false;
  EditLine* editor_ = nullptr;
  History* history_ = nullptr;
  const char* prompt_ = "";
};

// What the signal handlers of the key wait work with.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
int gKeyFd = -1;
termios gFound;    // the settings as the wait found them
termios gKeyMode;  // single keys, no echo
bool gHandled[std::size(kSignals)];
volatile sig_atomic_t gKeyModeActive = 0;

termios keyModeOf(const termios& found) {
  termios mode = found;
  // Signal keys stay signal keys; everything else, flow control and the
  // literal-next key included, is a key press.
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  mode.c_iflag &= ~static_cast<tcflag_t>(IXON);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  return mode;
}

void onSignal(int signal);

void handle(int signal) {
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (const int other : kSignals) {
    sigaddset(&action.sa_mask, other);
  }
  sigaction(signal, &action, nullptr);
}

void setDefault(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Puts the found settings back, then lets the signal do what it does by
// default. Only async-signal-safe calls.
void onSignal(int signal) {
  const int savedErrno = errno;
  tcsetattr(gKeyFd, TCSANOW, &gFound);
  setDefault(signal);
  raise(signal);  // pending while this handler runs
  sigset_t pending;
  sigemptyset(&pending);
  sigaddset(&pending, signal);
  // Delivered here: the process ends, or stops until it is continued.
  sigprocmask(SIG_UNBLOCK, &pending, nullptr);
  // Continued after a stop: the settings may have been changed meanwhile.
  handle(signal);
  if (gKeyModeActive != 0 && tcgetattr(gKeyFd, &gFound) == 0) {
    gKeyMode = keyModeOf(gFound);
    tcsetattr(gKeyFd, TCSANOW, &gKeyMode);
  }
  errno = savedErrno;
}

}  // namespace

LineRead readEditedLine(const char* prompt, std::string& line) {
  static LineEditor editor;
  return editor.read(prompt, line);
}

bool waitForKeyPress() {
  return waitForKeyOn(STDIN_FILENO);
}

bool waitForKeyOn(int fd) {
  termios found;
  if (isatty(fd) == 0 || tcgetattr(fd, &found) != 0) {
    return false;
  }
  gKeyFd = fd;
  gFound = found;
  gKeyMode = keyModeOf(found);
  // Only signals whose default action would end or stop the process; one that
  // is ignored or has a handler of its own is left as it is.
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction previous;
    gHandled[i] = sigaction(kSignals[i], nullptr, &previous) == 0 &&
                  (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_DFL;
    if (gHandled[i]) {
      handle(kSignals[i]);
    }
  }

  gKeyModeActive = 1;
  tcsetattr(fd, TCSANOW, &gKeyMode);
  unsigned char key = 0;
  ssize_t got = 0;
  do {
    got = read(fd, &key, 1);
  } while (got < 0 && errno == EINTR);
  // A key such as an arrow sends several bytes; none of them is left over
  // for whatever reads the terminal next.
  tcflush(fd, TCIFLUSH);
  gKeyModeActive = 0;
  tcsetattr(fd, TCSANOW, &gFound);

  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    if (gHandled[i]) {
      setDefault(kSignals[i]);
    }
  }
  return true;
}

}  // namespace terminal
