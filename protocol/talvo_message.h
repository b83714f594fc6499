#ifndef TALVO_PROTOCOL_TALVO_MESSAGE_H_
#define TALVO_PROTOCOL_TALVO_MESSAGE_H_

#include <cstdint>

#include "protocol/wire_format.h"

// One message in wire format: a 13-byte header and an optional payload, held
// in a block of bytes that the message object owns. The same object can also
// borrow a block that belongs to someone else (a received reply) to read it.
class TalvoMessage {
 public:
  // Holds one block of bytes, either owned (allocated here, released here) or
  // borrowed (a pointer into memory whose owner keeps it alive while it is
  // used through this object; never released and never written here).
  class CBufferManager {
   public:
    CBufferManager() = default;
    virtual ~CBufferManager();

    CBufferManager(const CBufferManager&) = delete;
    CBufferManager& operator=(const CBufferManager&) = delete;

    // Replaces the held block. With `copy` true, allocates `size` bytes (zero
    // filled) and copies `size` bytes from `source` when it is non-null. With
    // `copy` false, borrows `source` itself. True when a non-empty block is
    // held afterwards.
    bool setBuffer(const void* source, std::uint32_t size, bool copy);

    const std::uint8_t* data() const { return data_; }
    std::uint32_t size() const { return size_; }
    bool ownsData() const { return ownsData_; }

    // The held block for writing; nullptr unless the block is owned.
    std::uint8_t* writableData() { return ownsData_ ? data_ : nullptr; }

   private:
    void release();

    std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    bool ownsData_ = false;
  };

  static constexpr std::uint32_t headerSize = wire::kHeaderSize;
  static constexpr std::uint32_t maxPayloadSize = wire::kMaxPayloadSize;

  // A new message holds the bare header, which is the NONE message.
  TalvoMessage();

  // Makes the buffer the bare 13-byte header: type 0, set flag 0, length 0.
  void setHeader();

  // Makes the buffer a message of `type` with `setFlag`. The payload is
  // written, and its length put in the header, only when `payload` is
  // non-null and 0 < `payloadLength` < maxPayloadSize; the buffer is
  // headerSize + payloadLength bytes either way, zero filled where nothing is
  // written. False only when that total wraps to 0.
  bool buildMessage(std::uint16_t type, std::uint8_t setFlag, const void* payload,
                    std::uint32_t payloadLength);

  const CBufferManager& bufferManager() const { return bufferManager_; }
  CBufferManager& bufferManager() { return bufferManager_; }

 private:
  CBufferManager bufferManager_;
};

#endif  // TALVO_PROTOCOL_TALVO_MESSAGE_H_
