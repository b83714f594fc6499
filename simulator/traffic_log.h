#ifndef TALVO_SIMULATOR_TRAFFIC_LOG_H_
#define TALVO_SIMULATOR_TRAFFIC_LOG_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace sim {

using WallTime = std::chrono::system_clock::time_point;

// "2024-05-01T09:30:05.123Z": UTC, millisecond resolution.
std::string formatTimestamp(WallTime t);

// Bytes in hexadecimal, upper case, separated by spaces: "01 18 00".
std::string hexBytes(std::span<const std::uint8_t> bytes);

// A message in words: type name (or "type N" for a type without one), set
// flag, and the value or payload size. A wrong magic number is mentioned
// first; fewer than 13 bytes are "short message".
std::string describeMessage(std::span<const std::uint8_t> bytes);

// One line per event, flushed at once so that a reader of the pipe sees it:
//
//   TIME PEER open
//   TIME PEER in  HEX | DECODED
//   TIME PEER out HEX | DECODED
//   TIME PEER close REASON
//
// A log built without a stream records nothing.
class TrafficLog {
 public:
  enum class Direction { In, Out };

  explicit TrafficLog(std::ostream* out,
                      std::function<WallTime()> clock = std::chrono::system_clock::now)
      : out_(out), clock_(std::move(clock)) {}

  bool enabled() const { return out_ != nullptr; }

  void opened(std::string_view peer);
  void closed(std::string_view peer, std::string_view reason);
  void message(std::string_view peer, Direction direction, std::span<const std::uint8_t> bytes);

 private:
  void line(std::string_view peer, std::string_view text);

  std::ostream* out_;
  std::function<WallTime()> clock_;
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_TRAFFIC_LOG_H_
