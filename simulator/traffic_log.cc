#include "simulator/traffic_log.h"

#include <cstdio>

#include "protocol/message_type.h"
#include "protocol/wire_format.h"

namespace sim {

std::string formatTimestamp(WallTime t) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(t);
  const auto day = floor<days>(ms);
  const year_month_day date(day);
  const hh_mm_ss time(ms - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                int(time.minutes().count()), int(time.seconds().count()),
                int(time.subseconds().count()));
  return text;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const std::uint8_t b : bytes) {
    if (!text.empty()) {
      text += ' ';
    }
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0f];
  }
  return text;
}

std::string describeMessage(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < wire::kHeaderSize) {
    return "short message";
  }
  std::string text;
  const std::uint16_t magic = wire::readU16(bytes.data() + wire::kMagicOffset);
  if (magic != wire::kMagic) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "bad magic 0x%04x ", magic);
    text += hex;
  }
  const std::uint16_t type = wire::readU16(bytes.data() + wire::kTypeOffset);
  const char* name = messageTypeName(type);
  text += name != nullptr ? std::string(name) : "type " + std::to_string(type);
  text += " set=" + std::to_string(bytes[wire::kSetFlagOffset]);
  const auto payload = bytes.subspan(wire::kHeaderSize);
  if (payload.size() == wire::kValueSize) {
    text += " value=" + std::to_string(wire::readI32(payload.data()));
  } else if (payload.empty()) {
    text += " no value";
  } else {
    text += " payload=" + std::to_string(payload.size()) + " bytes";
  }
  return text;
}

void TrafficLog::opened(std::string_view peer) {
  line(peer, "open");
}

void TrafficLog::closed(std::string_view peer, std::string_view reason) {
  line(peer, "close " + std::string(reason));
}

void TrafficLog::message(std::string_view peer, Direction direction,
                         std::span<const std::uint8_t> bytes) {
  if (!enabled()) {
    return;
  }
  line(peer, std::string(direction == Direction::In ? "in  " : "out ") + hexBytes(bytes) + " | " +
                 describeMessage(bytes));
}

void TrafficLog::line(std::string_view peer, std::string_view text) {
  if (!enabled()) {
    return;
  }
  *out_ << formatTimestamp(clock_()) << ' ' << peer << ' ' << text << std::endl;
}

}  // namespace sim
