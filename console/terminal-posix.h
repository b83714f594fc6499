#ifndef TALVO_CONSOLE_TERMINAL_POSIX_H_
#define TALVO_CONSOLE_TERMINAL_POSIX_H_

namespace terminal {

// The key wait of waitForKeyPress on the terminal open as `fd`. The terminal is
// switched to single-key input without echo for the wait and switched back
// afterwards, also when a signal that ends or stops the process arrives during
// the wait: the settings are put back first, then the signal takes its default
// course (a stopped process takes the key mode up again when continued). What
// else the key sent (the rest of an escape sequence) is discarded. False when
// `fd` is not a terminal.
bool waitForKeyOn(int fd);

}  // namespace terminal

#endif  // TALVO_CONSOLE_TERMINAL_POSIX_H_
