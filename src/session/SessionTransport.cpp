#include "session/SessionTransport.h"

#include "devkit/RegisterWordPairs.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

constexpr qverr::StatusLocation kRegisterNotFound{"SessionTransport", 27, qverr::kComponent};
constexpr qverr::StatusLocation kFifoNotFound{"SessionTransport", 118, qverr::kComponent,
                                              qverr::constant::kResourceNotFound};
// Where an exception of a typed access lands in the caller's status.
constexpr qverr::StatusLocation kAccessBoundary{"SessionTransport", 64, qverr::kComponent};

constexpr uint32_t kOffsetMask = ~qvisl::RegisterRecord::kCheckBit;

}  // namespace

void writeRegisterGuarded(qvkel::user::Session& session, uint32_t offset, uint32_t value,
                          bool check) {
  const uint32_t address = (offset & kOffsetMask) | (check ? qvisl::RegisterRecord::kCheckBit : 0);
  session.writeU16(address, static_cast<uint16_t>(value & 0xFFFF));
}

SessionTransport::SessionTransport(qvkel::user::Session& session,
                                   const std::shared_ptr<const qvkel::Bitfile>& bitfile)
    : session_(&session), bitfile_(&bitfile) {}

template <typename F>
bool SessionTransport::access(nQVVUSKS100::tStatus* status, F&& body) {
  if (status->isError()) return false;
  return qverr::runAtBoundary(status, kAccessBoundary, std::forward<F>(body));
}

void SessionTransport::resolveRegister(qvisl::RegisterRecord& reg, nQVVUSKS100::tStatus* status) {
  access(status, [&] {
    const qvkel::NamedRegister* found = (*bitfile_)->findRegister(reg.registerName());
    if (found == nullptr) {
      qverr::recordCode(*status, qverr::kResourceNotFound, kRegisterNotFound);
      return;
    }
    reg.address = found->getIdentifier();
  });
}

void SessionTransport::writeBool(uint32_t address, bool value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU8(address, value ? 1 : 0); });
}

void SessionTransport::writeU8(uint32_t address, uint8_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU8(address, value); });
}

void SessionTransport::writeU16(uint32_t address, uint16_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] {
    writeRegisterGuarded(*session_, address & kOffsetMask, value,
                         (address & qvisl::RegisterRecord::kCheckBit) != 0);
  });
}

void SessionTransport::writeU32(uint32_t address, uint32_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU32(address, value); });
}

void SessionTransport::writeU64(uint32_t address, uint64_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU64(address, value); });
}

void SessionTransport::readU8(uint32_t address, uint8_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = session_->readU8(address); });
}

void SessionTransport::readU16(uint32_t address, uint16_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = session_->readU16(address); });
}

void SessionTransport::readU32(uint32_t address, uint32_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = session_->readU32(address); });
}

void SessionTransport::readU64(uint32_t address, uint64_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = session_->readU64(address); });
}

void SessionTransport::writeI8(uint32_t address, int8_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU8(address, static_cast<uint8_t>(value)); });
}

void SessionTransport::writeI16(uint32_t address, int16_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU16(address, static_cast<uint16_t>(value)); });
}

void SessionTransport::writeI32(uint32_t address, int32_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { session_->writeU32(address, static_cast<uint32_t>(value)); });
}

void SessionTransport::writeI64(uint32_t address, int64_t value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { qvkel::user::writeI64(*session_, address, value); });
}

void SessionTransport::readBool(uint32_t address, bool* value, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  if (!access(status, [&] { *value = session_->readU8(address) != 0; })) *value = false;
}

void SessionTransport::readI8(uint32_t address, int8_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = static_cast<int8_t>(session_->readU8(address)); });
}

void SessionTransport::readI16(uint32_t address, int16_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = static_cast<int16_t>(session_->readU16(address)); });
}

void SessionTransport::readI32(uint32_t address, int32_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = static_cast<int32_t>(session_->readU32(address)); });
}

void SessionTransport::readI64(uint32_t address, int64_t* value, nQVVUSKS100::tStatus* status) {
  access(status, [&] { *value = qvkel::user::readI64(*session_, address); });
}

bool SessionTransport::hasFifo(const char* name) {
  return name != nullptr && (*bitfile_)->findFifo(name) != nullptr;
}

const qvkel::NamedFifo* SessionTransport::findFifo(const char* name) {
  const qvkel::NamedFifo* fifo = name ? (*bitfile_)->findFifo(name) : nullptr;
  if (fifo == nullptr) qverr::raise(qverr::kResourceNotFound, kFifoNotFound);
  return fifo;
}

void SessionTransport::configureFifo(uint32_t fifo, uint64_t requestedDepth,
                                     uint64_t* actualDepth) {
  session_->configureFifo(fifo, requestedDepth, actualDepth);
}

void SessionTransport::startFifo(uint32_t fifo) {
  session_->startFifo(fifo);
}

void SessionTransport::stopFifo(uint32_t fifo) {
  session_->stopFifo(fifo);
}

}  // namespace qvvandrel
