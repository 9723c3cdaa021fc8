#include "clip/InterfaceMethods.h"

#include "foundation/errors/Exception.h"

namespace ififo_rpc {

namespace {

Instruction makeInstruction(uint32_t opcode, std::initializer_list<uint32_t> args, bool option4,
                            bool option8 = false) {
  Instruction instruction(opcode);
  for (uint32_t arg : args) instruction.pushArgument(arg);
  instruction.finishHeader();
  instruction.option4 = option4;
  instruction.option8 = option8;
  return instruction;
}

}  // namespace

uint32_t callInstruction(const FifoRef& fifo, uint32_t opcode, std::initializer_list<uint32_t> args,
                         bool option4, nQVVUSKS100::tStatus* status) {
  return fifo.fifo->call(fifo.fifoNumber, makeInstruction(opcode, args, option4), status);
}

void postInstruction(const FifoRef& fifo, uint32_t opcode, std::initializer_list<uint32_t> args,
                     bool option4, nQVVUSKS100::tStatus* status) {
  fifo.fifo->post(fifo.fifoNumber, makeInstruction(opcode, args, option4), status);
}

void postInstructionRaising(const FifoRef& fifo, uint32_t opcode,
                            std::initializer_list<uint32_t> args, bool option4) {
  qverr::ThrowingStatusRecord status;
  postInstruction(fifo, opcode, args, option4, &status);
}

uint32_t getInterfaceHandle(const FifoRef& fifo, uint16_t interface, nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, kGetInterfaceHandle, {interface}, false, status);
}

uint32_t getInterfaceVersion(const FifoRef& fifo, uint32_t handle, nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, kGetInterfaceVersion, {handle}, false, status);
}

uint32_t getInterfaceOldestCompatibleVersion(const FifoRef& fifo, uint32_t handle,
                                             nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, kGetInterfaceOldestCompatibleVersion, {handle}, false, status);
}

bool isInterfaceSupported(const FifoRef& fifo, uint16_t interface, nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, kIsInterfaceSupported, {interface}, false, status) != 0;
}

bool isInstructionAvailable(const FifoRef& fifo, uint16_t interface, uint32_t opcode,
                            nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, kIsInstructionAvailable, {interface, opcode}, false, status) != 0;
}

InterfaceVersions getInterfaceVersions(const FifoRef& fifo, uint16_t interface,
                                       nQVVUSKS100::tStatus* status) {
  InterfaceVersions versions;
  versions.handle = getInterfaceHandle(fifo, interface, status);
  if (!versions.present()) return versions;
  versions.oldest = getInterfaceOldestCompatibleVersion(fifo, versions.handle, status);
  versions.current = getInterfaceVersion(fifo, versions.handle, status);
  return versions;
}

bool sendInstruction1504(const FifoRef& fifo, uint8_t a, uint32_t b, nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, 0x1504, {a, b}, false, status) != 0;
}

bool sendInstruction1508(const FifoRef& fifo, uint8_t a, uint32_t b, nQVVUSKS100::tStatus* status) {
  return callInstruction(fifo, 0x1508, {a, b}, false, status) != 0;
}

uint32_t callInstructionRaising(const FifoRef& fifo, uint32_t opcode,
                                std::initializer_list<uint32_t> args, bool option4) {
  qverr::ThrowingStatusRecord status;
  return callInstruction(fifo, opcode, args, option4, &status);
}

uint32_t callInstructionRaising(const FifoRef& fifo, uint32_t opcode,
                                std::initializer_list<uint32_t> args, bool option4, bool option8) {
  qverr::ThrowingStatusRecord status;
  return fifo.fifo->call(fifo.fifoNumber, makeInstruction(opcode, args, option4, option8), &status);
}

int32_t sendInstruction1404(const FifoRef& fifo, uint32_t a, uint32_t b) {
  return static_cast<int32_t>(callInstructionRaising(fifo, 0x1404, {a, b}, true));
}

int32_t sendInstruction1409(const FifoRef& fifo, uint32_t a, uint32_t b) {
  return static_cast<int32_t>(callInstructionRaising(fifo, 0x1409, {a, b}, true));
}

bool queryInstruction101(const FifoRef& fifo, uint8_t pending) {
  return callInstructionRaising(fifo, 0x101, {pending}, true) != 0;
}

bool queryInstruction910(const FifoRef& fifo, uint32_t a) {
  return callInstructionRaising(fifo, 0x910, {a}, false) != 0;
}

}  // namespace ififo_rpc
