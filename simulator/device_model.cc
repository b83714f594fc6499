#include "simulator/device_model.h"

#include <limits>

#include "protocol/message_type.h"

namespace sim {

namespace {

// Only 0 and 1 are states; any other value leaves the state as it is.
bool isState(const std::optional<std::int32_t>& value) {
  return value && (*value == 0 || *value == 1);
}

void printMessage(std::ostream& out, std::uint16_t type, const std::optional<std::int32_t>& value) {
  out << "type " << type;
  if (value) {
    out << " value " << *value;
  } else {
    out << " no value";
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Command& command) {
  printMessage(out, command.type, command.value);
  return out;
}

std::ostream& operator<<(std::ostream& out, const Reply& reply) {
  printMessage(out, reply.type, reply.value);
  return out;
}

Reply DeviceModel::handle(const Command& command, DeviceTime now) {
  advanceTo(now);
  const auto& value = command.value;
  switch (command.type) {
    case TALVO_MESSAGE_NONE:
      return Reply{command.type, std::nullopt};

    case TALVO_MESSAGE_CONNECT:
      if (isState(value)) {
        connected_ = *value == 1;
        if (!connected_) {
          acquiring_ = false;
        }
      }
      return Reply{command.type, connected_ ? 1 : 0};

    case TALVO_MESSAGE_ACQUISITION:
      if (isState(value)) {
        if (*value == 0) {
          acquiring_ = false;
        } else if (connected_ && !acquiring_) {
          acquiring_ = true;
          triggers_ = 0;
          nextTrigger_ = now + DeviceTime(intervalMs_);
        }
      }
      return Reply{command.type, acquiring_ ? 1 : 0};

    case TALVO_MESSAGE_LASERPOWER:
      if (isState(value)) {
        lasersOn_ = *value == 1;
      }
      return Reply{command.type, lasersOn_ ? 1 : 0};

    case TALVO_MESSAGE_INTERVAL:
      if (value && *value >= kMinIntervalMs) {
        intervalMs_ = *value;
      }
      return Reply{command.type, intervalMs_};

    case TALVO_MESSAGE_IMAGECOUNT:
    case TALVO_MESSAGE_TRIGGERCOUNT:
      // Counts are read-only: a value sent with them is ignored.
      return Reply{command.type, reportedCount()};

    default:
      return Reply{command.type, std::nullopt};
  }
}

void DeviceModel::advanceTo(DeviceTime now) {
  if (!acquiring_ || now < nextTrigger_) {
    return;
  }
  const DeviceTime interval(intervalMs_);
  const std::int64_t fired = (now - nextTrigger_) / interval + 1;
  triggers_ += fired;
  nextTrigger_ += fired * interval;
}

std::int32_t DeviceModel::reportedCount() const {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(triggers_ < kMax ? triggers_ : kMax);
}

}  // namespace sim
