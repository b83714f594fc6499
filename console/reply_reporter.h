#ifndef TALVO_CONSOLE_REPLY_REPORTER_H_
#define TALVO_CONSOLE_REPLY_REPORTER_H_

#include <cstdint>

// Checks one received reply and prints what it says in plain words: its
// length, then one line for each message type that has a meaning here.
// `reply` points to the first received byte of a buffer that holds at least
// the header and a 4-byte value (17 bytes); it is not kept after the call.
void processTalvoMessage(const std::uint8_t* reply);

#endif  // TALVO_CONSOLE_REPLY_REPORTER_H_
