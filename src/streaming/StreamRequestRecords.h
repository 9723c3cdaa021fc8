#pragma once
// The records of the host's stream requests (request group 257) and of their replies,
// little-endian at fixed offsets; which fields a record carries depends on its request code.
// Records are copied out of the host's buffer, and replies written into it, byte-wise: the
// host's buffers need not be aligned.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvvandrelbrenmooru {

// Status codes of the stream requests.
inline constexpr std::int32_t kStreamFifoCount = -304401;  // FIFO or channel count, or type code
inline constexpr std::int32_t kStreamRequestVersion = -304502;
inline constexpr std::int32_t kStreamElementType = -304503;

enum StreamRequestCode : std::uint32_t {
  kStreamStart = 271,
  kStreamStop = 272,
  kStreamRawRead = 275,
  kStreamWait = 276,
  kStreamScaledRead = 277,
  kStreamConfigure = 278,
  kStreamWrite = 279,
};

#pragma pack(push, 4)
struct StreamRequestHeader {
  std::uint32_t group;
  std::uint32_t unread;
  std::uint32_t version;
  std::uint32_t oldestCompatibleVersion;
  std::uint32_t code;
  std::uint32_t stream;
};
static_assert(sizeof(StreamRequestHeader) == 24);
static_assert(offsetof(StreamRequestHeader, version) == 8);
static_assert(offsetof(StreamRequestHeader, oldestCompatibleVersion) == 12);
static_assert(offsetof(StreamRequestHeader, code) == 16);
static_assert(offsetof(StreamRequestHeader, stream) == 20);

struct StreamWaitRequest {
  StreamRequestHeader header;
  std::uint64_t sampleCount;  // all ones: none
  std::uint32_t timeoutMs;
};
static_assert(sizeof(StreamWaitRequest) == 36);
static_assert(offsetof(StreamWaitRequest, sampleCount) == 24);
static_assert(offsetof(StreamWaitRequest, timeoutMs) == 32);

struct StreamRawReadRequest {
  StreamRequestHeader header;
  std::uint64_t byteCount;
  std::uint64_t destination;
  std::uint32_t timeoutMs;
};
static_assert(sizeof(StreamRawReadRequest) == 44);
static_assert(offsetof(StreamRawReadRequest, byteCount) == 24);
static_assert(offsetof(StreamRawReadRequest, destination) == 32);
static_assert(offsetof(StreamRawReadRequest, timeoutMs) == 40);

struct StreamScaledReadRequest {
  StreamRequestHeader header;
  std::uint64_t bytesPerChannel;
  std::uint64_t channelCount;
  std::uint64_t destination;
  std::uint64_t channelInfo;  // ten u64 words per channel
  std::uint32_t timeoutMs;
  std::uint32_t destinationType;
};
static_assert(sizeof(StreamScaledReadRequest) == 64);
static_assert(offsetof(StreamScaledReadRequest, bytesPerChannel) == 24);
static_assert(offsetof(StreamScaledReadRequest, channelCount) == 32);
static_assert(offsetof(StreamScaledReadRequest, destination) == 40);
static_assert(offsetof(StreamScaledReadRequest, channelInfo) == 48);
static_assert(offsetof(StreamScaledReadRequest, timeoutMs) == 56);
static_assert(offsetof(StreamScaledReadRequest, destinationType) == 60);

struct StreamWriteRequest {
  StreamRequestHeader header;
  std::uint64_t count;
  std::uint32_t multiplier;
  std::uint32_t unread36;
  std::uint64_t source;
  std::uint32_t unread48;
  std::uint32_t timeoutMs;
};
static_assert(sizeof(StreamWriteRequest) == 56);
static_assert(offsetof(StreamWriteRequest, count) == 24);
static_assert(offsetof(StreamWriteRequest, multiplier) == 32);
static_assert(offsetof(StreamWriteRequest, source) == 40);
static_assert(offsetof(StreamWriteRequest, timeoutMs) == 52);
#pragma pack(pop)

#pragma pack(push, 1)
// Start and wait.
struct StreamStateReply {
  std::uint64_t samplesTransferred;
  std::uint8_t state;
};
static_assert(sizeof(StreamStateReply) == 9);
static_assert(offsetof(StreamStateReply, state) == 8);
#pragma pack(pop)

#pragma pack(push, 4)
// Raw read, scaled read and write.
struct StreamTransferReply {
  std::uint64_t bytesMoved;
  std::uint64_t bytesRemaining;
  std::uint32_t reserved[2];
  std::uint32_t flags;
};
static_assert(sizeof(StreamTransferReply) == 28);
static_assert(offsetof(StreamTransferReply, bytesRemaining) == 8);
static_assert(offsetof(StreamTransferReply, flags) == 24);
#pragma pack(pop)

inline constexpr std::uint32_t kReplyTimedOut = 0x2;

// Writes the counts and sets or clears flag bit 1 of the host's reply; the reserved words and
// the other flag bits stay the host's.
inline void storeTransferReply(void* reply, std::uint64_t bytesMoved, std::uint64_t bytesRemaining,
                               bool timedOut) {
  auto* bytes = static_cast<unsigned char*>(reply);
  std::memcpy(bytes + offsetof(StreamTransferReply, bytesMoved), &bytesMoved, 8);
  std::memcpy(bytes + offsetof(StreamTransferReply, bytesRemaining), &bytesRemaining, 8);
  std::uint32_t flags = 0;
  std::memcpy(&flags, bytes + offsetof(StreamTransferReply, flags), 4);
  flags = timedOut ? (flags | kReplyTimedOut) : (flags & ~kReplyTimedOut);
  std::memcpy(bytes + offsetof(StreamTransferReply, flags), &flags, 4);
}

}  // namespace qvvandrelbrenmooru
