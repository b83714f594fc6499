#include "console/command_message.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kHelp =
    "COMMANDS\n"
    "--------------------------------------\t\n"
    "n\t\t- Send NONE message to test comms\t\n"
    "c[0,1] - Tell System to Connect\t\t\n"
    "a[0,1] - start acquisition\t\t\t\t\n"
    "l[0,1] - turn off/on lasers            \n"
    "i[X]   - set interval to X milliseconds\n"
    "tc     - retrieve trigger count\t\t\n"
    "fc     - retrieve frame count\t\t\t\n"
    "s - Get all status\t\t\t\t\t\t\n"
    "x - Exit program\t\t\t\t\t\t\n"
    "--------------------------------------\t\n";
const std::string kUnknown = "Unknown Command.\n" + kHelp;

Bytes header(std::uint8_t type) {
  return {0x01, 0x18, 0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0};
}

Bytes withValue(std::uint8_t type, std::int32_t v) {
  Bytes b = {0x01, 0x18, 0, 1, type, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
  wire::writeI32(&b[13], v);
  return b;
}

Bytes held(const CommandMessage& m) {
  return Bytes(m.bufferManager().data(), m.bufferManager().data() + m.bufferManager().size());
}

struct Case {
  std::string line;
  bool sends;
  std::string printed;
  Bytes bytes;  // the message to send; empty when nothing is sent
};

// Each line is parsed by a message that already holds a marker message, so
// that a rejected line can be seen to leave the buffer alone.
TEST(ParseCommand, TranslatesLines) {
  const std::string none = "Sending Message NONE\n";
  const std::string connect = "Sending Message CONNECT\n";
  const std::string interval = "Sending Message INTERVAL\n";
  const std::string tooSmall = "invalid interval given, must be 1000 or greater.";
  const Case cases[] = {
      {"n", true, none, header(0)},
      {"nonsense", true, none, header(0)},
      {"n1", true, none, header(0)},
      {"c", true, connect, header(2)},
      {"c1", true, connect, withValue(2, 1)},
      {"c0", true, connect, withValue(2, 0)},
      {"c2", false, connect + "invalid input\n", {}},
      {"c10", false, connect, {}},
      {"a1", true, "Sending Message ACQUISITION\n", withValue(4, 1)},
      {"a", true, "Sending Message ACQUISITION\n", header(4)},
      {"l0", true, "Sending Message LASERPOWER\n", withValue(5, 0)},
      {"lx", false, "Sending Message LASERPOWER\ninvalid input\n", {}},
      {"i", true, interval, header(6)},
      {"i1000", true, interval, withValue(6, 1000)},
      {"i 1000", true, interval, withValue(6, 1000)},
      {"i\t\v\f\r\n1000", true, interval, withValue(6, 1000)},
      {"i+1000", true, interval, withValue(6, 1000)},
      {"i1000ms", true, interval, withValue(6, 1000)},
      {"i999", false, interval + tooSmall, {}},
      {"iabc", false, interval + tooSmall, {}},
      {"i-1000", false, interval + tooSmall, {}},
      {"i+-1000", false, interval + tooSmall, {}},
      {"i99999999999", true, interval, withValue(6, 2147483647)},
      {"i2147483648", true, interval, withValue(6, 2147483647)},
      {"i000000000000000000001500", true, interval, withValue(6, 1500)},
      {"i-99999999999", false, interval + tooSmall, {}},
      {"fc", true, "Sending Message IMAGECOUNT\n", header(9)},
      {"fcx", true, "Sending Message IMAGECOUNT\n", header(9)},
      {"tc", true, "Sending Message TRIGGERCOUNT\n", header(10)},
      {"tcx", true, "Sending Message TRIGGERCOUNT\n", header(10)},
      {"f", false, kUnknown, {}},
      {"t", false, kUnknown, {}},
      {"C1", false, kUnknown, {}},
      {"s", false, kUnknown, {}},
      {"", false, kUnknown, {}},
      {" n", false, kUnknown, {}},
      {std::string("\0n", 2), false, kUnknown, {}},
  };
  for (const auto& c : cases) {
    CommandMessage m;
    const std::uint8_t marker[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    m.buildMessage(7, 1, marker, 4);
    const Bytes before = held(m);

    testing::internal::CaptureStdout();
    const bool sends = m.parseCommand(c.line);
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(sends, c.sends) << "line: " << c.line;
    EXPECT_EQ(printed, c.printed) << "line: " << c.line;
    EXPECT_EQ(held(m), c.sends ? c.bytes : before) << "line: " << c.line;
    EXPECT_TRUE(m.keepRunning()) << "line: " << c.line;
  }
}

TEST(ParseCommand, ExitStopsTheRunSilentlyAndForGood) {
  for (const std::string line : {"x", "xyz", "x1"}) {
    CommandMessage m;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m.parseCommand(line));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << line;
    EXPECT_FALSE(m.keepRunning()) << line;
    EXPECT_EQ(held(m), header(0)) << line;

    testing::internal::CaptureStdout();
    EXPECT_TRUE(m.parseCommand("n"));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(m.keepRunning()) << line;
  }
}

}  // namespace
