#include "simulator/options.h"

#include <charconv>
#include <optional>

#include "simulator/device_clock.h"
#include "simulator/socket_io.h"

namespace sim {

namespace {

std::optional<std::uint64_t> parseWhole(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string ListenAddress::text() const {
  const std::string host_text = ipv6 ? "[" + host + "]" : host;
  return host_text + ":" + std::to_string(port);
}

ListenAddress parseListenAddress(std::string_view text) {
  ListenAddress address;
  std::string_view port;
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      throw UsageError("bad --listen '" + std::string(text) + "': expected [ADDR]:PORT");
    }
    address.host = std::string(text.substr(1, close - 1));
    address.ipv6 = true;
    port = text.substr(close + 2);
  } else {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
      throw UsageError("bad --listen '" + std::string(text) +
                       "': expected ADDR:PORT, with an IPv6 address in brackets");
    }
    address.host = std::string(text.substr(0, colon));
    port = text.substr(colon + 1);
  }
  if (!isNumericAddress(address.host, address.ipv6)) {
    throw UsageError("bad --listen '" + std::string(text) + "': '" + address.host +
                     "' is not a numeric " + (address.ipv6 ? "IPv6" : "IPv4") + " address");
  }
  const auto number = parseWhole(port);
  if (!number || *number > 65535) {
    throw UsageError("bad --listen '" + std::string(text) + "': port must be 0 to 65535");
  }
  address.port = static_cast<std::uint16_t>(*number);
  return address;
}

Options parseOptions(std::span<const std::string_view> args) {
  Options options;
  std::vector<ListenAddress> listen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::optional<std::string_view> inlineValue;
    if (arg.starts_with("--")) {
      if (const auto equals = arg.find('='); equals != std::string_view::npos) {
        inlineValue = arg.substr(equals + 1);
        arg = arg.substr(0, equals);
      }
    }
    const auto value = [&]() -> std::string_view {
      if (inlineValue) {
        return *inlineValue;
      }
      if (i + 1 >= args.size()) {
        throw UsageError("option " + std::string(arg) + " needs a value");
      }
      return args[++i];
    };
    const auto noValue = [&] {
      if (inlineValue) {
        throw UsageError("option " + std::string(arg) + " takes no value");
      }
    };

    if (arg == "--help" || arg == "-h") {
      noValue();
      options.help = true;
    } else if (arg == "--log") {
      noValue();
      options.log = true;
    } else if (arg == "--listen") {
      listen.push_back(parseListenAddress(value()));
    } else if (arg == "--speed") {
      const std::string_view text = value();
      const auto speed = parseWhole(text);
      if (!speed || *speed < 1 || *speed > static_cast<std::uint64_t>(DeviceClock::kMaxSpeed)) {
        throw UsageError("bad --speed '" + std::string(text) +
                         "': must be a whole number from 1 to " +
                         std::to_string(DeviceClock::kMaxSpeed));
      }
      options.speed = static_cast<std::int64_t>(*speed);
    } else if (arg == "--fault") {
      try {
        addFault(options.faults, value());
      } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("bad --fault: ") + e.what());
      }
    } else {
      throw UsageError("unknown option '" + std::string(args[i]) + "'");
    }
  }
  if (listen.empty()) {
    options.listen = {{"127.0.0.1", Options::kDefaultPort, false},
                      {"::1", Options::kDefaultPort, true}};
  } else {
    options.listen = std::move(listen);
    options.defaultListen = false;
  }
  return options;
}

std::string usageText() {
  return R"(Usage: talvoW6Sim [OPTION]...
Simulates the camera system's acquisition server for the console client.

Options:
  --listen ADDR:PORT  listen there (repeatable; an IPv6 address goes in
                      brackets: [::1]:2020); port 0 picks a free port.
                      Default: 127.0.0.1:2020 and [::1]:2020
  --speed N           run the device clock N times faster (1 to 1000000)
  --log               print every message in and out, and every connection
                      opened and closed
  --fault FAULT       inject a fault into every connection (repeatable):
                        close          close right after accepting
                        reset          reset when the first message arrives
                        silent         read messages, never answer
                        garbage        answer with the magic number's bytes swapped
                        split[=MS]     send each reply in two pieces MS apart
                                       (default 5)
                        delay=MS       answer MS milliseconds late
                        drop-after=N   close after N replies
  -h, --help          print this help and exit

The first line of output says where the simulator listens. SIGINT or SIGTERM
stops it with status 0; a bad command line gives status 2, an error while
running status 1.
)";
}

}  // namespace sim
