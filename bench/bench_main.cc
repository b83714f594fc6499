// Shared main of the micro-benchmarks. The code under test prints to standard
// output; that output goes to /dev/null through a large buffer, so it costs
// the formatting and little else, and the results are reported on stderr.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    return 1;
  }
  static char sink[1 << 16];
  std::setvbuf(stdout, sink, _IOFBF, sizeof sink);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
