// What each step of one command costs in the client: building the message,
// parsing the typed line, and reporting the reply.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "console/command_message.h"
#include "console/reply_reporter.h"
#include "protocol/message_type.h"
#include "protocol/talvo_message.h"

namespace {

void BM_BuildMessage(benchmark::State& state) {
  const auto type = static_cast<std::uint16_t>(state.range(0));
  const bool withValue = state.range(1) != 0;
  const std::uint8_t value[4] = {0xE8, 0x03, 0, 0};
  TalvoMessage message;
  for (auto _ : state) {
    message.buildMessage(type, withValue ? 1 : 0, withValue ? value : nullptr,
                         withValue ? sizeof value : 0);
    benchmark::DoNotOptimize(message.bufferManager().data());
  }
}
BENCHMARK(BM_BuildMessage)
    ->ArgsProduct({{TALVO_MESSAGE_NONE, TALVO_MESSAGE_CONNECT, TALVO_MESSAGE_INTERVAL,
                    TALVO_MESSAGE_IMAGECOUNT},
                   {0, 1}});

void BM_SetHeader(benchmark::State& state) {
  TalvoMessage message;
  for (auto _ : state) {
    message.setHeader();
    benchmark::DoNotOptimize(message.bufferManager().data());
  }
}
BENCHMARK(BM_SetHeader);

const char* const kLines[] = {"n", "c1", "c", "a0", "l1", "i1500", "i", "fc", "tc", "c5", "s"};

void BM_ParseCommand(benchmark::State& state) {
  const std::string line = kLines[state.range(0)];
  state.SetLabel(line);
  CommandMessage command;
  for (auto _ : state) {
    benchmark::DoNotOptimize(command.parseCommand(line));
  }
}
BENCHMARK(BM_ParseCommand)->DenseRange(0, std::size(kLines) - 1);

struct Reply {
  const char* name;
  std::uint8_t bytes[17];
};

const Reply kReplies[] = {
    {"none", {0x01, 0x18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"connect", {0x01, 0x18, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}},
    {"acquisition", {0x01, 0x18, 0, 1, 4, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0}},
    {"laserpower", {0x01, 0x18, 0, 1, 5, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}},
    {"interval", {0x01, 0x18, 0, 1, 6, 0, 0, 0, 0, 4, 0, 0, 0, 0xE8, 3, 0, 0}},
    {"imagecount", {0x01, 0x18, 0, 1, 9, 0, 0, 0, 0, 4, 0, 0, 0, 0x39, 0x30, 0, 0}},
    {"triggercount", {0x01, 0x18, 0, 1, 10, 0, 0, 0, 0, 4, 0, 0, 0, 0x39, 0x30, 0, 0}},
    {"malformed", {0x18, 0x01, 0, 1, 2, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0}},
};

void BM_ProcessTalvoMessage(benchmark::State& state) {
  const Reply& reply = kReplies[state.range(0)];
  state.SetLabel(reply.name);
  std::uint8_t buffer[512] = {};
  std::memcpy(buffer, reply.bytes, sizeof reply.bytes);
  for (auto _ : state) {
    processTalvoMessage(buffer);
  }
}
BENCHMARK(BM_ProcessTalvoMessage)->DenseRange(0, std::size(kReplies) - 1);

}  // namespace
