#include "simulator/frame_decoder.h"

#include <cstdio>

#include "protocol/wire_format.h"

namespace sim {

std::uint8_t Frame::setFlag() const {
  return bytes_[wire::kSetFlagOffset];
}

std::uint16_t Frame::type() const {
  return wire::readU16(bytes_.data() + wire::kTypeOffset);
}

std::span<const std::uint8_t> Frame::payload() const {
  return std::span<const std::uint8_t>(bytes_).subspan(wire::kHeaderSize);
}

void FrameDecoder::append(std::span<const std::uint8_t> bytes) {
  if (failed()) {
    return;
  }
  // Drop what earlier messages used before the buffer grows.
  if (start_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  checkHeader();
}

std::optional<Frame> FrameDecoder::next() {
  if (failed() || buffered() < wire::kHeaderSize) {
    return std::nullopt;
  }
  const std::uint8_t* header = buffer_.data() + start_;
  const std::size_t total = wire::kHeaderSize + wire::readU32(header + wire::kLengthOffset);
  if (buffered() < total) {
    return std::nullopt;
  }
  Frame frame(std::vector<std::uint8_t>(header, header + total));
  start_ += total;
  checkHeader();
  return frame;
}

void FrameDecoder::checkHeader() {
  const std::size_t have = buffered();
  const std::uint8_t* header = buffer_.data() + start_;
  // The magic number is checked as soon as its two bytes are here, so a peer
  // that sends a few wrong bytes is not left waiting for a full header.
  if (have >= 2) {
    const std::uint16_t magic = wire::readU16(header + wire::kMagicOffset);
    if (magic != wire::kMagic) {
      char text[40];
      std::snprintf(text, sizeof text, "bad magic number 0x%04x", magic);
      error_ = text;
      return;
    }
  }
  if (have >= wire::kHeaderSize) {
    const std::uint32_t length = wire::readU32(header + wire::kLengthOffset);
    if (length >= wire::kMaxPayloadSize) {
      error_ = "payload length " + std::to_string(length) + " too large";
    }
  }
}

}  // namespace sim
