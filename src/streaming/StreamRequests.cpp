#include "streaming/StreamRequests.h"

#include <cstring>
#include <limits>
#include <mutex>

#include "devkit/Session.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "streaming/ScaledReads.h"
#include "streaming/StreamingAPI.h"
#include "streaming/StreamingIDL.h"

namespace qvvandrelbrenmooru {
namespace {

using qvstreaming::StreamingIDL;
using qvvandrel::StreamElement;
using qvvandrel::streamElement;

constexpr const char* kSource = "StreamRequests";
constexpr qverr::StatusLocation kShortRecord{kSource, 40, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kDataMovesRefused{kSource, 52, qverr::kComponent};
constexpr qverr::StatusLocation kUnknownCode{kSource, 58, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kShortForCode{kSource, 64, qverr::kComponent,
                                              qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kVersionRefused{kSource, 71, qverr::kComponent};
constexpr qverr::StatusLocation kNotOneFifo{kSource, 96, qverr::kComponent};
constexpr qverr::StatusLocation kNoFifo{kSource, 131, qverr::kComponent};
constexpr qverr::StatusLocation kWriteTooLarge{kSource, 158, qverr::kComponent,
                                               qverr::constant::kInvalidParameter};

// The request start writes, and how long start waits for the stream to leave its armed states.
constexpr std::uint8_t kRequestStart = 6;
constexpr std::uint32_t kStartTimeoutMs = 5000;

// What a code reads of the record and writes of the reply (0: no reply).
struct Extent {
  std::uint64_t record;
  std::uint64_t reply;
};
const Extent* extentOf(std::uint32_t code) {
  static constexpr Extent kState{sizeof(StreamRequestHeader), sizeof(StreamStateReply)};
  static constexpr Extent kHeaderOnly{sizeof(StreamRequestHeader), 0};
  static constexpr Extent kRaw{sizeof(StreamRawReadRequest), sizeof(StreamTransferReply)};
  static constexpr Extent kWait{sizeof(StreamWaitRequest), sizeof(StreamStateReply)};
  static constexpr Extent kScaled{sizeof(StreamScaledReadRequest), sizeof(StreamTransferReply)};
  static constexpr Extent kWrite{sizeof(StreamWriteRequest), sizeof(StreamTransferReply)};
  switch (code) {
    case kStreamStart:
      return &kState;
    case kStreamStop:
    case kStreamConfigure:
      return &kHeaderOnly;
    case kStreamRawRead:
      return &kRaw;
    case kStreamWait:
      return &kWait;
    case kStreamScaledRead:
      return &kScaled;
    case kStreamWrite:
      return &kWrite;
    default:
      return nullptr;
  }
}

template <typename R>
R copyRecord(const void* record) {
  R copy;
  std::memcpy(&copy, record, sizeof copy);
  return copy;
}

// The record's oldest compatible version must be <= `oldest` and its version >= `version`.
void checkVersion(const StreamRequestHeader& header, std::uint32_t oldest, std::uint32_t version) {
  if (header.oldestCompatibleVersion > oldest || header.version < version)
    qverr::raise(kStreamRequestVersion, kVersionRefused);
}

// The register wait of start and wait (mode 1) into the reply; the status raised when negative.
void waitIntoReply(qvstream_lib::StreamRegisterSet& registers, std::uint64_t count,
                   std::uint32_t timeoutMs, void* reply, nQVVUSKS100::tStatus& status) {
  const std::int32_t mode = StreamingIDL::kPoll;
  std::uint64_t samples = 0;
  std::uint8_t state = 0;
  StreamingIDL::waitForState(registers.samplesTransferred, registers.state, count, timeoutMs,
                             &samples, &state, &status, &mode);
  auto* bytes = static_cast<unsigned char*>(reply);
  std::memcpy(bytes + offsetof(StreamStateReply, samplesTransferred), &samples, sizeof samples);
  std::memcpy(bytes + offsetof(StreamStateReply, state), &state, sizeof state);
  if (status.isError()) qverr::throwRecord(status);
}

}  // namespace

void dispatchStreamRequest(qvvandrel::StreamingSession& session, const void* record,
                           std::uint64_t recordSize, void* reply, std::uint64_t replySize) {
  if (record == nullptr || recordSize < sizeof(StreamRequestHeader))
    qverr::raise(qverr::kInvalidParameter, kShortRecord);
  const auto header = copyRecord<StreamRequestHeader>(record);
  const std::uint32_t code = header.code;
  const std::uint32_t n = header.stream;
  if ((code == kStreamRawRead || code == kStreamScaledRead || code == kStreamWrite) &&
      session.openedWithBit24())
    qverr::raise(qverr::kOperationNotSupported, kDataMovesRefused);
  qvvandrel::StreamingAPI& streaming = session.streaming();
  qvstream_lib::StreamRegisterSet& registers = streaming.getStreamRegisters(n);
  const Extent* extent = extentOf(code);
  if (extent == nullptr) qverr::raise(qverr::kInvalidParameter, kUnknownCode);
  if (recordSize < extent->record ||
      (extent->reply != 0 && (reply == nullptr || replySize < extent->reply)))
    qverr::raise(qverr::kInvalidParameter, kShortForCode);

  switch (code) {
    case kStreamStart: {
      checkVersion(header, 0, 0);
      nQVVUSKS100::tStatus status;
      registers.requestState.write(kRequestStart, &status);
      waitIntoReply(registers, StreamingIDL::kNoSampleCount, kStartTimeoutMs, reply, status);
      return;
    }
    case kStreamStop: {
      checkVersion(header, 0, 0);
      nQVVUSKS100::tStatus status;
      StreamingIDL::stop(registers.requestState, registers.state, &status);
      streaming.resetStream(n);
      if (status.isError()) qverr::throwRecord(status);
      return;
    }
    case kStreamWait: {
      checkVersion(header, 0, 0);
      const auto request = copyRecord<StreamWaitRequest>(record);
      nQVVUSKS100::tStatus status;
      waitIntoReply(registers, request.sampleCount, request.timeoutMs, reply, status);
      return;
    }
    case kStreamRawRead: {
      const auto request = copyRecord<StreamRawReadRequest>(record);
      std::lock_guard guard(session);
      checkVersion(header, 1, 1);
      const qvvandrel::ReadSettings& read = streaming.getInputStream(n);
      if (read.fifos.size() != 1) qverr::raise(kStreamFifoCount, kNotOneFifo);
      readStreamRaw(session, *read.fifos.front(), request, reply);
      return;
    }
    case kStreamScaledRead: {
      const auto request = copyRecord<StreamScaledReadRequest>(record);
      std::lock_guard guard(session);
      checkVersion(header, 1, 1);
      const qvvandrel::ReadSettings& read = streaming.getInputStream(n);
      if (read.fifos.empty()) qverr::raise(kStreamFifoCount, kNoFifo);
      const qvvandrel::ScaledRead scaled{request, read, reply, streaming.getStreamSampleCounters(n),
                                         session.fifoSession()};
      if (read.interleaved) {
        qvvandrel::readFifoScaledByType(scaled, *read.fifos.front());
      } else {
        qvvandrel::readFifoScaled(scaled);
      }
      return;
    }
    case kStreamConfigure:
      checkVersion(header, 0, 0);
      qvvandrel::configureStream(session, n);
      return;
    case kStreamWrite: {
      const auto request = copyRecord<StreamWriteRequest>(record);
      session.commit();
      std::lock_guard guard(session);
      checkVersion(header, 0, 0);
      const qvvandrel::WriteSettings& write = streaming.getOutputStream(n);
      if (write.fifos.empty()) qverr::raise(kStreamFifoCount, kNoFifo);
      writeStreamRaw(session, write, request, record, reply);
      return;
    }
  }
}

void readStreamRaw(qvvandrel::StreamingSession& session, const qvkel::NamedFifo& fifo,
                   const StreamRawReadRequest& request, void* reply) {
  const StreamElement element = streamElement(fifo);
  const std::uint64_t count = request.byteCount >> element.shift;
  bool timedOut = false;
  std::uint64_t remaining = 0;
  session.fifoSession().readFifo(*element.type, fifo.getNumber(),
                                 reinterpret_cast<void*>(request.destination), count,
                                 request.timeoutMs, &timedOut, &remaining);
  storeTransferReply(reply, timedOut ? 0 : count << element.shift, remaining << element.shift,
                     timedOut);
}

void writeStreamRaw(qvvandrel::StreamingSession& session, const qvvandrel::WriteSettings& write,
                    const StreamWriteRequest& request, const void* record, void* reply) {
  const qvkel::NamedFifo& fifo = *write.fifos.front();
  const StreamElement element = streamElement(fifo);
  // The source holds count x element size bytes: a count beyond 64 bits of bytes is refused.
  const std::uint64_t perMultiple = request.count >> element.shift;
  const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() >> element.shift;
  if (request.multiplier != 0 && perMultiple > limit / request.multiplier)
    qverr::raise(qverr::kInvalidParameter, kWriteTooLarge);
  const std::uint64_t count = perMultiple * request.multiplier;

  qvvandrel::WriteSettings::SampleCompletion* completion = write.sampleCompletion;
  const std::uint64_t target =
      completion != nullptr ? completion->targetPosition(count, record) : 0;
  bool timedOut = false;
  std::uint64_t remaining = 0;
  session.fifoSession().writeFifo(*element.type, fifo.getNumber(),
                                  reinterpret_cast<const void*>(request.source), count,
                                  request.timeoutMs, &timedOut, &remaining);
  storeTransferReply(reply, timedOut ? 0 : count << element.shift, remaining << element.shift,
                     timedOut);
  // A write that timed out moved nothing, so the buffer would never reach its target: the
  // time-out stays a flag of the reply instead of a long wait ending in an error.
  if (completion != nullptr && !timedOut) completion->waitForPosition(target);
}

}  // namespace qvvandrelbrenmooru
