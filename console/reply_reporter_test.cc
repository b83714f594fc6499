#include "console/reply_reporter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A reply as the console loop hands it over: at the start of a zeroed
// 512-byte buffer.
std::string report(const Bytes& reply) {
  std::uint8_t buffer[512] = {};
  std::copy(reply.begin(), reply.end(), buffer);
  testing::internal::CaptureStdout();
  processTalvoMessage(buffer);
  return testing::internal::GetCapturedStdout();
}

Bytes reply(std::uint16_t type, std::uint8_t setFlag, std::uint32_t length, const Bytes& payload) {
  Bytes b(13 + payload.size(), 0);
  wire::writeU16(&b[0], 0x1801);
  b[3] = setFlag;
  wire::writeU16(&b[4], type);
  wire::writeU32(&b[9], length);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    b[13 + i] = payload[i];
  }
  return b;
}

Bytes value(std::int32_t v) {
  Bytes b(4);
  wire::writeI32(b.data(), v);
  return b;
}

Bytes state(std::uint16_t type, std::int32_t v) {
  return reply(type, 1, 4, value(v));
}

const std::string kMalformed = "processTalvoMessage(): ERROR, Malformed message received.\n";
const std::string k17 = "Got Message this long: 17\n";
const std::string kPrefix = "processTalvoMessage(): received TALVO_MESSAGE_";

TEST(ProcessTalvoMessage, ReportsReplies) {
  struct Case {
    const char* name;
    Bytes reply;
    std::string printed;
  };
  const Case cases[] = {
      {"none", reply(0, 0, 0, {}), "Got Message this long: 13\n" + kPrefix + "NONE\n"},
      {"none with set flag 1", reply(0, 1, 0, {}),
       "Got Message this long: 13\n" + kPrefix + "NONE\n"},
      {"none with set flag 2", reply(0, 2, 0, {}), "Got Message this long: 13\n"},
      {"connected", state(2, 1), k17 + kPrefix + "CONNECT // Camera Connected.\n"},
      {"not connected", state(2, 0), k17 + kPrefix + "CONNECT // Camera NOT Connected.\n"},
      {"logging", state(4, 1), k17 + kPrefix + "ACQUISITION // Camera Logging.\n"},
      {"not logging", state(4, 0), k17 + kPrefix + "ACQUISITION // Camera NOT Logging.\n"},
      {"lasers on", state(5, 1), k17 + kPrefix + "LASERPOWER // Lasers on.\n"},
      {"lasers off", state(5, 0), k17 + kPrefix + "LASERPOWER // Lasers off.\n"},
      {"laser state 2", state(5, 2), k17},
      {"connect state -1", state(2, -1), k17},
      {"interval", state(6, 1000), k17 + kPrefix + "INTERVAL // Period is 1000 ms.\n"},
      {"negative interval", state(6, -5), k17 + kPrefix + "INTERVAL // Period is -5 ms.\n"},
      {"image count", state(9, 2147483647),
       k17 + kPrefix + "IMAGECOUNT // Count is at 2147483647.\n"},
      {"trigger count", state(10, 42), k17 + kPrefix + "TRIGGERCOUNT // Count is at 42.\n"},
      {"type 3", state(3, 1), k17},
      {"type 11", state(11, 1), k17},
      {"type above 255 is not its low byte", state(0x0102, 1), k17},
      // The value is read whatever length and set flag say; missing bytes read as zero.
      {"count without payload", reply(9, 0, 0, {}),
       "Got Message this long: 13\n" + kPrefix + "IMAGECOUNT // Count is at 0.\n"},
      {"length claim, not bytes received", reply(0, 0, 100, {}),
       "Got Message this long: 113\n" + kPrefix + "NONE\n"},
      {"huge length prints as signed", reply(6, 1, 0x7FFFFFFF, value(1000)),
       "Got Message this long: -2147483636\n" + kPrefix + "INTERVAL // Period is 1000 ms.\n"},
      {"magic byte-swapped", Bytes{0x18, 0x01, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0},
       kMalformed},
      {"all zero", Bytes{}, kMalformed},
      {"total wraps to zero", reply(2, 1, 0xFFFFFFF3u, value(1)), kMalformed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(report(c.reply), c.printed) << c.name;
  }
}

TEST(ProcessTalvoMessage, NullReplyIsMalformed) {
  testing::internal::CaptureStdout();
  processTalvoMessage(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kMalformed);
}

}  // namespace
