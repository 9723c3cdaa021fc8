#pragma once
// FPGA registers as the features see them: a register object carries the address that the
// session's transport resolved from the register's name in the bitfile, and moves its value
// through that transport. The transport itself belongs to the session; features only know
// this interface.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/errors/Status.h"

namespace qvkel {
class NamedFifo;
}  // namespace qvkel

namespace qvisl {

// The part of a register object that the transport reads and writes.
struct RegisterRecord {
  static constexpr std::size_t kNameSize = 64;  // 63 characters and the terminating zero
  // Bits 30..0 the byte offset; bit 31 asks for the bus-status check after every access.
  static constexpr std::uint32_t kCheckBit = 0x80000000;

  std::uint32_t address = 0;  // 0 until resolved
  std::uint8_t nameInline = 1;
  char name[kNameSize] = {};
  const char* externalName = nullptr;

  // Keeps at most 63 characters of `text` (null: the empty name).
  void setName(const char* text);
  const char* registerName() const { return nameInline ? name : externalName; }
  std::uint32_t offset() const { return address & ~kCheckBit; }
  bool checksBusStatus() const { return (address & kCheckBit) != 0; }
};

// A register name printed from a format with its instance numbers ("%d", "%u"), cut to the 63
// characters a register record keeps.
struct RegisterName {
  template <typename First, typename... Rest>
  RegisterName(const char* format, First first, Rest... rest) {
    std::snprintf(text, sizeof text, format, first, rest...);
  }
  char text[RegisterRecord::kNameSize];
};

// The operations of a register transport, in their fixed order. Every typed access takes the
// register's address word and a status record; it does nothing when the status already holds
// an error, and leaves its own failure in the status instead of raising. 8- and 16-bit values
// move as one 32-bit word whose low bits count. The FIFO operations raise.
template <typename Status>
class TransportInterfaceTemplate {
 public:
  // Looks the record's name up and stores the register's address word in the record.
  virtual void resolveRegister(RegisterRecord& reg, Status* status) = 0;
  virtual void writeBool(std::uint32_t address, bool value, Status* status) = 0;
  virtual void writeU8(std::uint32_t address, std::uint8_t value, Status* status) = 0;
  virtual void writeU16(std::uint32_t address, std::uint16_t value, Status* status) = 0;
  virtual void writeU32(std::uint32_t address, std::uint32_t value, Status* status) = 0;
  // One 64-bit element in one block transfer.
  virtual void writeU64(std::uint32_t address, std::uint64_t value, Status* status) = 0;
  // On failure *value is unchanged.
  virtual void readU8(std::uint32_t address, std::uint8_t* value, Status* status) = 0;
  virtual void readU16(std::uint32_t address, std::uint16_t* value, Status* status) = 0;
  virtual void readU32(std::uint32_t address, std::uint32_t* value, Status* status) = 0;
  virtual void readU64(std::uint32_t address, std::uint64_t* value, Status* status) = 0;
  virtual void writeI8(std::uint32_t address, std::int8_t value, Status* status) = 0;
  virtual void writeI16(std::uint32_t address, std::int16_t value, Status* status) = 0;
  virtual void writeI32(std::uint32_t address, std::int32_t value, Status* status) = 0;
  // Two 32-bit words, the high word first.
  virtual void writeI64(std::uint32_t address, std::int64_t value, Status* status) = 0;
  // True for any non-zero byte; a failed read gives false.
  virtual void readBool(std::uint32_t address, bool* value, Status* status) = 0;
  virtual void readI8(std::uint32_t address, std::int8_t* value, Status* status) = 0;
  virtual void readI16(std::uint32_t address, std::int16_t* value, Status* status) = 0;
  virtual void readI32(std::uint32_t address, std::int32_t* value, Status* status) = 0;
  virtual void readI64(std::uint32_t address, std::int64_t* value, Status* status) = 0;
  // Whether exactly one DMA FIFO of the bitfile has that name.
  virtual bool hasFifo(const char* name) = 0;
  // The one DMA FIFO of that name, valid as long as the session holds its bitfile; none or
  // several raise -52006.
  virtual const qvkel::NamedFifo* findFifo(const char* name) = 0;
  virtual void configureFifo(std::uint32_t fifo, std::uint64_t requestedDepth,
                             std::uint64_t* actualDepth) = 0;
  virtual void startFifo(std::uint32_t fifo) = 0;
  virtual void stopFifo(std::uint32_t fifo) = 0;
  virtual ~TransportInterfaceTemplate() = default;
};

using StatusTransport = TransportInterfaceTemplate<nQVVUSKS100::tStatus>;

// The transport operations of one value type.
template <typename T>
struct TransportAccess;
template <auto Write, auto Read>
struct TransportAccessOf {
  static constexpr auto write = Write;
  static constexpr auto read = Read;
};
template <>
struct TransportAccess<bool>
    : TransportAccessOf<&StatusTransport::writeBool, &StatusTransport::readBool> {};
template <>
struct TransportAccess<unsigned char>
    : TransportAccessOf<&StatusTransport::writeU8, &StatusTransport::readU8> {};
template <>
struct TransportAccess<unsigned short>
    : TransportAccessOf<&StatusTransport::writeU16, &StatusTransport::readU16> {};
template <>
struct TransportAccess<unsigned int>
    : TransportAccessOf<&StatusTransport::writeU32, &StatusTransport::readU32> {};
template <>
struct TransportAccess<unsigned long>
    : TransportAccessOf<&StatusTransport::writeU64, &StatusTransport::readU64> {};
template <>
struct TransportAccess<signed char>
    : TransportAccessOf<&StatusTransport::writeI8, &StatusTransport::readI8> {};
template <>
struct TransportAccess<short>
    : TransportAccessOf<&StatusTransport::writeI16, &StatusTransport::readI16> {};
template <>
struct TransportAccess<int>
    : TransportAccessOf<&StatusTransport::writeI32, &StatusTransport::readI32> {};
template <>
struct TransportAccess<long>
    : TransportAccessOf<&StatusTransport::writeI64, &StatusTransport::readI64> {};

template <typename T, typename Status>
class RegisterInterface {
 public:
  virtual void write(const T& value, Status* status) = 0;
  virtual T read(Status* status) = 0;
  virtual ~RegisterInterface() = default;
};

// Raises -52006 for an access through a register whose name did not resolve.
[[noreturn]] void raiseUnresolvedRegister();

// One named register of value type T. Its name is resolved through the transport once; a
// register whose name did not resolve refuses every access with -52006, so that it never
// touches the address 0. Accesses do nothing when the status already holds an error, and
// raise a failure they leave in the status.
template <typename T, typename Transport>
class Register : public RegisterInterface<T, nQVVUSKS100::tStatus> {
 public:
  // Not resolved yet.
  Register(Transport* transport, const char* name) : transport_(transport) {
    record_.setName(name);
  }
  // Resolved at once, the outcome going into `status` (nothing is looked up when it already
  // holds an error; the register then counts as unresolved).
  Register(Transport* transport, const char* name, nQVVUSKS100::tStatus* status)
      : Register(transport, name) {
    resolve(status);
  }

  void resolve(nQVVUSKS100::tStatus* status) {
    transport_->resolveRegister(record_, status);
    resolved_ = !status->isError();
  }

  void write(const T& value, nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return;
    if (!resolved_) raiseUnresolvedRegister();
    (transport_->*TransportAccess<T>::write)(record_.address, value, status);
    if (status->isError()) qverr::throwRecord(*status);
  }
  // The type's zero when the status already holds an error.
  T read(nQVVUSKS100::tStatus* status) override {
    T value{};
    if (status->isError()) return value;
    if (!resolved_) raiseUnresolvedRegister();
    (transport_->*TransportAccess<T>::read)(record_.address, &value, status);
    if (status->isError()) qverr::throwRecord(*status);
    return value;
  }

  bool isResolved() const { return resolved_; }
  const char* name() const { return record_.registerName(); }
  std::uint32_t address() const { return record_.address; }
  Transport* transport() const { return transport_; }

 private:
  Transport* transport_;
  RegisterRecord record_;
  bool resolved_ = false;
};

}  // namespace qvisl

namespace qvvandrel {

// The session's register transport (the session transport implements it).
class SessionTransportInterface : public qvisl::TransportInterfaceTemplate<nQVVUSKS100::tStatus> {};

}  // namespace qvvandrel
