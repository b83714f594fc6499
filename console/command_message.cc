#include "console/command_message.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "protocol/message_type.h"

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a signed decimal from `text` starting at `pos`: leading white space
// skipped, one optional sign, digits up to the first non-digit. No digits
// read as 0; values beyond the 32-bit range read as the nearest limit.
std::int32_t readDecimal(const std::string& text, std::size_t pos) {
  while (pos < text.size() && isSpace(text[pos])) {
    ++pos;
  }
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Magnitude limited just past the largest one representable, so that long
  // digit runs cannot overflow.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (magnitude < kLimit) {
      magnitude = magnitude * 10 + (text[pos] - '0');
    }
    ++pos;
  }
  if (magnitude > kLimit) {
    magnitude = kLimit;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

void printCommandHelp() {
  std::fputs(
      "COMMANDS\n"
      "--------------------------------------\t\n"
      "n\t\t- Send NONE message to test comms\t\n"
      "c[0,1] - Tell System to Connect\t\t\n"
      "a[0,1] - start acquisition\t\t\t\t\n"
      "l[0,1] - turn off/on lasers            \n"
      "i[X]   - set interval to X milliseconds\n"
      "tc     - retrieve trigger count\t\t\n"
      "fc     - retrieve frame count\t\t\t\n"
      "s - Get all status\t\t\t\t\t\t\n"
      "x - Exit program\t\t\t\t\t\t\n"
      "--------------------------------------\t\n",
      stdout);
}

bool CommandMessage::parseCommand(std::string line) {
  const char first = line.empty() ? '\0' : line[0];
  const bool twoChars = line.size() >= 2;

  if (!line.empty() && first == 'n') {
    std::fputs("Sending Message NONE\n", stdout);
    setHeader();
    return true;
  }
  if (!line.empty() && first == 'c') {
    std::fputs("Sending Message CONNECT\n", stdout);
    return parseTwoState(line, TALVO_MESSAGE_CONNECT);
  }
  if (!line.empty() && first == 'a') {
    std::fputs("Sending Message ACQUISITION\n", stdout);
    return parseTwoState(line, TALVO_MESSAGE_ACQUISITION);
  }
  if (!line.empty() && first == 'l') {
    std::fputs("Sending Message LASERPOWER\n", stdout);
    return parseTwoState(line, TALVO_MESSAGE_LASERPOWER);
  }
  if (!line.empty() && first == 'i') {
    std::fputs("Sending Message INTERVAL\n", stdout);
    return parseInterval(line);
  }
  if (twoChars && line[0] == 'f' && line[1] == 'c') {
    std::fputs("Sending Message IMAGECOUNT\n", stdout);
    buildMessage(TALVO_MESSAGE_IMAGECOUNT, 0, nullptr, 0);
    return true;
  }
  if (twoChars && line[0] == 't' && line[1] == 'c') {
    std::fputs("Sending Message TRIGGERCOUNT\n", stdout);
    buildMessage(TALVO_MESSAGE_TRIGGERCOUNT, 0, nullptr, 0);
    return true;
  }
  if (!line.empty() && first == 'x') {
    keepRunning_ = false;
    return false;
  }
  std::fputs("Unknown Command.\n", stdout);
  printCommandHelp();
  return false;
}

// A letter alone asks for the state; the letter and 0 or 1 sets it.
bool CommandMessage::parseTwoState(const std::string& line, std::uint16_t type) {
  if (line.size() == 1) {
    buildMessage(type, 0, nullptr, 0);
    return true;
  }
  if (line.size() != 2) {
    return false;
  }
  if (line[1] != '0' && line[1] != '1') {
    std::fputs("invalid input\n", stdout);
    return false;
  }
  buildWithValue(type, line[1] == '1' ? 1 : 0);
  return true;
}

// "i" alone asks for the interval; "i" and a number of at least 1000 sets it.
bool CommandMessage::parseInterval(const std::string& line) {
  if (line.size() == 1) {
    buildMessage(TALVO_MESSAGE_INTERVAL, 0, nullptr, 0);
    return true;
  }
  const std::int32_t milliseconds = readDecimal(line, 1);
  if (milliseconds < 1000) {
    std::fputs("invalid interval given, must be 1000 or greater.", stdout);
    return false;
  }
  buildWithValue(TALVO_MESSAGE_INTERVAL, milliseconds);
  return true;
}

void CommandMessage::buildWithValue(std::uint16_t type, std::int32_t value) {
  std::uint8_t payload[wire::kValueSize];
  wire::writeI32(payload, value);
  buildMessage(type, 1, payload, sizeof payload);
}
