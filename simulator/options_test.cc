#include "simulator/options.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace sim {
namespace {

Options parse(std::vector<std::string_view> args) {
  return parseOptions(args);
}

TEST(Options, DefaultsToTheLoopbackPairOnPort2020) {
  const Options options = parse({});
  EXPECT_EQ(options.listen,
            (std::vector<ListenAddress>{{"127.0.0.1", 2020, false}, {"::1", 2020, true}}));
  EXPECT_TRUE(options.defaultListen);
  EXPECT_FALSE(options.log);
  EXPECT_FALSE(options.help);
  EXPECT_EQ(options.speed, 1);
  EXPECT_FALSE(options.faults.any());
}

TEST(Options, ParsesEveryOptionInBothForms) {
  const Options options =
      parse({"--listen", "127.0.0.1:0", "--listen=[::1]:2021", "--listen", "0.0.0.0:7", "--log",
             "--speed", "1000", "--fault", "delay=20", "--fault=split"});
  EXPECT_EQ(options.listen,
            (std::vector<ListenAddress>{
                {"127.0.0.1", 0, false}, {"::1", 2021, true}, {"0.0.0.0", 7, false}}));
  EXPECT_FALSE(options.defaultListen);
  EXPECT_TRUE(options.log);
  EXPECT_EQ(options.speed, 1000);
  EXPECT_EQ(options.faults.describe(), "split=5 delay=20");
  EXPECT_TRUE(parse({"--help"}).help);
  EXPECT_TRUE(parse({"-h"}).help);
  EXPECT_EQ(parse({"--speed=1000000"}).speed, 1000000);
}

TEST(Options, ListenAddressTextRoundTrips) {
  for (const char* text : {"127.0.0.1:2020", "[::1]:0", "[fe80::1]:65535", "10.1.2.3:80"}) {
    EXPECT_EQ(parseListenAddress(text).text(), text);
  }
}

TEST(Options, RejectsMalformedCommandLines) {
  const std::vector<std::vector<std::string_view>> cases = {
      {"--bogus"},
      {"positional"},
      {"-x"},
      {"--listen"},
      {"--listen", "127.0.0.1"},
      {"--listen", "127.0.0.1:"},
      {"--listen", "127.0.0.1:65536"},
      {"--listen", "127.0.0.1:-1"},
      {"--listen", "127.0.0.1:http"},
      {"--listen", "localhost:2020"},  // names are not looked up
      {"--listen", "::1:2020"},        // IPv6 needs brackets
      {"--listen", "[::1]2020"},
      {"--listen", "[::1"},
      {"--listen", "[127.0.0.1]:2020"},
      {"--listen", "256.0.0.1:2020"},
      {"--speed"},
      {"--speed", "0"},
      {"--speed", "1000001"},
      {"--speed", "2.5"},
      {"--speed", "-3"},
      {"--speed", "fast"},
      {"--fault"},
      {"--fault", "bogus"},
      {"--fault", "delay"},
      {"--log=yes"},
      {"--help=1"},
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto arg : args) {
      joined += std::string(arg) + " ";
    }
    EXPECT_THROW(parse(args), UsageError) << joined;
  }
}

TEST(Options, UsageNamesEveryOptionAndFault) {
  const std::string usage = usageText();
  for (const char* word : {"--listen", "--speed", "--log", "--fault", "--help", "close", "reset",
                           "silent", "garbage", "split", "delay=MS", "drop-after=N"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace sim
