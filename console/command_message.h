#ifndef TALVO_CONSOLE_COMMAND_MESSAGE_H_
#define TALVO_CONSOLE_COMMAND_MESSAGE_H_

#include <string>

#include "protocol/talvo_message.h"

// The console's message object: the message to send next, and whether the
// command loop goes on.
class CommandMessage : public TalvoMessage {
 public:
  CommandMessage() = default;

  // Turns one typed line (without its line end) into the message held in the
  // buffer, printing what is sent, rejected or unknown. True when the buffer
  // now holds a message to send; false when nothing is to be sent, in which
  // case the buffer is left as it was. The exit command clears keepRunning.
  bool parseCommand(std::string line);

  bool keepRunning() const { return keepRunning_; }

 private:
  bool parseTwoState(const std::string& line, std::uint16_t type);
  bool parseInterval(const std::string& line);
  void buildWithValue(std::uint16_t type, std::int32_t value);

  bool keepRunning_ = true;
};

// The command help printed after an unknown command.
void printCommandHelp();

#endif  // TALVO_CONSOLE_COMMAND_MESSAGE_H_
