#include "streaming/StreamingIDL.h"

#include "foundation/errors/ErrorCodes.h"
#include "streaming/StreamTimeout.h"

namespace qvstreaming {
namespace {

constexpr const char* kSource = "StreamingIDL";
constexpr std::uint64_t kLineStateError = 200;
constexpr std::uint64_t kLineWaitTimedOut = 209;
constexpr std::uint64_t kLineStopTimedOut = 50;
constexpr std::uint64_t kLineArmTimedOut = 87;
constexpr std::uint64_t kLineNotProgrammable = 117;
constexpr std::uint64_t kLineInvalidSampleNumber = 142;

constexpr std::uint8_t kStopRequest = 0, kArmFinite = 1, kArmContinuous = 2;
constexpr std::uint8_t kArmedFinite = 1, kArmedContinuous = 2, kRunning = 3, kError = 4, kDone = 5;

void record(nQVVUSKS100::tStatus* status, std::int32_t code, std::uint64_t line) {
  status->setCode(code, qverr::kComponent, kSource, line);
}

bool armed(std::uint8_t state) {
  return state == kArmedFinite || state == kArmedContinuous;
}

}  // namespace

void StreamingIDL::waitForState(
    qvisl::RegisterInterface<unsigned long, nQVVUSKS100::tStatus>& transferred,
    qvisl::RegisterInterface<unsigned char, nQVVUSKS100::tStatus>& stateRegister,
    std::uint64_t requestedSamples, std::uint32_t timeoutMs, std::uint64_t* samples,
    std::uint8_t* state, nQVVUSKS100::tStatus* status, const std::int32_t* mode) {
  qvvandrel::Timeout deadline = qvvandrel::startStreamTimeout(timeoutMs);
  bool expired = false;
  bool settled = true;
  for (;;) {
    expired = deadline.expired();
    *state = stateRegister.read(status);
    *samples = transferred.read(status);
    settled = !armed(*state);
    if (*state == kError) record(status, kStreamStateError, kLineStateError);
    if (*samples >= requestedSamples) return;
    if (expired || *mode != kPoll || settled || status->isError()) break;
  }
  if (expired && !settled) record(status, kStreamWaitTimedOut, kLineWaitTimedOut);
}

void StreamingIDL::waitForStateValue(
    qvisl::RegisterInterface<unsigned char, nQVVUSKS100::tStatus>& stateRegister,
    std::uint8_t target, std::uint32_t timeoutMs, nQVVUSKS100::tStatus* status,
    const std::int32_t* mode) {
  qvvandrel::Timeout deadline = qvvandrel::startStreamTimeout(timeoutMs);
  bool expired = false;
  std::uint8_t state = 0;
  for (;;) {
    expired = deadline.expired();
    state = stateRegister.read(status);
    if (expired || *mode != kPoll || status->isError() || state == target) break;
  }
  if (expired && state != target) record(status, kStreamStateNotReached, kLineStopTimedOut);
}

void StreamingIDL::stop(qvstream_lib::RequestState& request, qvstream_lib::State& state,
                        nQVVUSKS100::tStatus* status) {
  request.write(kStopRequest, status);
  const std::int32_t mode = kPoll;
  waitForStateValue(state, 0, kStateTimeoutMs, status, &mode);
}

void StreamingIDL::arm(qvstream_lib::RequestState& request, qvstream_lib::State& state, bool finite,
                       nQVVUSKS100::tStatus* status) {
  request.write(finite ? kArmFinite : kArmContinuous, status);
  qvvandrel::Timeout deadline = qvvandrel::startStreamTimeout(kStateTimeoutMs);
  bool expired = false;
  std::uint8_t current = 0;
  for (;;) {
    expired = deadline.expired();
    current = state.read(status);
    if (current != 0 || expired || status->isError()) break;
  }
  if (expired && current == 0) record(status, kStreamStateNotReached, kLineArmTimedOut);
}

void StreamingIDL::program(qvstream_lib::RequestState& request,
                           qvstream_lib::NumSamples& numSamples, qvstream_lib::State& state,
                           qvstream_lib::Metadata& metadata, bool finite,
                           std::uint64_t numberOfSamples, nQVVUSKS100::tStatus* status) {
  constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};
  if (!finite) {
    const std::uint64_t granularity = metadata.read(status) & 0xFF;
    numberOfSamples = granularity == 0 ? kAllOnes : kAllOnes - kAllOnes % granularity;
  }
  if (!status->isError()) {
    const std::uint8_t current = state.read(status);
    if (current == kRunning || current == kDone) {
      stop(request, state, status);
    } else if (current != 0) {
      record(status, kStreamNotProgrammable, kLineNotProgrammable);
    }
  }
  const std::uint64_t granularity = metadata.read(status) & 0xFF;
  if (granularity == 0 || !finite || numberOfSamples % granularity == 0) {
    numSamples.write(numberOfSamples, status);
  } else {
    record(status, qverr::kInvalidSampleNumber, kLineInvalidSampleNumber);
  }
  arm(request, state, finite, status);
}

}  // namespace qvstreaming
