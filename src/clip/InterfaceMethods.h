#pragma once
// The controller's management methods (interface 0) and the fixed instruction routines built
// on the transport.
//
// The management methods pass the caller's status, so a sequence of them stops sending at the
// first failure and the caller decides when to raise. The routines with an own throwing
// record raise the instruction's failure when they return.

#include <cstdint>
#include <initializer_list>

#include "clip/Instruction.h"
#include "foundation/errors/Status.h"

namespace ififo_rpc {

// The handle of an absent interface.
inline constexpr uint32_t kNoInterface = 0xFFFFFFFF;

// Management opcodes of interface 0.
inline constexpr uint32_t kGetInterfaceHandle = 0x003;
inline constexpr uint32_t kGetInterfaceVersion = 0x006;
inline constexpr uint32_t kGetInterfaceOldestCompatibleVersion = 0x007;
inline constexpr uint32_t kIsInterfaceSupported = 0x009;
inline constexpr uint32_t kIsInstructionAvailable = 0x00A;

uint32_t getInterfaceHandle(const FifoRef& fifo, uint16_t interface, nQVVUSKS100::tStatus* status);
uint32_t getInterfaceVersion(const FifoRef& fifo, uint32_t handle, nQVVUSKS100::tStatus* status);
uint32_t getInterfaceOldestCompatibleVersion(const FifoRef& fifo, uint32_t handle,
                                             nQVVUSKS100::tStatus* status);
bool isInterfaceSupported(const FifoRef& fifo, uint16_t interface, nQVVUSKS100::tStatus* status);
// Whether the CLIP offers instruction `opcode` of `interface` (a non-zero reply).
bool isInstructionAvailable(const FifoRef& fifo, uint16_t interface, uint32_t opcode,
                            nQVVUSKS100::tStatus* status);

// An interface's handle and version window, asked in that order (oldest before current). The
// version queries are not sent for an absent interface.
struct InterfaceVersions {
  uint32_t handle = kNoInterface;
  uint32_t oldest = 0;
  uint32_t current = 0;
  bool present() const { return handle != kNoInterface; }
};
InterfaceVersions getInterfaceVersions(const FifoRef& fifo, uint16_t interface,
                                       nQVVUSKS100::tStatus* status);

// One call with its 32-bit arguments in order and no payload: the building block of the
// routines here and of the features' own instructions.
uint32_t callInstruction(const FifoRef& fifo, uint32_t opcode, std::initializer_list<uint32_t> args,
                         bool option4, nQVVUSKS100::tStatus* status);
// The same with an own throwing record: a failed instruction raises when the call returns.
uint32_t callInstructionRaising(const FifoRef& fifo, uint32_t opcode,
                                std::initializer_list<uint32_t> args, bool option4 = false);
// The same with both option bits chosen (transport flags 4 and 8).
uint32_t callInstructionRaising(const FifoRef& fifo, uint32_t opcode,
                                std::initializer_list<uint32_t> args, bool option4, bool option8);
// One post (no reply) with its 32-bit arguments in order, on the caller's status or raising.
void postInstruction(const FifoRef& fifo, uint32_t opcode, std::initializer_list<uint32_t> args,
                     bool option4, nQVVUSKS100::tStatus* status);
void postInstructionRaising(const FifoRef& fifo, uint32_t opcode,
                            std::initializer_list<uint32_t> args, bool option4 = false);

// The fixed routines. 0x1504 and 0x1508 pass the caller's status; the others raise.
bool sendInstruction1504(const FifoRef& fifo, uint8_t a, uint32_t b, nQVVUSKS100::tStatus* status);
bool sendInstruction1508(const FifoRef& fifo, uint8_t a, uint32_t b, nQVVUSKS100::tStatus* status);
int32_t sendInstruction1404(const FifoRef& fifo, uint32_t a, uint32_t b);
int32_t sendInstruction1409(const FifoRef& fifo, uint32_t a, uint32_t b);
// The CLIP deploy root's instruction: whether the CLIP's settings are pending.
bool queryInstruction101(const FifoRef& fifo, uint8_t pending);
bool queryInstruction910(const FifoRef& fifo, uint32_t a);

}  // namespace ififo_rpc
