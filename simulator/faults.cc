#include "simulator/faults.h"

#include <charconv>
#include <stdexcept>

namespace sim {

namespace {

std::uint64_t parseNumber(std::string_view name, std::string_view text, std::uint64_t min,
                          std::uint64_t max) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
      value > max) {
    throw std::invalid_argument("fault " + std::string(name) + " needs a whole number from " +
                                std::to_string(min) + " to " + std::to_string(max) + ", not '" +
                                std::string(text) + "'");
  }
  return value;
}

std::chrono::milliseconds parseMilliseconds(std::string_view name, std::string_view text) {
  return std::chrono::milliseconds(
      static_cast<std::int64_t>(parseNumber(name, text, 1, FaultSet::kMaxMilliseconds)));
}

}  // namespace

bool FaultSet::any() const {
  return closeOnAccept || resetOnFirstMessage || silent || garbage || splitGap ||
         delay.count() > 0 || dropAfter;
}

std::string FaultSet::describe() const {
  std::string text;
  const auto add = [&text](const std::string& item) { text += text.empty() ? item : " " + item; };
  if (closeOnAccept) add("close");
  if (resetOnFirstMessage) add("reset");
  if (silent) add("silent");
  if (garbage) add("garbage");
  if (splitGap) add("split=" + std::to_string(splitGap->count()));
  if (delay.count() > 0) add("delay=" + std::to_string(delay.count()));
  if (dropAfter) add("drop-after=" + std::to_string(*dropAfter));
  return text;
}

void addFault(FaultSet& faults, std::string_view text) {
  const auto equals = text.find('=');
  const std::string_view name = text.substr(0, equals);
  const std::optional<std::string_view> value =
      equals == std::string_view::npos ? std::nullopt
                                       : std::optional<std::string_view>(text.substr(equals + 1));
  const auto noValue = [&](bool& flag) {
    if (value) {
      throw std::invalid_argument("fault " + std::string(name) + " takes no value");
    }
    flag = true;
  };
  const auto needValue = [&]() -> std::string_view {
    if (!value) {
      throw std::invalid_argument("fault " + std::string(name) +
                                  " needs a value: " + std::string(name) + "=N");
    }
    return *value;
  };

  if (name == "close") {
    noValue(faults.closeOnAccept);
  } else if (name == "reset") {
    noValue(faults.resetOnFirstMessage);
  } else if (name == "silent") {
    noValue(faults.silent);
  } else if (name == "garbage") {
    noValue(faults.garbage);
  } else if (name == "split") {
    faults.splitGap = value ? parseMilliseconds(name, *value) : FaultSet::kDefaultSplitGap;
  } else if (name == "delay") {
    faults.delay = parseMilliseconds(name, needValue());
  } else if (name == "drop-after") {
    faults.dropAfter = parseNumber(name, needValue(), 1, UINT32_MAX);
  } else {
    throw std::invalid_argument("unknown fault '" + std::string(name) + "'");
  }
}

}  // namespace sim
