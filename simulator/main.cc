// talvoW6Sim: a stand-in for the camera system's acquisition server.

#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "simulator/options.h"
#include "simulator/shutdown_signal.h"
#include "simulator/simulator_server.h"
#include "simulator/socket_io.h"
#include "simulator/traffic_log.h"

namespace {

constexpr int kExitRuntimeError = 1;
constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  sim::Options options;
  try {
    options = sim::parseOptions(args);
  } catch (const sim::UsageError& e) {
    std::cerr << "talvoW6Sim: " << e.what() << "\n\n" << sim::usageText();
    return kExitUsage;
  }
  if (options.help) {
    std::cout << sim::usageText();
    return 0;
  }

  try {
    sim::startSockets();
    // Catch the stop signals before announcing the address: whoever reads
    // the first line may stop us at once.
    sim::ShutdownSignal stop;
    sim::TrafficLog log(options.log ? &std::cout : nullptr);
    sim::SimulatorServer server(options, log, std::cerr);
    const auto bound = server.listen();
    std::cout << "talvoW6Sim listening on";
    for (const auto& address : bound) {
      std::cout << ' ' << address;
    }
    std::cout << std::endl;
    if (options.faults.any()) {
      std::cerr << "talvoW6Sim: faults: " << options.faults.describe() << std::endl;
    }
    server.run(stop);
  } catch (const std::exception& e) {
    std::cerr << "talvoW6Sim: " << e.what() << std::endl;
    return kExitRuntimeError;
  }
  return 0;
}
