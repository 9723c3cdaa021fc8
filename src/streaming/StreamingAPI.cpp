#include "streaming/StreamingAPI.h"

#include <cstdio>

#include "attributes/RaiseWithDetails.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel {
namespace {

constexpr qverr::StatusLocation kReadOnOutputStream{"StreamingAPI", 35, qverr::kComponent,
                                                    qverr::constant::kInvalidStreamOperation};
constexpr qverr::StatusLocation kWriteOnInputStream{"StreamingAPI", 50, qverr::kComponent,
                                                    qverr::constant::kInvalidStreamOperation};

[[noreturn]] void raiseInvalidOperation(const qverr::StatusLocation& location, const char* text) {
  atat::detail::raiseWithDetails(
      qverr::kInvalidStreamOperation, location,
      [&](atat::elaboration::Cursor c) { atat::writeCommentItem(c, text); });
}

}  // namespace

StreamingAPI::StreamingAPI(SessionTransportInterface* transport,
                           const ClipCapabilities* capabilities)
    : transport_(transport), capabilities_(capabilities) {
  createStreams();
}

StreamingAPI::~StreamingAPI() = default;

void StreamingAPI::createStreams() {
  for (std::int32_t n = 0; n < kStreamNumbers; ++n) {
    nQVVUSKS100::tStatus status;
    auto registers = std::make_unique<qvstream_lib::StreamRegisterSet>(transport_, n, &status);
    if (status.isError()) continue;
    StreamFifos fifos = findStreamFifos(n);
    if (fifos.names.empty()) continue;
    streams_.emplace(
        n, std::make_unique<Stream>(n, capabilities_, fifos.input, transport_, std::move(registers),
                                    std::move(fifos.names), fifos.plain));
    mask_ |= std::uint64_t{1} << n;
  }
}

StreamingAPI::StreamFifos StreamingAPI::findStreamFifos(std::int32_t n) {
  struct Direction {
    const char* plain;
    const char* indexed;
    bool input;
  };
  static constexpr Direction kDirections[] = {
      {"stream.to host %d", "stream.to host %d.%d", true},
      {"stream.to target %d", "stream.to target %d.%d", false},
  };
  StreamFifos found;
  for (const Direction& direction : kDirections) {
    char plain[30];
    std::snprintf(plain, sizeof plain, direction.plain, n);
    if (transport_->hasFifo(plain)) {
      found.names.emplace_back(plain);
      found.plain = true;
    }
    if (found.names.empty()) {
      for (std::int32_t k = 0; k < kStreamNumbers; ++k) {
        char indexed[43];
        std::snprintf(indexed, sizeof indexed, direction.indexed, n, k);
        if (transport_->hasFifo(indexed)) found.names.emplace_back(indexed);
      }
    }
    if (!found.names.empty()) {
      found.input = direction.input;
      break;
    }
  }
  return found;
}

void StreamingAPI::registerAttributes(atat::AttributeRegistry* registry) {
  for (auto& [n, stream] : streams_) stream->registerAttributes(registry);
}

void StreamingAPI::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  for (auto& [n, stream] : streams_) stream->commission(*roots, registry);
}

Stream& StreamingAPI::getStream(std::uint32_t n) {
  auto it = n < static_cast<std::uint32_t>(kStreamNumbers)
                ? streams_.find(static_cast<std::int32_t>(n))
                : streams_.end();
  if (it == streams_.end()) qverr::throwError(kNoSuchStream);
  return *it->second;
}

qvstream_lib::StreamRegisterSet& StreamingAPI::getStreamRegisters(std::uint32_t n) {
  return getStream(n).registers();
}

const ReadSettings& StreamingAPI::getInputStream(std::uint32_t n) {
  Stream& stream = getStream(n);
  if (!stream.isInput())
    raiseInvalidOperation(kReadOnOutputStream, "read operation performed on output stream");
  return stream.readSettings();
}

const WriteSettings& StreamingAPI::getOutputStream(std::uint32_t n) {
  Stream& stream = getStream(n);
  if (stream.isInput())
    raiseInvalidOperation(kWriteOnInputStream, "write operation performed on input stream");
  return stream.writeSettings();
}

ChannelCounters& StreamingAPI::getStreamSampleCounters(std::uint32_t n) {
  return getStream(n).readCounters();
}

ChannelCounters& StreamingAPI::getStreamOutputTable(std::uint32_t n) {
  return getStream(n).writeTable();
}

Stream::StreamAttributes& StreamingAPI::getStreamSettings(std::uint32_t n) {
  return getStream(n).attributes();
}

void StreamingAPI::resetStream(std::uint32_t n) {
  getStream(n).reset();
}

}  // namespace qvvandrel
