#include "clip/InstructionFifo.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "foundation/errors/ErrorCodes.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr const char* kFile = "ififo_rpc_host/InstructionFifo";
// Where a payload that cannot be gathered is refused.
constexpr qverr::StatusLocation kPayloadTooLarge{kFile, 61, qverr::kComponent};
constexpr qverr::StatusLocation kPayloadMemory{kFile, 67, qverr::kComponent};

}  // namespace

uint32_t InstructionFifo::call(uint32_t fifoNumber, const ififo_rpc::Instruction& instruction,
                               nQVVUSKS100::tStatus* status) {
  return send(fifoNumber, ififo_rpc::transportFlags(ififo_rpc::kCallFlags, instruction),
              instruction, status);
}

void InstructionFifo::post(uint32_t fifoNumber, const ififo_rpc::Instruction& instruction,
                           nQVVUSKS100::tStatus* status) {
  send(fifoNumber, ififo_rpc::transportFlags(ififo_rpc::kPostFlags, instruction), instruction,
       status);
}

uint32_t InstructionFifo::send(uint32_t fifoNumber, uint32_t flags,
                               const ififo_rpc::Instruction& instruction,
                               nQVVUSKS100::tStatus* status) {
  if (status->isError()) return 0;
  const uint64_t instructionWords = instruction.instructionWords();
  if (instruction.payload == nullptr) {
    // The common case sends the record's own words.
    return proxy_->command030D(fifoNumber, flags, reinterpret_cast<uint64_t>(instruction.words),
                               static_cast<uint32_t>(instructionWords), status);
  }

  // Payload values go in pairs; an odd last value belongs in the trailer.
  const uint64_t payloadWords = instruction.payloadEnd > instruction.payloadBegin
                                    ? (instruction.payloadEnd - instruction.payloadBegin) / 2
                                    : 0;
  const uint64_t trailerWords = instruction.hasTrailer ? 1 : 0;
  if (payloadWords > std::numeric_limits<uint32_t>::max() - instructionWords - trailerWords) {
    qverr::recordCode(*status, qverr::kInvalidParameter, kPayloadTooLarge);
    return 0;
  }
  const uint64_t total = instructionWords + payloadWords + trailerWords;
  std::unique_ptr<uint64_t[]> gathered(new (std::nothrow) uint64_t[total]);
  if (!gathered) {
    qverr::recordCode(*status, qverr::kMemoryFull, kPayloadMemory);
    return 0;
  }
  std::memcpy(gathered.get(), instruction.words, instructionWords * sizeof(uint64_t));
  std::memcpy(gathered.get() + instructionWords, instruction.payload + instruction.payloadBegin,
              payloadWords * sizeof(uint64_t));
  if (instruction.hasTrailer) gathered[total - 1] = instruction.trailer;
  return proxy_->command030D(fifoNumber, flags, reinterpret_cast<uint64_t>(gathered.get()),
                             static_cast<uint32_t>(total), status);
}

}  // namespace qvvandrelbrenmooru
