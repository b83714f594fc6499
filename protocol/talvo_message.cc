#include "protocol/talvo_message.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

TalvoMessage::CBufferManager::~CBufferManager() {
  release();
}

void TalvoMessage::CBufferManager::release() {
  if (data_ != nullptr && ownsData_) {
    delete[] data_;
  }
  data_ = nullptr;
  size_ = 0;
  ownsData_ = false;
}

bool TalvoMessage::CBufferManager::setBuffer(const void* source, std::uint32_t size, bool copy) {
  release();
  size_ = size;
  ownsData_ = copy;
  if (copy) {
    if (size > 0) {
      // Zero filled, so that bytes not copied never carry stale memory.
      data_ = new (std::nothrow) std::uint8_t[size]();
      if (data_ == nullptr) {
        // Nothing can go on without the block; stop rather than send garbage.
        std::printf("CBufferManager::setBuffer(): ERROR out of memory (%lu bytes)\n",
                    static_cast<unsigned long>(size));
        std::fflush(stdout);
        std::abort();
      }
      if (source != nullptr) {
        std::memcpy(data_, source, size);
      }
    }
  } else {
    // Borrowed: the owner's bytes are only read through this object.
    data_ = static_cast<std::uint8_t*>(const_cast<void*>(source));
  }
  return data_ != nullptr && size_ > 0;
}

TalvoMessage::TalvoMessage() {
  setHeader();
}

// The bare header is the NONE message: type 0, set flag 0, no payload.
void TalvoMessage::setHeader() {
  buildMessage(0, 0, nullptr, 0);
}

bool TalvoMessage::buildMessage(std::uint16_t type, std::uint8_t setFlag, const void* payload,
                                std::uint32_t payloadLength) {
  const std::uint32_t total = headerSize + payloadLength;  // wraps on purpose
  if (!bufferManager_.setBuffer(nullptr, total, true)) {
    return false;
  }
  std::uint8_t* bytes = bufferManager_.writableData();
  wire::writeU16(bytes + wire::kMagicOffset, wire::kMagic);
  bytes[wire::kSetFlagOffset] = setFlag;
  wire::writeU16(bytes + wire::kTypeOffset, type);
  wire::writeU32(bytes + wire::kLengthOffset, 0);
  if (payloadLength != 0 && payloadLength < maxPayloadSize && payload != nullptr) {
    std::memcpy(bytes + headerSize, payload, payloadLength);
    wire::writeU32(bytes + wire::kLengthOffset, payloadLength);
  }
  return true;
}
