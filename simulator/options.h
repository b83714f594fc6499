#ifndef TALVO_SIMULATOR_OPTIONS_H_
#define TALVO_SIMULATOR_OPTIONS_H_

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/faults.h"

namespace sim {

// A numeric address and a port to listen on. `ipv6` addresses are written
// in brackets on the command line and in messages: "[::1]:2020".
struct ListenAddress {
  std::string host;
  std::uint16_t port = 0;
  bool ipv6 = false;

  std::string text() const;
  friend bool operator==(const ListenAddress&, const ListenAddress&) = default;
};

struct Options {
  static constexpr std::uint16_t kDefaultPort = 2020;

  std::vector<ListenAddress> listen;  // the loopback pair when none is given
  bool defaultListen = true;          // `listen` holds the defaults
  FaultSet faults;
  bool log = false;
  std::int64_t speed = 1;
  bool help = false;
};

// A command line the simulator cannot run with; the message says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Each option with a value
// takes it as the next argument or after '=' ("--speed 10", "--speed=10").
Options parseOptions(std::span<const std::string_view> args);

// Parses "127.0.0.1:2020" or "[::1]:2020"; throws UsageError.
ListenAddress parseListenAddress(std::string_view text);

std::string usageText();

}  // namespace sim

#endif  // TALVO_SIMULATOR_OPTIONS_H_
