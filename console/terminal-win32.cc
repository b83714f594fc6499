// Windows consoles: the console itself edits lines and recalls earlier ones,
// so lines are plain stream reads; a key press is read from the console.
#include <conio.h>
#include <windows.h>

#include <string>

#include "console/terminal.h"

namespace terminal {

LineRead readEditedLine(const char*, std::string&) {
  return LineRead::kNotInteractive;
}

bool waitForKeyPress() {
  // A console handle has a console mode; a pipe, a file or NUL has none.
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) == 0) {
    return false;
  }
  _getch();
  return true;
}

}  // namespace terminal
