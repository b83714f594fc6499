#include "console/console_input.h"

#include <cstdio>
#include <iostream>

bool readCommandLine(const char* prompt, std::string& line) {
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
  std::cin.get();
}
