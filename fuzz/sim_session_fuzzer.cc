// Feeds arbitrary byte streams to one simulator connection without a socket:
// the message framing, the faults and the shared device model, on a fake
// clock. The stream arrives in pieces, as reads from a socket would cut it.
//
// Input: byte 0 picks the faults and how large the pieces are, byte 1 seeds
// the piece sizes and the clock's steps (and its lowest bit picks the
// clock's speed); the rest is the stream.
//
// Checked: a second decoder fed the same pieces yields exactly the messages
// that a plain walk over the whole stream finds, in order, and loses the
// framing exactly when that walk does; what it holds back stays below one
// largest message; every reply is a well-formed 13- or 17-byte message of
// its request's type, one per request answered; the session ends as its
// faults and the framing say.

#include <chrono>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/message_type.h"
#include "protocol/wire_format.h"
#include "simulator/connection_session.h"
#include "simulator/device_clock.h"
#include "simulator/device_model.h"
#include "simulator/faults.h"
#include "simulator/frame_decoder.h"
#include "simulator/traffic_log.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::ConnectionSession;

// The server's read buffer: no read hands the session more than this.
constexpr std::size_t kMaxPiece = 4096;
// The most a decoder may hold back once every complete message is taken.
constexpr std::size_t kMaxHeldBack = wire::kHeaderSize + wire::kMaxPayloadSize - 1;

void require(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

// The framing, walked over the whole stream at once.
struct Walk {
  std::vector<Bytes> messages;
  bool lost = false;
};

Walk walk(const Bytes& stream) {
  Walk result;
  std::size_t at = 0;
  while (true) {
    const std::size_t left = stream.size() - at;
    if (left >= 2 && wire::readU16(&stream[at]) != wire::kMagic) {
      result.lost = true;
      break;
    }
    if (left < wire::kHeaderSize) {
      break;
    }
    const std::uint32_t length = wire::readU32(&stream[at + wire::kLengthOffset]);
    if (length >= wire::kMaxPayloadSize) {
      result.lost = true;
      break;
    }
    if (left < wire::kHeaderSize + length) {
      break;
    }
    const auto from = stream.begin() + static_cast<std::ptrdiff_t>(at);
    result.messages.emplace_back(from, from + wire::kHeaderSize + length);
    at += wire::kHeaderSize + length;
  }
  return result;
}

class Random {
 public:
  explicit Random(std::uint8_t seed) : state_(0x9E3779B97F4A7C15ull ^ seed) {}
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }

 private:
  std::uint64_t state_;
};

bool carriesValue(std::uint16_t type) {
  switch (type) {
    case TALVO_MESSAGE_CONNECT:
    case TALVO_MESSAGE_ACQUISITION:
    case TALVO_MESSAGE_LASERPOWER:
    case TALVO_MESSAGE_INTERVAL:
    case TALVO_MESSAGE_IMAGECOUNT:
    case TALVO_MESSAGE_TRIGGERCOUNT:
      return true;
    default:
      return false;
  }
}

bool valueInRange(std::uint16_t type, std::int32_t value) {
  switch (type) {
    case TALVO_MESSAGE_INTERVAL:
      return value >= sim::DeviceModel::kMinIntervalMs;
    case TALVO_MESSAGE_IMAGECOUNT:
    case TALVO_MESSAGE_TRIGGERCOUNT:
      return value >= 0;
    default:
      return value == 0 || value == 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  const std::uint8_t mode = data[0];
  Random random(data[1]);
  const Bytes stream(data + 2, data + size);

  sim::FaultSet faults;
  faults.garbage = (mode & 0x01) != 0;
  if ((mode & 0x02) != 0) {
    faults.splitGap = std::chrono::milliseconds(5);
  }
  if ((mode & 0x04) != 0) {
    faults.delay = std::chrono::milliseconds(250);
  }
  faults.silent = (mode & 0x08) != 0;
  if ((mode & 0x10) != 0) {
    faults.dropAfter = 1 + data[1] % 4;
  }
  faults.resetOnFirstMessage = (mode & 0x20) != 0;
  const std::size_t pieceLimits[] = {kMaxPiece, 1, 16, 64};
  const std::size_t pieceLimit = pieceLimits[mode >> 6];

  const sim::SteadyTime start{std::chrono::hours(1)};
  const sim::DeviceClock clock(start, (data[1] & 1) != 0 ? sim::DeviceClock::kMaxSpeed : 1);
  sim::DeviceModel device;
  std::ostringstream logText;
  sim::TrafficLog log(&logText, [] { return sim::WallTime{}; });
  ConnectionSession session("127.0.0.1:5000", device, clock, faults, log);
  sim::FrameDecoder decoder;

  const Walk expected = walk(stream);
  std::size_t decoded = 0;
  Bytes sent;
  sim::SteadyTime now = start;
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t piece =
        std::min<std::size_t>(stream.size() - at, 1 + random.next() % pieceLimit);
    const std::span<const std::uint8_t> bytes(stream.data() + at, piece);
    at += piece;

    decoder.append(bytes);
    while (auto frame = decoder.next()) {
      require(decoded < expected.messages.size());
      require(frame->bytes() == expected.messages[decoded]);
      ++decoded;
    }
    require(decoder.failed() || decoder.buffered() <= kMaxHeldBack);

    session.received(bytes, now);
    const Bytes due = session.takeDue(now);
    sent.insert(sent.end(), due.begin(), due.end());
    require((session.pendingBytes() == 0) == !session.nextDue() ||
            session.ending() == ConnectionSession::Ending::CloseNow ||
            session.ending() == ConnectionSession::Ending::ResetNow);

    // Mostly steps of up to 1.5 s, now and then one of up to 70 minutes.
    const std::uint64_t r = random.next();
    now += std::chrono::milliseconds((r & 3) == 0 ? (r >> 2) % 4'200'000 : (r >> 2) % 1500);
    logText.str("");
  }
  require(decoded == expected.messages.size());
  require(decoder.failed() == expected.lost);
  require(decoder.next() == std::nullopt);

  // Every reply still waiting, whatever its delay.
  const Bytes rest = session.takeDue(now + std::chrono::hours(1));
  sent.insert(sent.end(), rest.begin(), rest.end());
  require(!session.nextDue());
  require(session.pendingBytes() == 0);

  // Which requests are answered, and how the session ends.
  std::size_t answered = expected.messages.size();
  std::optional<ConnectionSession::Ending> ending;
  if (faults.resetOnFirstMessage && !expected.messages.empty()) {
    answered = 0;
    ending = ConnectionSession::Ending::ResetNow;
  } else if (faults.silent) {
    answered = 0;
  } else if (faults.dropAfter && answered >= *faults.dropAfter) {
    answered = *faults.dropAfter;
    ending = ConnectionSession::Ending::WhenFlushed;
  }
  if (!ending) {
    ending = expected.lost ? ConnectionSession::Ending::CloseNow : ConnectionSession::Ending::None;
  }
  require(session.ending() == *ending);
  require(session.endReason().starts_with("framing error: ") ==
          (*ending == ConnectionSession::Ending::CloseNow));

  const std::uint16_t magic = faults.garbage ? 0x0118 : wire::kMagic;
  std::size_t at = 0;
  for (std::size_t i = 0; i < answered; ++i) {
    require(sent.size() - at >= wire::kHeaderSize);
    const std::uint8_t* reply = &sent[at];
    const std::uint16_t type = wire::readU16(&expected.messages[i][wire::kTypeOffset]);
    require(wire::readU16(reply + wire::kMagicOffset) == magic);
    require(wire::readU16(reply + wire::kTypeOffset) == type);
    require(reply[2] == 0 && reply[6] == 0 && reply[7] == 0 && reply[8] == 0);
    const std::uint32_t length = wire::readU32(reply + wire::kLengthOffset);
    if (carriesValue(type)) {
      require(length == wire::kValueSize && reply[wire::kSetFlagOffset] == 1);
      require(sent.size() - at >= wire::kHeaderSize + wire::kValueSize);
      require(valueInRange(type, wire::readI32(reply + wire::kPayloadOffset)));
    } else {
      require(length == 0 && reply[wire::kSetFlagOffset] == 0);
    }
    at += wire::kHeaderSize + length;
  }
  require(at == sent.size());

  require(device.intervalMs() >= sim::DeviceModel::kMinIntervalMs);
  require(!device.acquiring() || device.cameraConnected());
  return 0;
}
