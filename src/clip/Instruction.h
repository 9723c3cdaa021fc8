#pragma once
// An instruction to the CLIP's controller as every sender builds it, and the interface through
// which it reaches an instruction FIFO. The controller groups its methods into numbered
// interfaces: opcode = (interface << 8) | method; interface 0 manages the others.

#include <cstdint>

#include "foundation/errors/Status.h"

namespace ififo_rpc {

// Built on the sender's stack, filled, sent once and discarded.
struct Instruction {
  // Most 32-bit values stored after the header: sixteen 64-bit words in all.
  static constexpr uint32_t kMaxStored = 31;
  static constexpr uint32_t kWordCount = 16;

  uint64_t words[kWordCount];
  uint32_t storedCount;
  uint32_t opcode;
  uint32_t argumentCount;
  const uint32_t* payload;
  uint64_t payloadEnd;
  uint64_t payloadBegin;
  uint64_t trailer;
  bool hasTrailer;
  bool option4;
  bool option8;

  // The initial state every sender starts from.
  explicit Instruction(uint32_t op)
      : words{},
        storedCount(0),
        opcode(op),
        argumentCount(0),
        payload(nullptr),
        payloadEnd(0),
        payloadBegin(0),
        trailer(0),
        hasTrailer(false),
        option4(false),
        option8(false) {}

  // Argument i goes into 32-bit slot i + 1: word (i + 1) / 2, low half for an even slot (which
  // replaces the whole word), high half for an odd one. Past the 31st only the count grows.
  void pushArgument(uint32_t value) {
    if (storedCount < kMaxStored) {
      const uint32_t slot = storedCount + 1;
      if (slot % 2 == 0)
        words[slot / 2] = value;
      else
        words[slot / 2] |= static_cast<uint64_t>(value) << 32;
      ++storedCount;
    }
    ++argumentCount;
  }

  // The header in the low half of word 0: (argument count << 20) | opcode. An interface above
  // 0xFF (the CSI-2 lanes, 0x259) carries its opcode into bits 16 to 19.
  static constexpr uint32_t header(uint32_t argumentCount, uint32_t opcode) {
    return argumentCount << 20 | (opcode & 0xFFFFF);
  }
  // ORs the header in; called once, after the last argument.
  void finishHeader() { words[0] |= header(argumentCount, opcode); }

  // Words the driver receives for the instruction itself: header and stored values, rounded up.
  uint32_t instructionWords() const { return (storedCount + 2) / 2; }
};

// Transport flags: call 2, post 1, plus 4 and 8 for the option bits.
inline constexpr uint32_t kCallFlags = 2;
inline constexpr uint32_t kPostFlags = 1;
inline uint32_t transportFlags(uint32_t base, const Instruction& instruction) {
  return base | (instruction.option4 ? 4u : 0u) | (instruction.option8 ? 8u : 0u);
}

// What a sender holds to reach one FIFO of the controller.
class InstructionFifoInterface;
struct FifoRef {
  InstructionFifoInterface* fifo = nullptr;  // not owned
  uint32_t fifoNumber = 0;
};

class InstructionFifoInterface {
 public:
  // Sends the instruction and returns the controller's 32-bit reply (0 when nothing was sent).
  virtual uint32_t call(uint32_t fifoNumber, const Instruction& instruction,
                        nQVVUSKS100::tStatus* status) = 0;
  // Sends the instruction; the reply is discarded.
  virtual void post(uint32_t fifoNumber, const Instruction& instruction,
                    nQVVUSKS100::tStatus* status) = 0;
  virtual void beginHook() {}
  virtual void endHook() {}
  virtual ~InstructionFifoInterface() = default;
};

}  // namespace ififo_rpc
