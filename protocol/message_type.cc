#include "protocol/message_type.h"

const char* messageTypeName(std::uint16_t type) {
  switch (type) {
    case TALVO_MESSAGE_NONE:
      return "TALVO_MESSAGE_NONE";
    case TALVO_MESSAGE_CONNECT:
      return "TALVO_MESSAGE_CONNECT";
    case TALVO_MESSAGE_ACQUISITION:
      return "TALVO_MESSAGE_ACQUISITION";
    case TALVO_MESSAGE_LASERPOWER:
      return "TALVO_MESSAGE_LASERPOWER";
    case TALVO_MESSAGE_INTERVAL:
      return "TALVO_MESSAGE_INTERVAL";
    case TALVO_MESSAGE_IMAGECOUNT:
      return "TALVO_MESSAGE_IMAGECOUNT";
    case TALVO_MESSAGE_TRIGGERCOUNT:
      return "TALVO_MESSAGE_TRIGGERCOUNT";
    default:
      return nullptr;
  }
}
