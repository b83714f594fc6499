#ifndef TALVO_PROTOCOL_MESSAGE_TYPE_H_
#define TALVO_PROTOCOL_MESSAGE_TYPE_H_

#include <cstdint>

// Message type codes carried in the header's `type` field. Codes without a
// name here (1, 3, 7, 8, 11 and above) are never sent by the client.
enum MessageType : std::uint16_t {
  TALVO_MESSAGE_NONE = 0,
  TALVO_MESSAGE_CONNECT = 2,
  TALVO_MESSAGE_ACQUISITION = 4,
  TALVO_MESSAGE_LASERPOWER = 5,
  TALVO_MESSAGE_INTERVAL = 6,
  TALVO_MESSAGE_IMAGECOUNT = 9,
  TALVO_MESSAGE_TRIGGERCOUNT = 10,
};

// The constant's name for a known type ("TALVO_MESSAGE_CONNECT"), or nullptr
// for a code that has no name.
const char* messageTypeName(std::uint16_t type);

#endif  // TALVO_PROTOCOL_MESSAGE_TYPE_H_
