#ifndef TALVO_SIMULATOR_DEVICE_MESSAGE_H_
#define TALVO_SIMULATOR_DEVICE_MESSAGE_H_

#include <cstdint>
#include <vector>

#include "simulator/device_model.h"
#include "simulator/frame_decoder.h"

namespace sim {

// The request a received message makes: it carries a value only with set
// flag 1 and a payload of exactly 4 bytes; anything else only asks.
Command commandFromFrame(const Frame& frame);

// The wire bytes of a reply: set flag 1, length 4 and the value when there is
// one, else a bare 13-byte header of the reply's type.
std::vector<std::uint8_t> encodeReply(const Reply& reply);

}  // namespace sim

#endif  // TALVO_SIMULATOR_DEVICE_MESSAGE_H_
