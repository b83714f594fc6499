#include "simulator/frame_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes message(std::uint8_t type, const Bytes& payload) {
  const auto n = static_cast<std::uint32_t>(payload.size());
  Bytes bytes = {0x01,
                 0x18,
                 0,
                 static_cast<std::uint8_t>(payload.empty() ? 0 : 1),
                 type,
                 0,
                 0,
                 0,
                 0,
                 static_cast<std::uint8_t>(n),
                 static_cast<std::uint8_t>(n >> 8),
                 0,
                 0};
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Feeds `stream` in pieces of `piece` bytes and collects every message.
std::vector<Bytes> decodeInPieces(FrameDecoder& decoder, const Bytes& stream, std::size_t piece) {
  std::vector<Bytes> out;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    const std::size_t n = std::min(piece, stream.size() - at);
    decoder.append(std::span(stream).subspan(at, n));
    while (auto frame = decoder.next()) {
      out.push_back(frame->bytes());
    }
  }
  return out;
}

TEST(FrameDecoder, ReassemblesMessagesWhateverTheReadSizes) {
  const Bytes a = message(2, {1, 0, 0, 0});
  const Bytes b = message(9, {});
  const Bytes c = message(6, Bytes(1399, 0xaa));  // the largest payload allowed
  const Bytes stream = concat(concat(a, b), c);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{13}, std::size_t{17},
                                  std::size_t{30}, stream.size()}) {
    FrameDecoder decoder;
    EXPECT_EQ(decodeInPieces(decoder, stream, piece), (std::vector<Bytes>{a, b, c}))
        << "pieces of " << piece;
    EXPECT_FALSE(decoder.failed());
    EXPECT_EQ(decoder.buffered(), 0u);
  }
}

TEST(FrameDecoder, ExposesHeaderFieldsAndPayload) {
  FrameDecoder decoder;
  decoder.append(message(6, {0xe8, 0x03, 0, 0}));
  const auto frame = decoder.next();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->type(), 6);
  EXPECT_EQ(frame->setFlag(), 1);
  EXPECT_EQ(Bytes(frame->payload().begin(), frame->payload().end()), (Bytes{0xe8, 0x03, 0, 0}));
  EXPECT_FALSE(decoder.next());
}

TEST(FrameDecoder, LosesFramingOnBadMagicOrLength) {
  Bytes tooLong = message(2, {});
  tooLong[9] = 0x78;  // 1400
  tooLong[10] = 0x05;
  Bytes huge = message(2, {});
  huge[12] = 0x80;
  struct Case {
    const char* name;
    Bytes stream;
    std::size_t goodBefore;  // messages returned before the failure
    const char* error;
  };
  const Case cases[] = {
      {"magic bytes swapped", {0x18, 0x01}, 0, "bad magic number 0x0118"},
      {"magic wrong after a good message", concat(message(0, {}), {0x01, 0x19}), 1,
       "bad magic number 0x1901"},
      {"length 1400", tooLong, 0, "payload length 1400 too large"},
      {"length above 2^31", huge, 0, "payload length 2147483648 too large"},
  };
  for (const Case& c : cases) {
    FrameDecoder decoder;
    EXPECT_EQ(decodeInPieces(decoder, c.stream, c.stream.size()).size(), c.goodBefore) << c.name;
    EXPECT_TRUE(decoder.failed()) << c.name;
    EXPECT_EQ(decoder.error(), c.error) << c.name;
    // Nothing more comes out once the framing is lost.
    decoder.append(message(0, {}));
    EXPECT_FALSE(decoder.next()) << c.name;
  }
}

TEST(FrameDecoder, WaitsForTheRestOfAMessage) {
  FrameDecoder decoder;
  const Bytes m = message(4, {1, 0, 0, 0});
  decoder.append(std::span(m).first(16));
  EXPECT_FALSE(decoder.next());
  EXPECT_FALSE(decoder.failed());
  decoder.append(std::span(m).subspan(16));
  EXPECT_TRUE(decoder.next());
}

}  // namespace
}  // namespace sim
