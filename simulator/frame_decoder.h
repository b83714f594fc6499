#ifndef TALVO_SIMULATOR_FRAME_DECODER_H_
#define TALVO_SIMULATOR_FRAME_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

// One complete message as received: its header and payload bytes.
class Frame {
 public:
  explicit Frame(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::uint8_t setFlag() const;
  std::uint16_t type() const;
  std::span<const std::uint8_t> payload() const;

 private:
  std::vector<std::uint8_t> bytes_;
};

// Cuts a byte stream into messages: a 13-byte header, then as many payload
// bytes as its `length` field says. Bytes may come in pieces of any size, and
// one piece may hold several messages. A wrong magic number, or a length of
// 1400 or more, loses the framing: the decoder then stops for good.
class FrameDecoder {
 public:
  void append(std::span<const std::uint8_t> bytes);

  // The next complete message, or nullopt when more bytes are needed or the
  // framing is lost.
  std::optional<Frame> next();

  bool failed() const { return !error_.empty(); }
  // Why the framing was lost ("bad magic number 0x0118"); empty if it was not.
  const std::string& error() const { return error_; }
  // Bytes received and not yet returned as a message.
  std::size_t buffered() const { return buffer_.size() - start_; }

 private:
  // Checks the header fields that have arrived so far.
  void checkHeader();

  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;  // first byte of the message being received
  std::string error_;
};

}  // namespace sim

#endif  // TALVO_SIMULATOR_FRAME_DECODER_H_
