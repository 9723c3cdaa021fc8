#include "streaming/StreamConfiguration.h"

#include <mutex>

#include "foundation/errors/Exception.h"
#include "streaming/StreamingAPI.h"
#include "streaming/StreamingIDL.h"

namespace qvvandrel {

void StreamingSession::commit() {
  std::lock_guard guard(*this);
  commitHeld();
}

void configureStream(StreamingSession& session, std::uint32_t n) {
  std::lock_guard guard(session);
  session.commitHeld();
  StreamingAPI& streaming = session.streaming();
  qvstream_lib::StreamRegisterSet& registers = streaming.getStreamRegisters(n);
  Stream::StreamAttributes& settings = streaming.getStreamSettings(n);
  {
    qverr::ThrowingStatusRecord status;
    qvstreaming::StreamingIDL::program(
        registers.requestState, registers.numSamples, registers.state, registers.metadata,
        settings.finite.getCoerced(), settings.numberOfSamples.getCoerced(), &status);
  }
  streaming.getStreamSampleCounters(n).clear();
}

}  // namespace qvvandrel
