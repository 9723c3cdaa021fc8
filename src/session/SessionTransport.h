#pragma once
// The session's register transport: register names of the session's bitfile become addresses,
// typed accesses become the user session's register primitives (under the FPGA's operation
// lock, through the I/O accessor, with the bus-status check that bit 31 of an address asks
// for), and DMA FIFOs are found by name.

#include <cstdint>
#include <memory>

#include "devkit/Bitfile.h"
#include "devkit/Session.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

// A 16-bit write that a download or reset cannot interrupt: the shared side of the operation
// lock for the whole access, the FPGA started when it may be, the value cut to 16 bits, the
// bus status checked afterwards when `check` is set. Failures are raised after the lock is
// left.
void writeRegisterGuarded(qvkel::user::Session& session, uint32_t offset, uint32_t value,
                          bool check);

class SessionTransport final : public SessionTransportInterface {
 public:
  // Both are the session's: the bitfile pointer is followed, so a transport always sees the
  // bitfile the session holds now. Neither is owned.
  SessionTransport(qvkel::user::Session& session,
                   const std::shared_ptr<const qvkel::Bitfile>& bitfile);
  SessionTransport(const SessionTransport&) = delete;
  SessionTransport& operator=(const SessionTransport&) = delete;

  void resolveRegister(qvisl::RegisterRecord& reg, nQVVUSKS100::tStatus* status) override;
  void writeBool(uint32_t address, bool value, nQVVUSKS100::tStatus* status) override;
  void writeU8(uint32_t address, uint8_t value, nQVVUSKS100::tStatus* status) override;
  void writeU16(uint32_t address, uint16_t value, nQVVUSKS100::tStatus* status) override;
  void writeU32(uint32_t address, uint32_t value, nQVVUSKS100::tStatus* status) override;
  void writeU64(uint32_t address, uint64_t value, nQVVUSKS100::tStatus* status) override;
  void readU8(uint32_t address, uint8_t* value, nQVVUSKS100::tStatus* status) override;
  void readU16(uint32_t address, uint16_t* value, nQVVUSKS100::tStatus* status) override;
  void readU32(uint32_t address, uint32_t* value, nQVVUSKS100::tStatus* status) override;
  void readU64(uint32_t address, uint64_t* value, nQVVUSKS100::tStatus* status) override;
  void writeI8(uint32_t address, int8_t value, nQVVUSKS100::tStatus* status) override;
  void writeI16(uint32_t address, int16_t value, nQVVUSKS100::tStatus* status) override;
  void writeI32(uint32_t address, int32_t value, nQVVUSKS100::tStatus* status) override;
  void writeI64(uint32_t address, int64_t value, nQVVUSKS100::tStatus* status) override;
  void readBool(uint32_t address, bool* value, nQVVUSKS100::tStatus* status) override;
  void readI8(uint32_t address, int8_t* value, nQVVUSKS100::tStatus* status) override;
  void readI16(uint32_t address, int16_t* value, nQVVUSKS100::tStatus* status) override;
  void readI32(uint32_t address, int32_t* value, nQVVUSKS100::tStatus* status) override;
  void readI64(uint32_t address, int64_t* value, nQVVUSKS100::tStatus* status) override;
  bool hasFifo(const char* name) override;
  const qvkel::NamedFifo* findFifo(const char* name) override;
  void configureFifo(uint32_t fifo, uint64_t requestedDepth, uint64_t* actualDepth) override;
  void startFifo(uint32_t fifo) override;
  void stopFifo(uint32_t fifo) override;

 private:
  // Runs `body` unless the status already holds an error; whatever it raises goes into the
  // status. Returns whether it completed.
  template <typename F>
  bool access(nQVVUSKS100::tStatus* status, F&& body);

  qvkel::user::Session* session_;
  const std::shared_ptr<const qvkel::Bitfile>* bitfile_;
};

}  // namespace qvvandrel
