#include "simulator/device_message.h"

#include <gtest/gtest.h>

#include <vector>

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes header(std::uint8_t setFlag, std::uint8_t type, std::uint8_t length) {
  return {0x01, 0x18, 0, setFlag, type, 0, 0, 0, 0, length, 0, 0, 0};
}

Bytes withPayload(Bytes bytes, const Bytes& payload) {
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

TEST(CommandFromFrame, CarriesAValueOnlyWithSetFlagOneAndFourBytes) {
  struct Case {
    const char* name;
    Bytes bytes;
    Command expected;
  };
  const Case cases[] = {
      {"set with value", withPayload(header(1, 6, 4), {0xe8, 0x03, 0, 0}), {6, 1000}},
      {"negative value", withPayload(header(1, 6, 4), {0xff, 0xff, 0xff, 0xff}), {6, -1}},
      {"set flag 0 only asks", withPayload(header(0, 2, 4), {1, 0, 0, 0}), {2, std::nullopt}},
      {"set flag 2 only asks", withPayload(header(2, 2, 4), {1, 0, 0, 0}), {2, std::nullopt}},
      {"no payload", header(1, 2, 0), {2, std::nullopt}},
      {"short payload", withPayload(header(1, 2, 2), {1, 0}), {2, std::nullopt}},
      {"long payload", withPayload(header(1, 2, 5), {1, 0, 0, 0, 0}), {2, std::nullopt}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(commandFromFrame(Frame(c.bytes)), c.expected) << c.name;
  }
}

TEST(EncodeReply, WritesValueRepliesAndBareHeaders) {
  EXPECT_EQ(encodeReply({2, 1}), withPayload(header(1, 2, 4), {1, 0, 0, 0}));
  EXPECT_EQ(encodeReply({6, 1000}), withPayload(header(1, 6, 4), {0xe8, 0x03, 0, 0}));
  EXPECT_EQ(encodeReply({0, std::nullopt}), header(0, 0, 0));
  EXPECT_EQ(encodeReply({7, std::nullopt}), header(0, 7, 0));
}

}  // namespace
}  // namespace sim
