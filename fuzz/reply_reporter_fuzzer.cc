// Feeds arbitrary replies to the reply reporter, laid into a zeroed 512-byte
// buffer as the command loop does.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "console/reply_reporter.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reports themselves are not looked at; writing them costs time.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    return 1;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kReceiveSize = 512;
  // A heap block of exactly the loop's size, so that any read past it is caught.
  auto reply = std::make_unique<std::uint8_t[]>(kReceiveSize);
  std::memcpy(reply.get(), data, size < kReceiveSize ? size : kReceiveSize);
  processTalvoMessage(reply.get());
  return 0;
}
