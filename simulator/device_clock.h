#ifndef TALVO_SIMULATOR_DEVICE_CLOCK_H_
#define TALVO_SIMULATOR_DEVICE_CLOCK_H_

#include <chrono>
#include <cstdint>

#include "simulator/device_model.h"

namespace sim {

using SteadyTime = std::chrono::steady_clock::time_point;

// Turns real (steady) time into the device's time: milliseconds since the
// start, `speed` times faster than real time.
class DeviceClock {
 public:
  static constexpr std::int64_t kMaxSpeed = 1'000'000;

  // `speed` is between 1 and kMaxSpeed.
  DeviceClock(SteadyTime start, std::int64_t speed) : start_(start), speed_(speed) {}

  // Device time at real time `t`; times before the start read as 0.
  DeviceTime at(SteadyTime t) const;

 private:
  SteadyTime start_;
  std::int64_t speed_;
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_DEVICE_CLOCK_H_
