#include "channels/SerialChannelNames.h"
#include "channels/SerialChannels.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/platform/pause.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel {

namespace {

constexpr int32_t kInvalidI2cAddress = -304447;
constexpr int32_t kUnknownI2cBus = -304448;

constexpr const char* kFile = "qvvandrelbrenmooru/source/SerialChannelsI2C";
constexpr qverr::StatusLocation kNoSerialChannels{kFile, 61, qverr::kComponent};
constexpr qverr::StatusLocation kAddressOutOfRange{kFile, 66, qverr::kComponent};
constexpr qverr::StatusLocation kBadArgument{kFile, 71, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kBusNotFound{kFile, 52, qverr::kComponent};
constexpr qverr::StatusLocation kEngineNotGranted{kFile, 120, qverr::kComponent,
                                                  qverr::constant::kOperationTimedOut};

void requireAvailable(const SerDesI2cContext& context) {
  if (!context.available) qverr::raise(qverr::kOperationNotSupported, kNoSerialChannels);
}

void requireAddressAtMost(uint16_t address, uint16_t limit) {
  if (address > limit) qverr::raise(kInvalidI2cAddress, kAddressOutOfRange);
}

void requireBuffer(const void* buffer, uint32_t length) {
  if (buffer == nullptr && length != 0) qverr::raise(qverr::kInvalidParameter, kBadArgument);
}

// Interface 0x2F: a handle, oldest compatible version A and version B with A <= B, A <= 1 and
// B != 0. Once per context; the flag is set only after a pass.
bool i2cVersionsCompatible(const ififo_rpc::InterfaceVersions& v) {
  return v.oldest <= v.current && v.oldest <= 1 && v.current != 0;
}

void requireI2cInterface(SerDesI2cContext& context) {
  if (context.fifo.checked.load(std::memory_order_acquire)) return;
  IfifoInterfaceCheck check{context.fifo.fifo};
  check.requireInterface(kI2cInterface, &i2cVersionsCompatible,
                         IfifoInterfaceCheck::QueryFailure::kRaised);
  context.fifo.checked.store(true, std::memory_order_release);
}

// The CLIP's I2C engine, taken through the driver for one read or write-then-read of this
// process; released when the transfer ends, also when it fails.
class EngineHold {
 public:
  explicit EngineHold(nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& driver)
      : driver_(driver) {
    const bool granted = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::pollWithPause(
        kI2cEngineAttempts, kI2cEnginePauseMs, [this] {
          qverr::ThrowingStatusRecord status;
          return driver_.command040F(&status);
        });
    if (!granted) qverr::raise(qverr::kTimeout, kEngineNotGranted);
  }
  EngineHold(const EngineHold&) = delete;
  EngineHold& operator=(const EngineHold&) = delete;

  // The transfer succeeded: a failed release is its failure.
  void release() {
    held_ = false;
    qverr::ThrowingStatusRecord status;
    driver_.command0410(&status);
  }
  ~EngineHold() {
    if (!held_) return;
    nQVVUSKS100::tStatus status;
    driver_.command0410(&status);
  }

 private:
  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& driver_;
  bool held_ = true;
};

// 0x2F03: the header announces bus, address, option and count; the first data byte rides in
// the instruction as a fifth value, the others follow as payload words with an odd last one as
// the trailer.
uint16_t sendWrite(SerDesI2cContext& context, int32_t busId, uint16_t address, const uint8_t* data,
                   uint32_t length, uint32_t option) {
  uint32_t values[kMaxI2cWriteBytes];
  for (uint32_t k = 0; k < length; ++k) values[k] = data[k];

  ififo_rpc::Instruction instruction(kI2cWrite);
  instruction.pushArgument(static_cast<uint32_t>(busId));
  instruction.pushArgument(address);
  instruction.pushArgument((option ^ 1u) & 0xFFu);
  instruction.pushArgument(length);
  instruction.finishHeader();
  if (length > 0) instruction.pushArgument(values[0]);
  if (length > 1) {
    instruction.payload = values;
    instruction.payloadBegin = 1;
    instruction.payloadEnd = length;
    if ((length - 1) % 2 != 0) {
      instruction.trailer = values[length - 1];
      instruction.hasTrailer = true;
    }
  }
  instruction.option4 = true;
  qverr::ThrowingStatusRecord status;
  return static_cast<uint16_t>(
      context.fifo.fifo.fifo->call(context.fifo.fifo.fifoNumber, instruction, &status));
}

// 0x2F02 asks the CLIP to read (at most 255 bytes); each 0x2F04 brings up to four of them, the
// first in bits 0 to 7. Bytes past `length` are fetched but not stored.
uint32_t readBytes(SerDesI2cContext& context, int32_t busId, uint16_t address, uint8_t* out,
                   uint32_t length, uint32_t option) {
  const uint32_t count =
      ififo_rpc::callInstructionRaising(
          context.fifo.fifo, kI2cRead,
          {static_cast<uint32_t>(busId), address, (option ^ 1u) & 0xFFu, length & 0xFFu}, true) &
      0xFF;
  uint32_t stored = 0;
  for (uint32_t pending = count; pending > 0;) {
    requireI2cInterface(context);
    const uint32_t word = ififo_rpc::callInstructionRaising(context.fifo.fifo, kI2cReadData, {});
    const uint32_t taken = pending < 4 ? pending : 4;
    for (uint32_t b = 0; b < taken; ++b, ++stored)
      if (stored < length) out[stored] = static_cast<uint8_t>(word >> (8 * b));
    pending -= taken;
  }
  return count;
}

}  // namespace

std::unique_ptr<SerDesI2cContext> SerialChannels::buildI2cBusMap(
    nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& driver,
    const ClipCapabilities& capabilities, const ififo_rpc::FifoRef& fifo) {
  auto context = std::make_unique<SerDesI2cContext>();
  context->driver = &driver;
  context->capabilities = &capabilities;
  context->fifo.fifo = fifo;
  const uint32_t count = capabilities.serialChannels.count;
  context->available = count != 0;
  const SerialChannelSection& s = capabilities.serialChannels.section;
  // A section without its SerDes number or bus identifier keeps the previous section's.
  uint32_t serDes = 0;
  uint32_t busId = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (const auto v = s.serDesNumber.at(i)) serDes = *v;
    if (const auto v = s.serDesBusID.at(i)) busId = *v;
    const auto type = s.type.at(i);
    const bool deserializer = type && *type == 0;
    context->busIds[i2cBusName(deserializer, serDes)] = static_cast<int32_t>(busId);
  }
  return context;
}

void SerialChannels::destroyI2cBusMap(std::unique_ptr<SerDesI2cContext>& context) {
  context.reset();
}

int32_t SerialChannels::lookupI2cBus(const SerDesI2cContext& context, const char* busName) {
  if (busName == nullptr) qverr::raise(qverr::kInvalidParameter, kBadArgument);
  const auto found = context.busIds.find(busName);
  if (found == context.busIds.end()) qverr::raise(kUnknownI2cBus, kBusNotFound);
  return found->second;
}

uint16_t SerialChannels::i2cWrite(SerDesI2cContext& context, const char* busName, uint16_t address,
                                  const uint8_t* data, uint32_t length, uint32_t option) {
  requireAvailable(context);
  requireAddressAtMost(address, kMaxI2cAddress);
  requireBuffer(data, length);
  if (length > kMaxI2cWriteBytes) qverr::raise(qverr::kInvalidParameter, kBadArgument);
  const int32_t busId = lookupI2cBus(context, busName);
  requireI2cInterface(context);
  return sendWrite(context, busId, address, data, length, option);
}

uint32_t SerialChannels::i2cRead(SerDesI2cContext& context, const char* busName, uint16_t address,
                                 uint8_t* out, uint32_t length, uint32_t option) {
  requireAvailable(context);
  const auto& addressMode = context.capabilities->cap700.value;
  requireAddressAtMost(address,
                       addressMode && *addressMode != 0 ? kMaxI2cAddress10Bit : kMaxI2cAddress);
  requireBuffer(out, length);
  EngineHold engine(*context.driver);
  const int32_t busId = lookupI2cBus(context, busName);
  requireI2cInterface(context);
  const uint32_t count = readBytes(context, busId, address, out, length, option);
  engine.release();
  return count;
}

void SerialChannels::i2cWriteRead(SerDesI2cContext& context, const char* busName, uint16_t address,
                                  const uint8_t* writeData, uint32_t writeLength, uint8_t* out,
                                  uint32_t readLength, uint32_t option, uint32_t* writeResult,
                                  uint32_t* bytesRead) {
  if (writeResult != nullptr) *writeResult = 0;
  if (bytesRead != nullptr) *bytesRead = 0;
  requireAvailable(context);
  requireAddressAtMost(address, kMaxI2cAddress);
  requireBuffer(writeData, writeLength);
  requireBuffer(out, readLength);
  if (writeLength > kMaxI2cWriteBytes) qverr::raise(qverr::kInvalidParameter, kBadArgument);
  const int32_t busId = lookupI2cBus(context, busName);
  EngineHold engine(*context.driver);
  requireI2cInterface(context);
  const uint16_t written = sendWrite(context, busId, address, writeData, writeLength, option);
  if (writeResult != nullptr) *writeResult = written;
  const uint32_t count = readBytes(context, busId, address, out, readLength, option);
  if (bytesRead != nullptr) *bytesRead = count;
  engine.release();
}

}  // namespace qvvandrel
