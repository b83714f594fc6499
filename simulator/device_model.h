#ifndef TALVO_SIMULATOR_DEVICE_MODEL_H_
#define TALVO_SIMULATOR_DEVICE_MODEL_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>

namespace sim {

// A reading of the device's own clock: time since the simulator started,
// possibly running faster than real time (see DeviceClock).
using DeviceTime = std::chrono::milliseconds;

// A request as the device understands it: the message type and, when the
// message sets something (set flag 1 with a 4-byte payload), the value.
struct Command {
  std::uint16_t type = 0;
  std::optional<std::int32_t> value;

  friend bool operator==(const Command&, const Command&) = default;
};

// The device's answer: the same type, and the current value for the types
// that carry one. Without a value the reply is a bare 13-byte header.
struct Reply {
  std::uint16_t type = 0;
  std::optional<std::int32_t> value;

  friend bool operator==(const Reply&, const Reply&) = default;
};

// "type 2 value 1", "type 9 no value": for diagnostics and test failures.
std::ostream& operator<<(std::ostream& out, const Command& command);
std::ostream& operator<<(std::ostream& out, const Reply& reply);

// The simulated camera system. Pure state machine: no I/O and no clock of
// its own; every call says what time it is on the device clock, and times
// passed in must not go backwards.
//
// While acquiring, one trigger fires every interval, the first one interval
// after the start, and each trigger produces one frame. Counts are computed
// from elapsed time when they are needed, not by a timer per trigger.
class DeviceModel {
 public:
  static constexpr std::int32_t kInitialIntervalMs = 1000;
  static constexpr std::int32_t kMinIntervalMs = 1000;

  Reply handle(const Command& command, DeviceTime now);

  bool cameraConnected() const { return connected_; }
  bool acquiring() const { return acquiring_; }
  bool lasersOn() const { return lasersOn_; }
  std::int32_t intervalMs() const { return intervalMs_; }

 private:
  // Counts the triggers that have fired up to `now`.
  void advanceTo(DeviceTime now);
  // Counts as sent on the wire: signed 32-bit, held at the maximum.
  std::int32_t reportedCount() const;

  bool connected_ = false;
  bool acquiring_ = false;
  bool lasersOn_ = false;
  std::int32_t intervalMs_ = kInitialIntervalMs;
  // Each trigger adds one frame, so one count serves both.
  std::int64_t triggers_ = 0;
  // When the pending trigger fires. It was scheduled with the interval in
  // force at the previous trigger, so a new interval applies after it.
  DeviceTime nextTrigger_{0};
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_DEVICE_MODEL_H_
