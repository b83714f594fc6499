#include "simulator/faults.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace sim {
namespace {

FaultSet parse(const std::vector<std::string>& faultTexts) {
  FaultSet faults;
  for (const auto& text : faultTexts) {
    addFault(faults, text);
  }
  return faults;
}

TEST(Faults, ParsesEachFaultAndCombinations) {
  struct Case {
    std::vector<std::string> faultTexts;
    std::string described;
  };
  const Case cases[] = {
      {{}, ""},
      {{"close"}, "close"},
      {{"reset"}, "reset"},
      {{"silent"}, "silent"},
      {{"garbage"}, "garbage"},
      {{"split"}, "split=5"},
      {{"split=40"}, "split=40"},
      {{"delay=250"}, "delay=250"},
      {{"delay=600000"}, "delay=600000"},
      {{"drop-after=1"}, "drop-after=1"},
      {{"drop-after=4294967295"}, "drop-after=4294967295"},
      {{"delay=10", "split", "garbage"}, "garbage split=5 delay=10"},
      {{"delay=10", "delay=20"}, "delay=20"},  // the later value wins
  };
  for (const Case& c : cases) {
    const FaultSet faults = parse(c.faultTexts);
    EXPECT_EQ(faults.describe(), c.described);
    EXPECT_EQ(faults.any(), !c.faultTexts.empty()) << c.described;
  }
}

TEST(Faults, FieldsHoldTheParsedValues) {
  const FaultSet faults = parse({"delay=250", "drop-after=3", "split=7"});
  EXPECT_EQ(faults.delay, std::chrono::milliseconds(250));
  EXPECT_EQ(faults.dropAfter, 3u);
  EXPECT_EQ(faults.splitGap, std::chrono::milliseconds(7));
  EXPECT_FALSE(faults.closeOnAccept || faults.resetOnFirstMessage || faults.silent ||
               faults.garbage);
}

TEST(Faults, RejectsBadNamesAndValues) {
  for (const char* text :
       {"", "bogus", "Close", "close=1", "silent=", "garbage=yes", "delay", "delay=", "delay=0",
        "delay=-5", "delay=5ms", "delay=600001", "delay=99999999999999999999", "drop-after",
        "drop-after=0", "drop-after=4294967296", "drop-after=x", "split=", "split=0"}) {
    FaultSet faults;
    EXPECT_THROW(addFault(faults, text), std::invalid_argument) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace sim
