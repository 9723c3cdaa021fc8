#pragma once
// The session's streaming feature: finds which of the stream numbers 0..31 the design
// implements (five registers and at least one FIFO each), builds one stream per number found,
// forwards registration and commission to them, and serves lookups by stream number.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/CommissionInterface.h"
#include "model/SessionTransportInterface.h"
#include "streaming/Stream.h"

namespace qvvandrel {

class ClipCapabilities;

// No stream of that number.
inline constexpr std::int32_t kNoSuchStream = -304405;

class StreamingAPI : public CommissionInterface {
 public:
  static constexpr std::int32_t kStreamNumbers = 32;

  // Both are the session's and outlive the feature; the capability tree is handed to every
  // stream and not used.
  StreamingAPI(SessionTransportInterface* transport, const ClipCapabilities* capabilities);
  StreamingAPI(const StreamingAPI&) = delete;
  StreamingAPI& operator=(const StreamingAPI&) = delete;
  ~StreamingAPI() override;

  // Each stream in ascending stream number.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // Every lookup raises kNoSuchStream (code only) for a number without a stream.
  Stream& getStream(std::uint32_t n);
  qvstream_lib::StreamRegisterSet& getStreamRegisters(std::uint32_t n);
  // The read side; an output stream raises -304429 "read operation performed on output stream".
  const ReadSettings& getInputStream(std::uint32_t n);
  // The write side; an input stream raises -304429 "write operation performed on input stream".
  const WriteSettings& getOutputStream(std::uint32_t n);
  ChannelCounters& getStreamSampleCounters(std::uint32_t n);
  ChannelCounters& getStreamOutputTable(std::uint32_t n);
  // The attributes from which configuring a stream takes "Stream Finite" and "Stream Number
  // Of Samples".
  Stream::StreamAttributes& getStreamSettings(std::uint32_t n);
  void resetStream(std::uint32_t n);
  // Bit n set for every stream n present.
  std::uint64_t getStreamMask() const { return mask_; }

 private:
  struct StreamFifos {
    std::vector<std::string> names;
    bool input = false;
    bool plain = false;  // one FIFO carries every channel
  };
  void createStreams();
  StreamFifos findStreamFifos(std::int32_t n);

  SessionTransportInterface* transport_;
  const ClipCapabilities* capabilities_;
  std::map<std::int32_t, std::unique_ptr<Stream>> streams_;
  std::uint64_t mask_ = 0;
};

}  // namespace qvvandrel
