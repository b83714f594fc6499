#include "simulator/device_clock.h"

namespace sim {

DeviceTime DeviceClock::at(SteadyTime t) const {
  if (t <= start_) {
    return DeviceTime(0);
  }
  const std::int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(t - start_).count();
  // Whole milliseconds and the remainder apart, so that the product stays in
  // range for centuries even at the highest speed.
  return DeviceTime((us / 1000) * speed_ + (us % 1000) * speed_ / 1000);
}

}  // namespace sim
