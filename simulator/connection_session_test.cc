#include "simulator/connection_session.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "simulator/faults.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

const Bytes kConnect1 = {1, 0x18, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
const Bytes kLasers1 = {1, 0x18, 0, 1, 5, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
const Bytes kNone = {1, 0x18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// The device's answers to them on a fresh device.
const Bytes kConnectedReply = kConnect1;
const Bytes kLasersOnReply = kLasers1;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

class ConnectionSessionTest : public ::testing::Test {
 protected:
  ConnectionSession& start(std::vector<std::string> faultTexts = {}) {
    for (const auto& text : faultTexts) {
      addFault(faults_, text);
    }
    session_ =
        std::make_unique<ConnectionSession>("127.0.0.1:5000", device_, clock_, faults_, log_);
    return *session_;
  }
  SteadyTime at(int ms) const { return t0_ + milliseconds(ms); }

  const SteadyTime t0_{std::chrono::seconds(50)};
  DeviceModel device_;
  DeviceClock clock_{t0_, 1};
  FaultSet faults_;
  std::ostringstream logText_;
  TrafficLog log_{&logText_, [] { return WallTime{}; }};
  std::unique_ptr<ConnectionSession> session_;
};

TEST_F(ConnectionSessionTest, WhatOneMessageLeadsToUnderEachFault) {
  Bytes garbled = kConnectedReply;
  std::swap(garbled[0], garbled[1]);
  struct Case {
    std::vector<std::string> faults;
    Bytes sent;
    ConnectionSession::Ending ending;
    bool deviceActed;
  };
  using E = ConnectionSession::Ending;
  const Case cases[] = {
      {{}, kConnectedReply, E::None, true},
      {{"garbage"}, garbled, E::None, true},
      {{"silent"}, {}, E::None, false},
      {{"reset"}, {}, E::ResetNow, false},
      {{"drop-after=1"}, kConnectedReply, E::WhenFlushed, true},
      {{"close"}, {}, E::CloseNow, false},
  };
  for (const Case& c : cases) {
    const std::string name = c.faults.empty() ? "no fault" : c.faults[0];
    device_ = DeviceModel();
    faults_ = FaultSet();
    ConnectionSession& session = start(c.faults);
    session.received(kConnect1, at(0));
    EXPECT_EQ(session.takeDue(at(0)), c.sent) << name;
    EXPECT_EQ(session.ending(), c.ending) << name;
    EXPECT_EQ(device_.cameraConnected(), c.deviceActed) << name;
  }
}

TEST_F(ConnectionSessionTest, AnswersSeveralMessagesFromOneReadInOrder) {
  ConnectionSession& session = start();
  const Bytes stream = concat({kConnect1, kNone, kLasers1});
  // Split across two reads, in the middle of the second header.
  session.received(slice(stream, 0, 20), at(0));
  session.received(slice(stream, 20, stream.size()), at(0));
  EXPECT_EQ(session.takeDue(at(0)), concat({kConnectedReply, kNone, kLasersOnReply}));
  EXPECT_FALSE(session.nextDue());
}

TEST_F(ConnectionSessionTest, DelayHoldsEachReplyFromItsArrival) {
  ConnectionSession& session = start({"delay=100"});
  session.received(kConnect1, at(0));
  session.received(kLasers1, at(30));
  // The device acts on arrival; only the answer waits.
  EXPECT_TRUE(device_.lasersOn());
  EXPECT_EQ(session.nextDue(), at(100));
  EXPECT_EQ(session.takeDue(at(99)), Bytes{});
  EXPECT_EQ(session.takeDue(at(100)), kConnectedReply);
  EXPECT_EQ(session.nextDue(), at(130));
  EXPECT_EQ(session.takeDue(at(129)), Bytes{});
  EXPECT_EQ(session.takeDue(at(130)), kLasersOnReply);
  EXPECT_FALSE(session.nextDue());
}

TEST_F(ConnectionSessionTest, SplitSendsEachReplyInTwoPiecesKeepingOrder) {
  ConnectionSession& session = start({"split=5"});
  session.received(concat({kConnect1, kNone}), at(0));
  EXPECT_EQ(session.pendingBytes(), 17u + 13u);
  // The second reply starts only after the first has gone out, and is
  // split in its turn.
  EXPECT_EQ(session.takeDue(at(0)), slice(kConnectedReply, 0, 8));
  EXPECT_EQ(session.pendingBytes(), 9u + 13u);
  EXPECT_EQ(session.nextDue(), at(5));
  EXPECT_EQ(session.takeDue(at(4)), Bytes{});
  EXPECT_EQ(session.takeDue(at(5)), concat({slice(kConnectedReply, 8, 17), slice(kNone, 0, 6)}));
  EXPECT_EQ(session.pendingBytes(), 7u);
  EXPECT_EQ(session.takeDue(at(10)), slice(kNone, 6, 13));
  EXPECT_FALSE(session.nextDue());
  EXPECT_EQ(session.pendingBytes(), 0u);
}

TEST_F(ConnectionSessionTest, DropAfterIgnoresWhatFollowsTheLastReply) {
  ConnectionSession& session = start({"drop-after=2"});
  session.received(concat({kNone, kConnect1, kLasers1}), at(0));
  EXPECT_EQ(session.takeDue(at(0)), concat({kNone, kConnectedReply}));
  EXPECT_EQ(session.ending(), ConnectionSession::Ending::WhenFlushed);
  EXPECT_EQ(session.endReason(), "fault drop-after");
  EXPECT_FALSE(device_.lasersOn());
}

TEST_F(ConnectionSessionTest, FramingErrorEndsTheConnectionAfterTheGoodMessages) {
  ConnectionSession& session = start();
  session.received(concat({kConnect1, {0x01, 0x19, 0}}), at(0));
  EXPECT_EQ(session.ending(), ConnectionSession::Ending::CloseNow);
  EXPECT_EQ(session.endReason(), "framing error: bad magic number 0x1901");
  EXPECT_EQ(session.takeDue(at(0)), kConnectedReply);
  // Nothing more is read once the framing is lost.
  session.received(kLasers1, at(0));
  EXPECT_FALSE(device_.lasersOn());
}

TEST_F(ConnectionSessionTest, PeerFinishingStillGetsPendingReplies) {
  ConnectionSession& session = start({"delay=50"});
  session.received(kConnect1, at(0));
  session.peerFinished();
  EXPECT_EQ(session.ending(), ConnectionSession::Ending::WhenFlushed);
  EXPECT_EQ(session.endReason(), "peer closed");
  EXPECT_EQ(session.takeDue(at(50)), kConnectedReply);
}

TEST_F(ConnectionSessionTest, LogsMessagesInOnArrivalAndOutWhenTheyLeave) {
  ConnectionSession& session = start({"delay=20", "garbage"});
  session.received(kNone, at(0));
  const std::string in =
      "1970-01-01T00:00:00.000Z 127.0.0.1:5000 in  01 18 00 00 00 00 00 00 00 00 00 00 00 | "
      "TALVO_MESSAGE_NONE set=0 no value\n";
  EXPECT_EQ(logText_.str(), in);
  session.takeDue(at(20));
  EXPECT_EQ(logText_.str(),
            in + "1970-01-01T00:00:00.000Z 127.0.0.1:5000 out 18 01 00 00 00 00 00 00 00 00 00 "
                 "00 00 | bad magic 0x0118 TALVO_MESSAGE_NONE set=0 no value\n");
}

}  // namespace
}  // namespace sim
