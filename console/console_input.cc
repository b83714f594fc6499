#include "console/console_input.h"

#include <cstdio>
#include <iostream>

#include "console/terminal.h"

bool readCommandLine(const char* prompt, std::string& line) {
  switch (terminal::readEditedLine(prompt, line)) {
    case terminal::LineRead::kLine:
      return true;
    case terminal::LineRead::kEnd:
      return false;
    case terminal::LineRead::kNotInteractive:
      break;
  }
  std::fputs(prompt, stdout);
  std::fflush(stdout);
  if (!std::getline(std::cin, line)) {
    return false;
  }
  // getline stops at the line feed; a line that ends input has none.
  const bool endedByLineFeed = !std::cin.eof();
  if (endedByLineFeed && !line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

void waitForAnyKey() {
  std::fflush(stdout);
  if (!terminal::waitForKeyPress()) {
    std::cin.get();
  }
}
