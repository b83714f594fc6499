#include "simulator/device_message.h"

#include "protocol/talvo_message.h"
#include "protocol/wire_format.h"

namespace sim {

Command commandFromFrame(const Frame& frame) {
  Command command{frame.type(), std::nullopt};
  const auto payload = frame.payload();
  if (frame.setFlag() == 1 && payload.size() == wire::kValueSize) {
    command.value = wire::readI32(payload.data());
  }
  return command;
}

std::vector<std::uint8_t> encodeReply(const Reply& reply) {
  TalvoMessage message;
  if (reply.value) {
    std::uint8_t value[wire::kValueSize];
    wire::writeI32(value, *reply.value);
    message.buildMessage(reply.type, 1, value, sizeof value);
  } else {
    message.buildMessage(reply.type, 0, nullptr, 0);
  }
  const auto& buffer = message.bufferManager();
  return std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size());
}

}  // namespace sim
