#include "protocol/talvo_message.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "protocol/message_type.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes held(const TalvoMessage& m) {
  const auto& b = m.bufferManager();
  return Bytes(b.data(), b.data() + b.size());
}

Bytes value(std::int32_t v) {
  Bytes out(4);
  wire::writeI32(out.data(), v);
  return out;
}

TEST(TalvoMessage, NewMessageHoldsOwnedBareHeader) {
  TalvoMessage m;
  EXPECT_EQ(held(m), (Bytes{0x01, 0x18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.bufferManager().size(), 13u);
  EXPECT_TRUE(m.bufferManager().ownsData());
}

struct BuildCase {
  const char* name;
  std::uint16_t type;
  std::uint8_t setFlag;
  Bytes payload;
  Bytes expected;
};

TEST(TalvoMessage, BuildsWireBytes) {
  const BuildCase cases[] = {
      {"connect 1",
       TALVO_MESSAGE_CONNECT,
       1,
       value(1),
       {0x01, 0x18, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}},
      {"interval 1000",
       TALVO_MESSAGE_INTERVAL,
       1,
       value(1000),
       {0x01, 0x18, 0, 1, 6, 0, 0, 0, 0, 4, 0, 0, 0, 0xE8, 0x03, 0, 0}},
      {"laser 0",
       TALVO_MESSAGE_LASERPOWER,
       1,
       value(0),
       {0x01, 0x18, 0, 1, 5, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0}},
      {"negative value",
       TALVO_MESSAGE_INTERVAL,
       1,
       value(-2),
       {0x01, 0x18, 0, 1, 6, 0, 0, 0, 0, 4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"imagecount",
       TALVO_MESSAGE_IMAGECOUNT,
       0,
       {},
       {0x01, 0x18, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"type above 255", 0x1234, 0, {}, {0x01, 0x18, 0, 0, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0}},
      {"set flag without payload",
       TALVO_MESSAGE_CONNECT,
       1,
       {},
       {0x01, 0x18, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    TalvoMessage m;
    EXPECT_TRUE(m.buildMessage(c.type, c.setFlag, c.payload.empty() ? nullptr : c.payload.data(),
                               static_cast<std::uint32_t>(c.payload.size())))
        << c.name;
    EXPECT_EQ(held(m), c.expected) << c.name;
  }
}

TEST(TalvoMessage, SetHeaderMatchesBuiltNoneAndReplacesPreviousMessage) {
  TalvoMessage built;
  ASSERT_TRUE(built.buildMessage(TALVO_MESSAGE_NONE, 0, nullptr, 0));
  TalvoMessage m;
  const Bytes v = value(7);
  m.buildMessage(TALVO_MESSAGE_CONNECT, 1, v.data(), 4);
  m.setHeader();
  EXPECT_EQ(held(m), held(built));
}

TEST(TalvoMessage, PayloadLimit) {
  Bytes payload(1500, 0xAB);
  {
    TalvoMessage m;
    ASSERT_TRUE(m.buildMessage(TALVO_MESSAGE_INTERVAL, 1, payload.data(), 1399));
    const Bytes b = held(m);
    ASSERT_EQ(b.size(), 13u + 1399u);
    EXPECT_EQ(wire::readU32(b.data() + 9), 1399u);
    EXPECT_EQ(b.back(), 0xAB);
  }
  for (std::uint32_t len : {1400u, 1401u}) {
    TalvoMessage m;
    ASSERT_TRUE(m.buildMessage(TALVO_MESSAGE_INTERVAL, 1, payload.data(), len));
    const Bytes b = held(m);
    ASSERT_EQ(b.size(), 13u + len);
    EXPECT_EQ(wire::readU32(b.data() + 9), 0u) << len;
    // The unwritten payload area is zero, never stale memory.
    EXPECT_EQ(b[13], 0) << len;
    EXPECT_EQ(b.back(), 0) << len;
  }
  {
    TalvoMessage m;  // a length with no pointer writes nothing either
    ASSERT_TRUE(m.buildMessage(TALVO_MESSAGE_INTERVAL, 1, nullptr, 4));
    EXPECT_EQ(held(m), (Bytes{0x01, 0x18, 0, 1, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  }
}

TEST(TalvoMessage, TotalThatWrapsToZeroFails) {
  TalvoMessage m;
  EXPECT_FALSE(m.buildMessage(TALVO_MESSAGE_CONNECT, 1, nullptr, 0xFFFFFFFFu - 12u));
  EXPECT_EQ(m.bufferManager().size(), 0u);
  EXPECT_EQ(m.bufferManager().data(), nullptr);
}

TEST(CBufferManager, SetBufferResults) {
  const std::uint8_t source[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  struct Case {
    const char* name;
    const void* source;
    std::uint32_t size;
    bool copy;
    bool result;
  };
  const Case cases[] = {
      {"copy", source, 13, true, true},
      {"borrow", source, 13, false, true},
      {"copy null source", nullptr, 13, true, true},
      {"borrow null source", nullptr, 13, false, false},
      {"copy empty", source, 0, true, false},
      {"borrow empty", source, 0, false, false},
  };
  for (const auto& c : cases) {
    TalvoMessage::CBufferManager b;
    EXPECT_EQ(b.setBuffer(c.source, c.size, c.copy), c.result) << c.name;
    EXPECT_EQ(b.ownsData(), c.copy) << c.name;
    EXPECT_EQ(b.size(), c.size) << c.name;
  }
}

TEST(CBufferManager, CopyIsIndependentAndBorrowIsTheSourceItself) {
  std::uint8_t source[4] = {1, 2, 3, 4};
  TalvoMessage::CBufferManager copied;
  ASSERT_TRUE(copied.setBuffer(source, 4, true));
  TalvoMessage::CBufferManager borrowed;
  ASSERT_TRUE(borrowed.setBuffer(source, 4, false));
  source[0] = 9;
  EXPECT_EQ(copied.data()[0], 1);
  EXPECT_NE(copied.data(), source);
  EXPECT_EQ(borrowed.data(), source);
  EXPECT_EQ(borrowed.writableData(), nullptr);
}

TEST(CBufferManager, BorrowedBytesOutliveTheManager) {
  // Under AddressSanitizer a release of the borrowed block would be reported
  // as a bad free; a heap block also lets the test read it afterwards.
  auto* owner = new std::uint8_t[13]();
  owner[0] = 0x42;
  {
    TalvoMessage::CBufferManager b;
    ASSERT_TRUE(b.setBuffer(owner, 13, false));
    EXPECT_FALSE(b.ownsData());
  }
  {
    TalvoMessage m;  // replacing an owned block by a borrowed one
    ASSERT_TRUE(m.bufferManager().setBuffer(owner, 13, false));
    m.buildMessage(TALVO_MESSAGE_NONE, 0, nullptr, 0);
  }
  EXPECT_EQ(owner[0], 0x42);
  delete[] owner;
}

TEST(MessageType, NamesKnownCodesOnly) {
  EXPECT_STREQ(messageTypeName(TALVO_MESSAGE_TRIGGERCOUNT), "TALVO_MESSAGE_TRIGGERCOUNT");
  EXPECT_STREQ(messageTypeName(0), "TALVO_MESSAGE_NONE");
  for (std::uint16_t unnamed : {1, 3, 7, 8, 11, 0xFFFF}) {
    EXPECT_EQ(messageTypeName(unnamed), nullptr) << unnamed;
  }
}

}  // namespace
