#ifndef TALVO_CONSOLE_TERMINAL_H_
#define TALVO_CONSOLE_TERMINAL_H_

#include <string>

// What the console reads from an interactive terminal: edited lines and single
// key presses. One implementation per platform; on input that is not a
// terminal both leave the reading to the plain stream reads of console_input.
namespace terminal {

enum class LineRead {
  kLine,            // a line was read into `line`
  kEnd,             // the user ended input (or the terminal failed)
  kNotInteractive,  // no line editing here: nothing was shown or read
};

// Shows `prompt` and reads a line with cursor movement, editing and recall of
// the lines entered earlier in this run, when standard input and output are a
// terminal that offers it. The line is stored without its line end.
LineRead readEditedLine(const char* prompt, std::string& line);

// Waits for one key press, without Enter and without echo, when standard input
// is a terminal, and leaves the terminal's settings as they were found. False,
// with nothing read, when standard input is not a terminal.
bool waitForKeyPress();

}  // namespace terminal

#endif  // TALVO_CONSOLE_TERMINAL_H_
