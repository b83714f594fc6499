#ifndef TALVO_PROTOCOL_WIRE_FORMAT_H_
#define TALVO_PROTOCOL_WIRE_FORMAT_H_

#include <cstdint>

// Byte layout of a message on the wire. Every multi-byte field is
// little-endian and the fields are packed: `length` starts at offset 9.
//
//   offset 0  u16 magic (0x1801, bytes 01 18)
//   offset 2  u8  reserved
//   offset 3  u8  setFlag
//   offset 4  u16 type
//   offset 6  3 reserved bytes
//   offset 9  u32 length of the payload that follows
//   offset 13 payload (one signed 32-bit value for the types that carry one)
namespace wire {

inline constexpr std::uint16_t kMagic = 0x1801;
inline constexpr std::uint32_t kHeaderSize = 13;
inline constexpr std::uint32_t kMaxPayloadSize = 1400;  // payloads must be shorter
inline constexpr std::uint32_t kValueSize = 4;

inline constexpr std::uint32_t kMagicOffset = 0;
inline constexpr std::uint32_t kSetFlagOffset = 3;
inline constexpr std::uint32_t kTypeOffset = 4;
inline constexpr std::uint32_t kLengthOffset = 9;
inline constexpr std::uint32_t kPayloadOffset = 13;

inline std::uint16_t readU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::int32_t readI32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(readU32(p));
}

inline void writeU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void writeU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void writeI32(std::uint8_t* p, std::int32_t v) {
  writeU32(p, static_cast<std::uint32_t>(v));
}

}  // namespace wire

#endif  // TALVO_PROTOCOL_WIRE_FORMAT_H_
