#ifndef TALVO_CONSOLE_CONSOLE_INPUT_H_
#define TALVO_CONSOLE_CONSOLE_INPUT_H_

#include <string>

// Shows `prompt` and reads one line from standard input into `line`, without
// its line end (a carriage return before the line feed is dropped too). On an
// interactive terminal the line can be edited and earlier lines recalled.
// False at end of input or on a read error.
bool readCommandLine(const char* prompt, std::string& line);

// Waits until one character can be read from standard input, or input ends.
// On a terminal a single key press does, without Enter.
void waitForAnyKey();

#endif  // TALVO_CONSOLE_CONSOLE_INPUT_H_
