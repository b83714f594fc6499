#ifndef TALVO_SIMULATOR_FAULTS_H_
#define TALVO_SIMULATOR_FAULTS_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The faults injected into every connection. They combine: for example a
// delayed reply can also be split and garbled.
struct FaultSet {
  static constexpr std::chrono::milliseconds kDefaultSplitGap{5};
  static constexpr std::int64_t kMaxMilliseconds = 600'000;

  bool closeOnAccept = false;        // close: close right after accept
  bool resetOnFirstMessage = false;  // reset: abortive close when a message arrives
  bool silent = false;               // silent: read everything, answer nothing
  bool garbage = false;              // garbage: replies carry the magic bytes swapped
  // split[=MS]: each reply goes out in two pieces, this far apart.
  std::optional<std::chrono::milliseconds> splitGap;
  std::chrono::milliseconds delay{0};      // delay=MS: each reply waits this long
  std::optional<std::uint64_t> dropAfter;  // drop-after=N: close after N replies

  bool any() const;
  // The faults in option syntax ("delay=100 split=5"), empty when none.
  std::string describe() const;
};

// Adds one fault given as NAME or NAME=VALUE; a later value of the same fault
// replaces an earlier one. Throws std::invalid_argument for an unknown name
// or a missing, unexpected or out-of-range value.
void addFault(FaultSet& faults, std::string_view text);

}  // namespace sim

#endif  // TALVO_SIMULATOR_FAULTS_H_
