#include "simulator/device_clock.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

using std::chrono::microseconds;

TEST(DeviceClock, ScalesElapsedRealTimeBySpeed) {
  const SteadyTime start{std::chrono::seconds(100)};
  struct Case {
    std::int64_t speed;
    microseconds elapsed;
    std::int64_t deviceMs;
  };
  const Case cases[] = {
      {1, microseconds(0), 0},
      {1, microseconds(999), 0},
      {1, microseconds(1500), 1},
      {1, microseconds(2'000'000), 2000},
      {10, microseconds(150), 1},
      {1000, microseconds(1500), 1500},
      {DeviceClock::kMaxSpeed, microseconds(1), 1000},
      // A century of real time at the highest speed stays in range.
      {DeviceClock::kMaxSpeed, microseconds(3'155'760'000'000'000), 3'155'760'000'000'000'000},
  };
  for (const Case& c : cases) {
    const DeviceClock clock(start, c.speed);
    EXPECT_EQ(clock.at(start + c.elapsed).count(), c.deviceMs)
        << "speed " << c.speed << ", " << c.elapsed.count() << " us";
  }
}

TEST(DeviceClock, TimeBeforeTheStartReadsAsZero) {
  const SteadyTime start{std::chrono::seconds(100)};
  EXPECT_EQ(DeviceClock(start, 5).at(start - std::chrono::seconds(1)).count(), 0);
}

}  // namespace
}  // namespace sim
