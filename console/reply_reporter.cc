#include "console/reply_reporter.h"

#include <cstdio>

#include "protocol/message_type.h"
#include "protocol/talvo_message.h"

namespace {

constexpr const char* kSelf = "processTalvoMessage()";

// The line for a reply that carries a 0/1 state; nothing for other values.
void printState(const char* format1, const char* format0, std::int32_t value) {
  if (value == 1) {
    std::printf(format1, kSelf);
  } else if (value == 0) {
    std::printf(format0, kSelf);
  }
}

}  // namespace

void processTalvoMessage(const std::uint8_t* reply) {
  if (reply == nullptr) {
    std::printf("%s: ERROR, Malformed message received.\n", kSelf);
    return;
  }
  // The reply is read in place: the message borrows the caller's bytes for
  // the length of this call.
  TalvoMessage message;
  const std::uint32_t total = wire::readU32(reply + wire::kLengthOffset) + message.headerSize;
  const bool borrowed = message.bufferManager().setBuffer(reply, total, false);
  const std::uint8_t* bytes = message.bufferManager().data();
  if (!borrowed || wire::readU16(bytes + wire::kMagicOffset) != wire::kMagic) {
    std::printf("%s: ERROR, Malformed message received.\n", kSelf);
    return;
  }
  std::printf("Got Message this long: %i\n", static_cast<int>(total));

  // The value is read whatever the length and set flag say.
  const std::int32_t value = wire::readI32(bytes + wire::kPayloadOffset);
  switch (wire::readU16(bytes + wire::kTypeOffset)) {
    case TALVO_MESSAGE_NONE:
      if (bytes[wire::kSetFlagOffset] <= 1) {
        std::printf("%s: received TALVO_MESSAGE_NONE\n", kSelf);
      }
      break;
    case TALVO_MESSAGE_CONNECT:
      printState("%s: received TALVO_MESSAGE_CONNECT // Camera Connected.\n",
                 "%s: received TALVO_MESSAGE_CONNECT // Camera NOT Connected.\n", value);
      break;
    case TALVO_MESSAGE_ACQUISITION:
      printState("%s: received TALVO_MESSAGE_ACQUISITION // Camera Logging.\n",
                 "%s: received TALVO_MESSAGE_ACQUISITION // Camera NOT Logging.\n", value);
      break;
    case TALVO_MESSAGE_LASERPOWER:
      printState("%s: received TALVO_MESSAGE_LASERPOWER // Lasers on.\n",
                 "%s: received TALVO_MESSAGE_LASERPOWER // Lasers off.\n", value);
      break;
    case TALVO_MESSAGE_INTERVAL:
      std::printf("%s: received TALVO_MESSAGE_INTERVAL // Period is %i ms.\n", kSelf,
                  static_cast<int>(value));
      break;
    case TALVO_MESSAGE_IMAGECOUNT:
      std::printf("%s: received TALVO_MESSAGE_IMAGECOUNT // Count is at %i.\n", kSelf,
                  static_cast<int>(value));
      break;
    case TALVO_MESSAGE_TRIGGERCOUNT:
      std::printf("%s: received TALVO_MESSAGE_TRIGGERCOUNT // Count is at %i.\n", kSelf,
                  static_cast<int>(value));
      break;
    default:
      break;
  }
}
