#include "streaming/ScaledReads.h"

#include <algorithm>
#include <boost/multiprecision/cpp_dec_float.hpp>
#include <cstring>
#include <limits>
#include <type_traits>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {
namespace {

namespace mp = boost::multiprecision;
using qvkel::ElementType;
using qvvandrelbrenmooru::kStreamElementType;
using qvvandrelbrenmooru::kStreamFifoCount;

// Exact for every double (whose decimal expansion has at most 767 significant digits), for the
// 64-bit counter and for their product.
using Decimal = mp::number<mp::cpp_dec_float<800>, mp::et_off>;

constexpr const char* kSource = "ScaledReads";
constexpr qverr::StatusLocation kUnsupportedType{kSource, 61, qverr::kComponent};
constexpr qverr::StatusLocation kFifoCountMismatch{kSource, 112, qverr::kComponent};
constexpr qverr::StatusLocation kBadDestinationCode{kSource, 118, qverr::kComponent};
constexpr qverr::StatusLocation kBadChannelCount{kSource, 204, qverr::kComponent};
constexpr qverr::StatusLocation kDestinationTooLarge{kSource, 96, qverr::kComponent,
                                                     qverr::constant::kInvalidParameter};

// Words of a channel's information record.
constexpr std::size_t kInfoWords = 10;
enum InfoWord : std::size_t {
  kTimestamp = 2,
  kInterval = 3,
  kGain = 4,
  kOffset = 5,
  kDelivered = 8
};

template <typename T>
void store(unsigned char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <typename T>
void putInfo(const ScaledRead& r, std::size_t channel, InfoWord word, T value) {
  static_assert(sizeof(T) == 8);
  store(reinterpret_cast<unsigned char*>(r.request.channelInfo) +
            (channel * kInfoWords + word) * sizeof(std::uint64_t),
        value);
}

// After compile the read side holds entries for the enabled channels only (none without
// scaling coefficients): a channel without one reads unscaled.
double gainOf(const ReadSettings& read, std::size_t channel) {
  return channel < read.gains.size() ? read.gains[channel] : 1.0;
}
double offsetOf(const ReadSettings& read, std::size_t channel) {
  return channel < read.offsets.size() ? read.offsets[channel] : 0.0;
}

void fillInfo(const ScaledRead& r, std::size_t channel) {
  putInfo(r, channel, kInterval, r.read.samplePeriod);
  putInfo(r, channel, kGain, gainOf(r.read, channel));
  putInfo(r, channel, kOffset, offsetOf(r.read, channel));
}

// The time stamp from the counter as it stood, then the counter advanced.
void finishChannel(const ScaledRead& r, std::size_t channel, std::uint64_t delivered) {
  putInfo(r, channel, kTimestamp,
          computeChannelTimestamp(r.counters, channel, r.read.samplePeriod, r.read.dataDelay));
  r.counters.add(channel, delivered);
  putInfo(r, channel, kDelivered, delivered);
}

// The destination holds channel count x bytes per channel: a size beyond 64 bits is refused.
void checkDestinationSize(const qvvandrelbrenmooru::StreamScaledReadRequest& q) {
  if (q.bytesPerChannel > std::numeric_limits<std::uint64_t>::max() / q.channelCount)
    qverr::raise(qverr::kInvalidParameter, kDestinationTooLarge);
}

template <typename T>
void scaleInto(const T* source, std::uint64_t count, unsigned char* destination, double gain,
               double offset) {
  for (std::uint64_t j = 0; j < count; ++j)
    store(destination + j * sizeof(double), static_cast<double>(source[j]) * gain + offset);
}

// In-place acquires of channel `fifo` converted to doubles at `destination` until `wanted`
// have been written or the FIFO times out; returns the samples written.
template <typename T>
std::uint64_t readChannelScaled(const ScaledRead& r, const qvkel::Type& type, std::uint32_t fifo,
                                std::uint64_t wanted, unsigned char* destination, double gain,
                                double offset, bool* timedOut) {
  std::uint64_t written = 0;
  while (written < wanted) {
    void* elements = nullptr;
    std::uint64_t acquired = 0;
    std::uint64_t remaining = 0;
    bool expired = false;
    r.session.acquireFifoReadElements(type, fifo, &elements, wanted - written, r.request.timeoutMs,
                                      &expired, &acquired, &remaining);
    scaleInto(static_cast<const T*>(elements), acquired, destination + written * sizeof(double),
              gain, offset);
    r.session.releaseFifoElements(fifo, acquired);
    written += acquired;
    if (expired) *timedOut = true;
    if (expired || acquired == 0) break;
  }
  return written;
}

// Calls f with a null pointer of the host type of a stream element type.
template <typename F>
void withHostType(ElementType type, F&& f) {
  switch (type) {
    case ElementType::I8:
      return f(static_cast<std::int8_t*>(nullptr));
    case ElementType::U8:
      return f(static_cast<std::uint8_t*>(nullptr));
    case ElementType::I16:
      return f(static_cast<std::int16_t*>(nullptr));
    case ElementType::U16:
      return f(static_cast<std::uint16_t*>(nullptr));
    case ElementType::I32:
      return f(static_cast<std::int32_t*>(nullptr));
    case ElementType::U32:
      return f(static_cast<std::uint32_t*>(nullptr));
    default:
      qverr::raise(kStreamElementType, kUnsupportedType);
  }
}

// Element g of an interleaved FIFO (counted from the read's start) goes to channel g mod N, as
// that channel's sample g / N; channel k's block starts at k x n samples of the destination.
template <typename T, bool Scaled>
class Deinterleaver {
 public:
  using Out = std::conditional_t<Scaled, double, T>;

  Deinterleaver(unsigned char* destination, std::uint64_t channels, std::uint64_t perChannel,
                const double* gains, const double* offsets)
      : destination_(destination),
        channels_(channels),
        perChannel_(perChannel),
        gains_(gains),
        offsets_(offsets) {}

  // `count` elements in place, the first being element `first` of the read.
  void place(const T* source, std::uint64_t count, std::uint64_t first) const {
    std::uint64_t j = 0;
    // A group that an earlier piece began, then whole groups, then a group left open.
    for (; j < count && (first + j) % channels_ != 0; ++j) one(source[j], first + j);
    const std::uint64_t groups = (count - j) / channels_;
    const std::uint64_t sample = (first + j) / channels_;
    switch (channels_) {
      case 1:
        placeGroups<1>(source + j, groups, sample);
        break;
      case 2:
        placeGroups<2>(source + j, groups, sample);
        break;
      case 4:
        placeGroups<4>(source + j, groups, sample);
        break;
      default:
        for (std::uint64_t g = 0; g < groups; ++g) {
          for (std::uint64_t k = 0; k < channels_; ++k)
            one(source[j + g * channels_ + k], first + j + g * channels_ + k);
        }
    }
    for (j += groups * channels_; j < count; ++j) one(source[j], first + j);
  }

 private:
  static Out convert(T raw, double gain, double offset) {
    if constexpr (Scaled) {
      return static_cast<double>(raw) * gain + offset;
    } else {
      (void)gain;
      (void)offset;
      return raw;
    }
  }
  void one(T raw, std::uint64_t element) const {
    const std::uint64_t k = element % channels_;
    store(destination_ + (k * perChannel_ + element / channels_) * sizeof(Out),
          convert(raw, gains_[k], offsets_[k]));
  }
  // Unrolled per channel count; the factors are copied and the source is restrict-qualified so
  // that the stores alias neither.
  template <std::uint64_t N>
  void placeGroups(const T* __restrict source, std::uint64_t groups, std::uint64_t sample) const {
    double gain[N];
    double offset[N];
    unsigned char* block[N];
    for (std::uint64_t k = 0; k < N; ++k) {
      gain[k] = gains_[k];
      offset[k] = offsets_[k];
      block[k] = destination_ + (k * perChannel_ + sample) * sizeof(Out);
    }
    for (std::uint64_t g = 0; g < groups; ++g) {
      for (std::uint64_t k = 0; k < N; ++k)
        store(block[k] + g * sizeof(Out), convert(source[g * N + k], gain[k], offset[k]));
    }
  }

  unsigned char* destination_;
  std::uint64_t channels_;
  std::uint64_t perChannel_;
  const double* gains_;
  const double* offsets_;
};

template <typename T>
void readInterleaved(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  const qvvandrelbrenmooru::StreamScaledReadRequest& q = r.request;
  const StreamElement element = streamElement(fifo);
  const bool scaled = q.destinationType == kScaledDestination;
  if (!scaled && q.destinationType != element.rawCode)
    qverr::raise(kStreamFifoCount, kBadDestinationCode);
  const std::uint64_t channels = q.channelCount;
  if (channels == 0 || (channels & (channels - 1)) != 0 || channels > kMaxInterleavedChannels)
    qverr::raise(kStreamFifoCount, kBadChannelCount);
  checkDestinationSize(q);

  const std::uint64_t size = scaled ? sizeof(double) : sizeof(T);
  const std::uint64_t perChannel = q.bytesPerChannel / size;
  const std::uint64_t total = channels * perChannel;
  double gains[kMaxInterleavedChannels];
  double offsets[kMaxInterleavedChannels];
  for (std::size_t k = 0; k < channels; ++k) {
    gains[k] = gainOf(r.read, k);
    offsets[k] = offsetOf(r.read, k);
  }
  auto* destination = reinterpret_cast<unsigned char*>(q.destination);
  const Deinterleaver<T, true> toDoubles(destination, channels, perChannel, gains, offsets);
  const Deinterleaver<T, false> toRaw(destination, channels, perChannel, gains, offsets);

  const std::uint32_t number = fifo.getNumber();
  std::uint64_t consumed = 0;
  std::uint64_t remaining = 0;
  bool timedOut = false;
  while (consumed < total) {
    void* elements = nullptr;
    std::uint64_t acquired = 0;
    r.session.acquireFifoReadElements(*element.type, number, &elements, total - consumed,
                                      q.timeoutMs, &timedOut, &acquired, &remaining);
    const T* source = static_cast<const T*>(elements);
    if (scaled) {
      toDoubles.place(source, acquired, consumed);
    } else {
      toRaw.place(source, acquired, consumed);
    }
    r.session.releaseFifoElements(number, acquired);
    consumed += acquired;
    if (timedOut || acquired == 0) break;
  }

  const std::uint64_t delivered = consumed / channels;
  for (std::size_t k = 0; k < channels; ++k) {
    fillInfo(r, k);
    finishChannel(r, k, delivered);
  }
  qvvandrelbrenmooru::storeTransferReply(r.reply, consumed * size, remaining * size, timedOut);
}

}  // namespace

StreamElement streamElement(const qvkel::NamedFifo& fifo) {
  static const qvkel::TypeI8 i8;
  static const qvkel::TypeU8 u8;
  static const qvkel::TypeI16 i16;
  static const qvkel::TypeU16 u16;
  static const qvkel::TypeI32 i32;
  static const qvkel::TypeU32 u32;
  switch (fifo.getDescriptor().getType().getElementType()) {
    case ElementType::I8:
      return {&i8, 9, 0};
    case ElementType::U8:
      return {&u8, 10, 0};
    case ElementType::I16:
      return {&i16, 7, 1};
    case ElementType::U16:
      return {&u16, 8, 1};
    case ElementType::I32:
      return {&i32, 2, 2};
    case ElementType::U32:
      return {&u32, 4, 2};
    default:
      qverr::raise(kStreamElementType, kUnsupportedType);
  }
}

double computeChannelTimestamp(const ChannelCounters& counters, std::size_t channel, double dt,
                               double timeOffset) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  const Decimal stamp = Decimal(counters.get(channel)) * Decimal(dt) + Decimal(timeOffset);
  if (stamp > Decimal(kLargest)) return kLargest;
  // A negative dt or time offset can take it as far below: no double holds that either.
  if (stamp < Decimal(-kLargest)) return -kLargest;
  return static_cast<double>(stamp.convert_to<long double>());
}

void readFifoScaled(const ScaledRead& r) {
  const qvvandrelbrenmooru::StreamScaledReadRequest& q = r.request;
  const std::vector<const qvkel::NamedFifo*>& fifos = r.read.fifos;
  if (fifos.empty() || q.channelCount != fifos.size())
    qverr::raise(kStreamFifoCount, kFifoCountMismatch);
  const StreamElement element = streamElement(*fifos.front());
  const bool scaled = q.destinationType == kScaledDestination;
  if (!scaled && q.destinationType != element.rawCode)
    qverr::raise(kStreamFifoCount, kBadDestinationCode);
  checkDestinationSize(q);

  const std::size_t channels = fifos.size();
  for (std::size_t i = 0; i < channels; ++i) {
    putInfo(r, i, kTimestamp, 0.0);
    fillInfo(r, i);
    putInfo(r, i, kDelivered, std::uint64_t{0});
  }
  auto* destination = reinterpret_cast<unsigned char*>(q.destination);
  bool timedOut = false;
  if (!scaled) {
    const std::uint64_t perChannel = q.bytesPerChannel >> element.shift;
    const std::uint64_t bytes = perChannel << element.shift;
    for (std::size_t i = 0; i < channels && !timedOut; ++i) {
      std::uint64_t remaining = 0;
      r.session.readFifo(*element.type, fifos[i]->getNumber(), destination, perChannel, q.timeoutMs,
                         &timedOut, &remaining);
      if (!timedOut) destination += bytes;
      finishChannel(r, i, timedOut ? 0 : perChannel);
    }
    qvvandrelbrenmooru::storeTransferReply(r.reply, timedOut ? 0 : channels * bytes, 0, timedOut);
    return;
  }

  const std::uint64_t perChannel = q.bytesPerChannel / sizeof(double);
  std::uint64_t largest = 0;
  for (std::size_t i = 0; i < channels && !timedOut; ++i) {
    std::uint64_t delivered = 0;
    withHostType(element.type->getElementType(), [&](auto* host) {
      using T = std::remove_pointer_t<decltype(host)>;
      delivered =
          readChannelScaled<T>(r, *element.type, fifos[i]->getNumber(), perChannel, destination,
                               gainOf(r.read, i), offsetOf(r.read, i), &timedOut);
    });
    destination += delivered * sizeof(double);
    largest = std::max(largest, delivered);
    finishChannel(r, i, delivered);
  }
  qvvandrelbrenmooru::storeTransferReply(r.reply, channels * largest * sizeof(double), 0, timedOut);
}

void readFifoScaledByType(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  switch (fifo.getDescriptor().getType().getElementType()) {
    case ElementType::I8:
      return readFifoScaledI8(r, fifo);
    case ElementType::U8:
      return readFifoScaledU8(r, fifo);
    case ElementType::I16:
      return readFifoScaledI16(r, fifo);
    case ElementType::U16:
      return readFifoScaledU16(r, fifo);
    case ElementType::I32:
      return readFifoScaledI32(r, fifo);
    case ElementType::U32:
      return readFifoScaledU32(r, fifo);
    default:
      qverr::raise(kStreamElementType, kUnsupportedType);
  }
}

void readFifoScaledI8(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  readInterleaved<std::int8_t>(r, fifo);
}
void readFifoScaledU8(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  readInterleaved<std::uint8_t>(r, fifo);
}
void readFifoScaledI16(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  readInterleaved<std::int16_t>(r, fifo);
}
void readFifoScaledU16(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  readInterleaved<std::uint16_t>(r, fifo);
}
void readFifoScaledI32(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  readInterleaved<std::int32_t>(r, fifo);
}
void readFifoScaledU32(const ScaledRead& r, const qvkel::NamedFifo& fifo) {
  readInterleaved<std::uint32_t>(r, fifo);
}

}  // namespace qvvandrel
