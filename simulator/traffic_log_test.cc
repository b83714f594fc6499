#include "simulator/traffic_log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// 2024-05-01T09:30:05.123Z
const WallTime kFixedTime = std::chrono::sys_days(std::chrono::year(2024) / 5 / 1) +
                            std::chrono::hours(9) + std::chrono::minutes(30) +
                            std::chrono::seconds(5) + std::chrono::milliseconds(123);

TEST(TrafficLog, FormatsTimestampsInUtcWithMilliseconds) {
  EXPECT_EQ(formatTimestamp(kFixedTime), "2024-05-01T09:30:05.123Z");
  EXPECT_EQ(formatTimestamp(WallTime{}), "1970-01-01T00:00:00.000Z");
}

TEST(TrafficLog, DescribesMessages) {
  struct Case {
    Bytes bytes;
    const char* expected;
  };
  const Case cases[] = {
      {{1, 0x18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "TALVO_MESSAGE_NONE set=0 no value"},
      {{1, 0x18, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0},
       "TALVO_MESSAGE_CONNECT set=1 value=1"},
      {{1, 0x18, 0, 1, 6, 0, 0, 0, 0, 4, 0, 0, 0, 0xff, 0xff, 0xff, 0xff},
       "TALVO_MESSAGE_INTERVAL set=1 value=-1"},
      {{1, 0x18, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0}, "type 7 set=0 no value"},
      {{1, 0x18, 0, 1, 0x0a, 0, 0, 0, 0, 2, 0, 0, 0, 5, 6},
       "TALVO_MESSAGE_TRIGGERCOUNT set=1 payload=2 bytes"},
      {{0x18, 1, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0},
       "bad magic 0x0118 TALVO_MESSAGE_CONNECT set=1 value=1"},
      {{1, 0x18, 0}, "short message"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describeMessage(c.bytes), c.expected);
  }
}

TEST(TrafficLog, WritesOneLinePerEvent) {
  std::ostringstream out;
  TrafficLog log(&out, [] { return kFixedTime; });
  const Bytes connect = {1, 0x18, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
  log.opened("127.0.0.1:5000");
  log.message("127.0.0.1:5000", TrafficLog::Direction::In, connect);
  log.message("[::1]:6000", TrafficLog::Direction::Out, connect);
  log.closed("127.0.0.1:5000", "peer closed");
  EXPECT_EQ(out.str(),
            "2024-05-01T09:30:05.123Z 127.0.0.1:5000 open\n"
            "2024-05-01T09:30:05.123Z 127.0.0.1:5000 in  "
            "01 18 00 01 02 00 00 00 00 04 00 00 00 01 00 00 00 | "
            "TALVO_MESSAGE_CONNECT set=1 value=1\n"
            "2024-05-01T09:30:05.123Z [::1]:6000 out "
            "01 18 00 01 02 00 00 00 00 04 00 00 00 01 00 00 00 | "
            "TALVO_MESSAGE_CONNECT set=1 value=1\n"
            "2024-05-01T09:30:05.123Z 127.0.0.1:5000 close peer closed\n");
}

}  // namespace
}  // namespace sim
