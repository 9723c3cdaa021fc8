#pragma once
// The register-level operations on a stream: wait for a state or a sample count, stop, arm,
// and program (stop a finished stream, write its sample count, arm it). They run on the host's
// calling thread without a lock of their own, poll back to back without sleeping, and record
// every failure in the caller's status record (component "qvvandrelbrenmooru", source
// "StreamingIDL") instead of raising; once the record holds an error, register accesses do
// nothing.

#include <cstdint>

#include "foundation/errors/Status.h"
#include "streaming/StreamRegisters.h"

namespace qvstreaming {

// The stream's state register went to its error state.
inline constexpr std::int32_t kStreamStateError = -1074100508;
// A wait ended at its deadline with the state still armed (1 or 2).
inline constexpr std::int32_t kStreamWaitTimedOut = -1074100507;
// The state did not reach the value waited for (stop), or did not leave idle (arm).
inline constexpr std::int32_t kStreamStateNotReached = -1074100509;
// Programming found the stream in a state it cannot be programmed from.
inline constexpr std::int32_t kStreamNotProgrammable = -1074100510;

class StreamingIDL {
 public:
  // A requested sample count of all ones waits for the state alone.
  static constexpr std::uint64_t kNoSampleCount = ~std::uint64_t{0};
  // The mode that keeps polling; any other polls once.
  static constexpr std::int32_t kPoll = 1;
  // Stop and arm wait this long.
  static constexpr std::uint32_t kStateTimeoutMs = 5000;

  // Polls State, then SamplesTransferred, until SamplesTransferred reaches `requestedSamples`,
  // the state settles (anything but 1 and 2; 4 records kStreamStateError), the deadline
  // passes (kStreamWaitTimedOut while still armed) or the status holds an error. The last
  // values read are left in `samples` and `state`.
  static void waitForState(
      qvisl::RegisterInterface<unsigned long, nQVVUSKS100::tStatus>& transferred,
      qvisl::RegisterInterface<unsigned char, nQVVUSKS100::tStatus>& stateRegister,
      std::uint64_t requestedSamples, std::uint32_t timeoutMs, std::uint64_t* samples,
      std::uint8_t* state, nQVVUSKS100::tStatus* status, const std::int32_t* mode);
  // Polls State until it equals `target` (kStreamStateNotReached at the deadline).
  static void waitForStateValue(
      qvisl::RegisterInterface<unsigned char, nQVVUSKS100::tStatus>& stateRegister,
      std::uint8_t target, std::uint32_t timeoutMs, nQVVUSKS100::tStatus* status,
      const std::int32_t* mode);
  // Requests 0 and waits for state 0.
  static void stop(qvstream_lib::RequestState& request, qvstream_lib::State& state,
                   nQVVUSKS100::tStatus* status);
  // Requests 1 (finite) or 2 (continuous) and waits until the state leaves 0.
  static void arm(qvstream_lib::RequestState& request, qvstream_lib::State& state, bool finite,
                  nQVVUSKS100::tStatus* status);
  // Stops a running or finished stream, writes the sample count (a continuous stream's count
  // is the largest multiple of the granularity; a finite count must be a multiple of it,
  // else qverr::kInvalidSampleNumber) and arms.
  static void program(qvstream_lib::RequestState& request, qvstream_lib::NumSamples& numSamples,
                      qvstream_lib::State& state, qvstream_lib::Metadata& metadata, bool finite,
                      std::uint64_t numberOfSamples, nQVVUSKS100::tStatus* status);
};

}  // namespace qvstreaming
