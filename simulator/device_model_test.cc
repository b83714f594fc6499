#include "simulator/device_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "protocol/message_type.h"

namespace sim {
namespace {

// One request at a device time, and the reply it must get.
struct Step {
  std::int64_t atMs;
  Command command;
  Reply expected;
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Sequence& sequence, std::ostream* out) {
  *out << sequence.name;
}

constexpr std::optional<std::int32_t> kAsk = std::nullopt;

Step none(std::int64_t t) {
  return {t, {TALVO_MESSAGE_NONE, kAsk}, {TALVO_MESSAGE_NONE, kAsk}};
}
Step connect(std::int64_t t, std::optional<std::int32_t> v, std::int32_t r) {
  return {t, {TALVO_MESSAGE_CONNECT, v}, {TALVO_MESSAGE_CONNECT, r}};
}
Step acquire(std::int64_t t, std::optional<std::int32_t> v, std::int32_t r) {
  return {t, {TALVO_MESSAGE_ACQUISITION, v}, {TALVO_MESSAGE_ACQUISITION, r}};
}
Step lasers(std::int64_t t, std::optional<std::int32_t> v, std::int32_t r) {
  return {t, {TALVO_MESSAGE_LASERPOWER, v}, {TALVO_MESSAGE_LASERPOWER, r}};
}
Step interval(std::int64_t t, std::optional<std::int32_t> v, std::int32_t r) {
  return {t, {TALVO_MESSAGE_INTERVAL, v}, {TALVO_MESSAGE_INTERVAL, r}};
}
Step frames(std::int64_t t, std::int32_t r) {
  return {t, {TALVO_MESSAGE_IMAGECOUNT, kAsk}, {TALVO_MESSAGE_IMAGECOUNT, r}};
}
Step triggers(std::int64_t t, std::int32_t r) {
  return {t, {TALVO_MESSAGE_TRIGGERCOUNT, kAsk}, {TALVO_MESSAGE_TRIGGERCOUNT, r}};
}
Step unknown(std::int64_t t, std::uint16_t type, std::optional<std::int32_t> v) {
  return {t, {type, v}, {type, kAsk}};
}

const Sequence kSequences[] = {
    {"FreshDeviceReportsInitialState",
     {none(0), connect(0, kAsk, 0), acquire(0, kAsk, 0), lasers(0, kAsk, 0),
      interval(0, kAsk, 1000), frames(0, 0), triggers(0, 0)}},
    {"AcquisitionStartsOnlyWhileConnected",
     {acquire(0, 1, 0), frames(5000, 0), connect(5000, 1, 1), acquire(5000, 1, 1),
      acquire(5000, kAsk, 1)}},
    {"CountsFollowTheClock",
     {connect(0, 1, 1), acquire(100, 1, 1), frames(1099, 0), triggers(1099, 0), frames(1100, 1),
      triggers(1100, 1), triggers(3099, 2), frames(3100, 3), triggers(3100, 3)}},
    {"StopFreezesCountsAndRestartResetsThem",
     {connect(0, 1, 1), acquire(0, 1, 1), acquire(2500, 0, 0), frames(10000, 2), triggers(10000, 2),
      acquire(10000, 1, 1), frames(10000, 0), triggers(10999, 0), triggers(11000, 1)}},
    {"StartWhileAcquiringKeepsCounting",
     {connect(0, 1, 1), acquire(0, 1, 1), acquire(1500, 1, 1), frames(2000, 2)}},
    {"DisconnectStopsAcquisition",
     {connect(0, 1, 1), acquire(0, 1, 1), connect(2500, 0, 0), acquire(2500, kAsk, 0),
      frames(9000, 2), acquire(9000, 1, 0)}},
    {"IntervalBelowMinimumIsRefused",
     {interval(0, 999, 1000), interval(0, 2000, 2000), interval(0, -5, 2000), interval(0, 0, 2000),
      interval(0, 1000, 1000),
      interval(0, std::numeric_limits<std::int32_t>::max(),
               std::numeric_limits<std::int32_t>::max())}},
    {"NewIntervalAppliesAfterThePendingTrigger",
     {connect(0, 1, 1), acquire(0, 1, 1), interval(500, 3000, 3000), triggers(999, 0),
      triggers(1000, 1), triggers(3999, 1), triggers(4000, 2), triggers(7000, 3)}},
    {"IntervalSetBeforeStartIsUsedFromTheStart",
     {interval(0, 2500, 2500), connect(0, 1, 1), acquire(1000, 1, 1), frames(3499, 0),
      frames(3500, 1)}},
    {"LasersAreStateOnly",
     {lasers(0, 1, 1), lasers(0, kAsk, 1), connect(0, kAsk, 0), acquire(0, kAsk, 0),
      lasers(0, 0, 0)}},
    {"StateValuesOtherThanZeroOrOneAreRefused",
     {connect(0, 2, 0), connect(0, 1, 1), connect(0, 7, 1), connect(0, -1, 1), lasers(0, -1, 0),
      acquire(0, 2, 0)}},
    {"CountsAreReadOnly",
     {connect(0, 1, 1),
      acquire(0, 1, 1),
      {1000, {TALVO_MESSAGE_IMAGECOUNT, 42}, {TALVO_MESSAGE_IMAGECOUNT, 1}},
      {1000, {TALVO_MESSAGE_TRIGGERCOUNT, 42}, {TALVO_MESSAGE_TRIGGERCOUNT, 1}}}},
    {"CountsStopAtTheLargestReportableValue",
     {connect(0, 1, 1), acquire(0, 1, 1),
      frames(3'000'000'000'000, std::numeric_limits<std::int32_t>::max())}},
    {"UnknownTypesGetABareHeaderOfTheirType",
     {unknown(0, 1, kAsk),
      unknown(0, 3, 1),
      unknown(0, 7, kAsk),
      unknown(0, 8, 5),
      unknown(0, 11, 1),
      unknown(0, 0xffff, kAsk),
      {0, {TALVO_MESSAGE_NONE, 1}, {TALVO_MESSAGE_NONE, kAsk}}}},
};

class DeviceModelSequence : public ::testing::TestWithParam<Sequence> {};

TEST_P(DeviceModelSequence, RepliesAsExpected) {
  DeviceModel device;
  const auto& steps = GetParam().steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    EXPECT_EQ(device.handle(step.command, DeviceTime(step.atMs)), step.expected)
        << "step " << i << " at " << step.atMs << " ms, type " << step.command.type;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, DeviceModelSequence, ::testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sim
