// What the simulator spends on each message it receives: cutting the byte
// stream into messages, and a whole session turn (framing, the device's
// answer, the reply's bytes), with the traffic log off.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "simulator/connection_session.h"
#include "simulator/device_clock.h"
#include "simulator/device_model.h"
#include "simulator/faults.h"
#include "simulator/frame_decoder.h"
#include "simulator/traffic_log.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kNone = {0x01, 0x18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kConnect1 = {0x01, 0x18, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
const Bytes kAcquisition1 = {0x01, 0x18, 0, 1, 4, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
const Bytes kInterval1500 = {0x01, 0x18, 0, 1, 6, 0, 0, 0, 0, 4, 0, 0, 0, 0xDC, 0x05, 0, 0};
const Bytes kImageCount = {0x01, 0x18, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0};

// One message per read, as a client that waits for each reply sends them.
void BM_DecodeWholeMessage(benchmark::State& state) {
  const Bytes& message = state.range(0) == 0 ? kNone : kConnect1;
  sim::FrameDecoder decoder;
  for (auto _ : state) {
    decoder.append(message);
    auto frame = decoder.next();
    benchmark::DoNotOptimize(frame);
  }
  if (decoder.failed()) {
    state.SkipWithError(decoder.error().c_str());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
}
BENCHMARK(BM_DecodeWholeMessage)->Arg(0)->Arg(1)->ArgName("with_value");

// One message arriving in pieces of the given size.
void BM_DecodeInPieces(benchmark::State& state) {
  const auto piece = static_cast<std::size_t>(state.range(0));
  const std::span<const std::uint8_t> message(kConnect1);
  sim::FrameDecoder decoder;
  for (auto _ : state) {
    for (std::size_t at = 0; at < message.size(); at += piece) {
      decoder.append(message.subspan(at, std::min(piece, message.size() - at)));
    }
    auto frame = decoder.next();
    benchmark::DoNotOptimize(frame);
  }
  if (decoder.failed()) {
    state.SkipWithError(decoder.error().c_str());
  }
}
BENCHMARK(BM_DecodeInPieces)->Arg(1)->Arg(5)->Arg(13)->ArgName("piece");

// Many messages arriving in one read, as from a client that does not wait.
void BM_DecodeBatch(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  Bytes batch;
  for (std::size_t i = 0; i < count; ++i) {
    const Bytes& message = i % 2 == 0 ? kConnect1 : kNone;
    batch.insert(batch.end(), message.begin(), message.end());
  }
  sim::FrameDecoder decoder;
  for (auto _ : state) {
    decoder.append(batch);
    while (auto frame = decoder.next()) {
      benchmark::DoNotOptimize(frame);
    }
  }
  if (decoder.failed() || decoder.buffered() != 0) {
    state.SkipWithError("batch not decoded whole");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}
BENCHMARK(BM_DecodeBatch)->Arg(8)->Arg(64);

// A whole turn of one connection: the message comes in, the device answers,
// the reply's bytes are taken to be sent.
void BM_SessionTurn(benchmark::State& state) {
  struct Kind {
    const char* name;
    const Bytes* message;
  };
  const Kind kinds[] = {{"none", &kNone},
                        {"connect1", &kConnect1},
                        {"interval1500", &kInterval1500},
                        {"imagecount", &kImageCount}};
  const Kind& kind = kinds[state.range(0)];
  state.SetLabel(kind.name);

  const sim::SteadyTime start = std::chrono::steady_clock::now();
  sim::DeviceModel device;
  const sim::DeviceClock clock(start, 1000);
  const sim::FaultSet faults;
  sim::TrafficLog log(nullptr);
  sim::ConnectionSession session("127.0.0.1:5000", device, clock, faults, log);
  // A connected camera that acquires, so that counts are worked out.
  session.received(kConnect1, start);
  session.received(kAcquisition1, start);
  benchmark::DoNotOptimize(session.takeDue(start));

  sim::SteadyTime now = start;
  std::size_t sent = 0;
  for (auto _ : state) {
    now += std::chrono::microseconds(50);
    session.received(*kind.message, now);
    const auto reply = session.takeDue(now);
    sent += reply.size();
    benchmark::DoNotOptimize(reply.data());
  }
  if (session.ending() != sim::ConnectionSession::Ending::None || sent == 0) {
    state.SkipWithError("the session did not answer");
  }
}
BENCHMARK(BM_SessionTurn)->DenseRange(0, 3);

}  // namespace
