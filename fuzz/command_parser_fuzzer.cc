// Feeds arbitrary lines (any bytes, NUL included) to the command parser and
// checks what it leaves behind: a message to send is well formed, a rejected
// line leaves the previous message alone, and only an exit clears the run flag.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/command_message.h"
#include "protocol/wire_format.h"

namespace {

void require(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

std::vector<std::uint8_t> held(const CommandMessage& m) {
  const auto& b = m.bufferManager();
  return {b.data(), b.data() + b.size()};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    return 1;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  CommandMessage m;
  const std::uint8_t marker[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  m.buildMessage(7, 1, marker, sizeof marker);
  const std::vector<std::uint8_t> before = held(m);

  const bool sends = m.parseCommand(line);
  const std::vector<std::uint8_t> after = held(m);

  require(m.keepRunning() == (size == 0 || data[0] != 'x'));
  if (!sends) {
    require(after == before);
    return 0;
  }
  require(after.size() == 13 || after.size() == 17);
  require(wire::readU16(&after[0]) == wire::kMagic);
  require(wire::readU32(&after[9]) == after.size() - 13);
  require(after[3] == (after.size() == 17 ? 1 : 0));
  const std::uint16_t type = wire::readU16(&after[4]);
  require(type == 0 || type == 2 || type == 4 || type == 5 || type == 6 || type == 9 || type == 10);
  if (after.size() == 17) {
    const std::int32_t value = wire::readI32(&after[13]);
    require(type == 6 ? value >= 1000 : (value == 0 || value == 1));
  }
  return 0;
}
