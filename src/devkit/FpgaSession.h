#pragma once
// The host's FPGA session: a thin boundary over one user session. Each operation checks that a
// session is open, leaves at once when the caller's status already holds an error, runs the
// user session's operation (register and array slots under the shared side of the FPGA's
// operation lock with the run check, here; the other slots inside the user session) and maps
// every exception into the caller's status, located at this file and the operation's line.

#include <cstdint>
#include <memory>
#include <type_traits>

#include "devkit/Session.h"
#include "devkit/SessionServices.h"
#include "qvkel/IFpgaSession.h"

namespace qvkel {

class DeviceInfo;

// An operation that needs an open session on one that has none.
inline constexpr int32_t kNoSession = -52010;

// Open attributes the session examines itself.
inline constexpr uint32_t kOpenFromFlash = 0x40000000;
inline constexpr uint32_t kOpenFlashImageBit = 0x20000000;
inline constexpr uint32_t kOpenKeepAttachment = 0x02000000;
// close: keep the close flag as it is.
inline constexpr uint32_t kCloseKeepFlag = 0x00000001;

class FpgaSession final : public IFpgaSession207 {
 public:
  static constexpr uint32_t kInterfaceVersion = 5;
  // The status location of a slot's boundary: this file and the slot's frozen line.
  static qverr::StatusLocation boundary(uint32_t slot);

  // Closed: no user session until `open`.
  FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory);
  FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
              std::unique_ptr<user::Session> session);
  ~FpgaSession() override;
  FpgaSession(const FpgaSession&) = delete;
  FpgaSession& operator=(const FpgaSession&) = delete;

  // Leaves one shared hold of the FPGA's operation lock.
  static void releaseOperationLock(ReaderWriterLock& lock) { lock.releaseRead(); }
  user::Session* userSession() const { return session_.get(); }

  uint32_t getInterfaceVersion() override { return kInterfaceVersion; }
  IFpgaSessionTraditional* openTraditionalSession(int32_t version, tStatus* s) override;
  IFpgaSession* clone(tStatus* s) override;
  void open(const char* bitfile, const char* resource, uint32_t attributes, tStatus* s) override;
  void release() override;
  void close(uint32_t attributes, tStatus* s) override;

  uint8_t readBool(uint32_t o, bool c, tStatus* s) override { return read<uint8_t>(6, o, c, s); }
  uint8_t readU8(uint32_t o, bool c, tStatus* s) override { return read<uint8_t>(7, o, c, s); }
  uint16_t readU16(uint32_t o, bool c, tStatus* s) override { return read<uint16_t>(8, o, c, s); }
  uint32_t readU32(uint32_t o, bool c, tStatus* s) override { return read<uint32_t>(9, o, c, s); }
  uint64_t readU64(uint32_t o, bool c, tStatus* s) override { return read<uint64_t>(10, o, c, s); }
  int8_t readI8(uint32_t o, bool c, tStatus* s) override { return read<int8_t>(11, o, c, s); }
  int16_t readI16(uint32_t o, bool c, tStatus* s) override { return read<int16_t>(12, o, c, s); }
  int32_t readI32(uint32_t o, bool c, tStatus* s) override { return read<int32_t>(13, o, c, s); }
  int64_t readI64(uint32_t o, bool c, tStatus* s) override { return read<int64_t>(14, o, c, s); }
  float readSgl(uint32_t o, bool c, tStatus* s) override { return read<float>(15, o, c, s); }
  double readDbl(uint32_t o, bool c, tStatus* s) override { return read<double>(16, o, c, s); }

  void writeBool(uint32_t o, uint8_t v, bool c, tStatus* s) override { write(17, o, v, c, s); }
  void writeU8(uint32_t o, uint8_t v, bool c, tStatus* s) override { write(18, o, v, c, s); }
  void writeU16(uint32_t o, uint16_t v, bool c, tStatus* s) override { write(19, o, v, c, s); }
  void writeU32(uint32_t o, uint32_t v, bool c, tStatus* s) override { write(20, o, v, c, s); }
  void writeU64(uint32_t o, uint64_t v, bool c, tStatus* s) override { write(21, o, v, c, s); }
  void writeI8(uint32_t o, int8_t v, bool c, tStatus* s) override { write(22, o, v, c, s); }
  void writeI16(uint32_t o, int16_t v, bool c, tStatus* s) override { write(23, o, v, c, s); }
  void writeI32(uint32_t o, int32_t v, bool c, tStatus* s) override { write(24, o, v, c, s); }
  void writeI64(uint32_t o, int64_t v, bool c, tStatus* s) override { write(25, o, v, c, s); }
  void writeSgl(uint32_t o, float v, bool c, tStatus* s) override { write(26, o, v, c, s); }
  void writeDbl(uint32_t o, double v, bool c, tStatus* s) override { write(27, o, v, c, s); }

  void readArrayBool(uint32_t o, uint8_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(28, kBool, o, e, n, c, s);
  }
  void readArrayU8(uint32_t o, uint8_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(29, kNumber, o, e, n, c, s);
  }
  void readArrayU16(uint32_t o, uint16_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(30, kNumber, o, e, n, c, s);
  }
  void readArrayU32(uint32_t o, uint32_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(31, kNumber, o, e, n, c, s);
  }
  void readArrayU64(uint32_t o, uint64_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(32, kNumber, o, e, n, c, s);
  }
  void readArrayI8(uint32_t o, int8_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(33, kNumber, o, e, n, c, s);
  }
  void readArrayI16(uint32_t o, int16_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(34, kNumber, o, e, n, c, s);
  }
  void readArrayI32(uint32_t o, int32_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(35, kNumber, o, e, n, c, s);
  }
  void readArrayI64(uint32_t o, int64_t* e, uint64_t n, bool c, tStatus* s) override {
    readArray(36, kNumber, o, e, n, c, s);
  }
  void readArraySgl(uint32_t o, float* e, uint64_t n, bool c, tStatus* s) override {
    readArray(37, kNumber, o, e, n, c, s);
  }
  void readArrayDbl(uint32_t o, double* e, uint64_t n, bool c, tStatus* s) override {
    readArray(38, kNumber, o, e, n, c, s);
  }

  void writeArrayBool(uint32_t o, const uint8_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(39, kBool, o, e, n, c, s);
  }
  void writeArrayU8(uint32_t o, const uint8_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(40, kNumber, o, e, n, c, s);
  }
  void writeArrayU16(uint32_t o, const uint16_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(41, kNumber, o, e, n, c, s);
  }
  void writeArrayU32(uint32_t o, const uint32_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(42, kNumber, o, e, n, c, s);
  }
  void writeArrayU64(uint32_t o, const uint64_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(43, kNumber, o, e, n, c, s);
  }
  void writeArrayI8(uint32_t o, const int8_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(44, kNumber, o, e, n, c, s);
  }
  void writeArrayI16(uint32_t o, const int16_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(45, kNumber, o, e, n, c, s);
  }
  void writeArrayI32(uint32_t o, const int32_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(46, kNumber, o, e, n, c, s);
  }
  void writeArrayI64(uint32_t o, const int64_t* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(47, kNumber, o, e, n, c, s);
  }
  void writeArraySgl(uint32_t o, const float* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(48, kNumber, o, e, n, c, s);
  }
  void writeArrayDbl(uint32_t o, const double* e, uint64_t n, bool c, tStatus* s) override {
    writeArray(49, kNumber, o, e, n, c, s);
  }

  void download(bool* failed, tStatus* s) override;
  void reset(tStatus* s) override;
  void abort(tStatus* s) override;
  void run(uint32_t attributes, bool* alreadyRunning, tStatus* s) override;
  void sendIrqCommand831E(tStatus* s) override;
  void sendIrqCommand831F(tStatus* s) override;
  uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeoutMs, bool* timedOut, tStatus* s) override;
  void acknowledgeIrqs(uint32_t irqs, tStatus* s) override;
  void configureFifo(uint32_t fifo, uint64_t requestedDepth, uint64_t* actualDepth,
                     tStatus* s) override;
  void startFifo(uint32_t fifo, tStatus* s) override;
  void stopFifo(uint32_t fifo, tStatus* s) override;

#define QVKEL_FIFO_SLOTS(Name, T, Descriptor, ReadSlot)                                            \
  void readFifo##Name(uint32_t f, T* e, uint64_t n, uint32_t t, bool* to, uint64_t* r, tStatus* s) \
      override {                                                                                   \
    readFifo(ReadSlot, Descriptor(), f, e, n, t, to, r, s);                                        \
  }                                                                                                \
  void writeFifo##Name(uint32_t f, const T* e, uint64_t n, uint32_t t, bool* to, uint64_t* r,      \
                       tStatus* s) override {                                                      \
    writeFifo(ReadSlot + 11, Descriptor(), f, e, n, t, to, r, s);                                  \
  }                                                                                                \
  void acquireFifoReadElements##Name(uint32_t f, T** e, uint64_t n, uint32_t t, bool* to,          \
                                     uint64_t* a, uint64_t* r, tStatus* s) override {              \
    acquire(ReadSlot + 22, false, Descriptor(), f, reinterpret_cast<void**>(e), n, t, to, a, r,    \
            s);                                                                                    \
  }                                                                                                \
  void acquireFifoWriteElements##Name(uint32_t f, T** e, uint64_t n, uint32_t t, bool* to,         \
                                      uint64_t* a, uint64_t* r, tStatus* s) override {             \
    acquire(ReadSlot + 33, true, Descriptor(), f, reinterpret_cast<void**>(e), n, t, to, a, r, s); \
  }
  QVKEL_FIFO_SLOTS(Bool, uint8_t, TypeBool, 61)
  QVKEL_FIFO_SLOTS(U8, uint8_t, TypeU8, 62)
  QVKEL_FIFO_SLOTS(U16, uint16_t, TypeU16, 63)
  QVKEL_FIFO_SLOTS(U32, uint32_t, TypeU32, 64)
  QVKEL_FIFO_SLOTS(U64, uint64_t, TypeU64, 65)
  QVKEL_FIFO_SLOTS(I8, int8_t, TypeI8, 66)
  QVKEL_FIFO_SLOTS(I16, int16_t, TypeI16, 67)
  QVKEL_FIFO_SLOTS(I32, int32_t, TypeI32, 68)
  QVKEL_FIFO_SLOTS(I64, int64_t, TypeI64, 69)
  QVKEL_FIFO_SLOTS(Sgl, float, TypeSgl, 70)
  QVKEL_FIFO_SLOTS(Dbl, double, TypeDbl, 71)
#undef QVKEL_FIFO_SLOTS

  void releaseFifoElements(uint32_t fifo, uint64_t count, tStatus* s) override;
  const char* getBitfileContents(tStatus* s) override;
  void unsupportedRequest(uint64_t a, uint64_t b, uint64_t c, tStatus* s) override;
  void getBitfileSignature(uint32_t* words, uint64_t* count, tStatus* s) override;
  void findRegister(const char* name, uint32_t defaultValue, uint32_t* offset, tStatus* s) override;
  void findFifo(const char* name, uint32_t defaultValue, uint32_t* number, tStatus* s) override;
  void getPeerToPeerEndpoint(uint32_t fifo, uint32_t* endpoint, tStatus* s) override;
  void invoke(uint32_t kind, uint32_t code, uint64_t arg1, uint64_t arg2, uint64_t arg3,
              uint64_t arg4, tStatus* s) override;

  void setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, const void* value,
                       uint64_t valueSize, tStatus* s) override;
  void getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                       uint64_t valueSize, tStatus* s) override;
  void commitFifoConfiguration(uint32_t fifo, tStatus* s) override;
  uint32_t getFpgaState(tStatus* s) override;
  void readFifoComposite(uint32_t fifo, void* elements, uint32_t elementBytes, uint64_t count,
                         uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                         tStatus* s) override;
  void writeFifoComposite(uint32_t fifo, const void* elements, uint32_t elementBytes,
                          uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                          tStatus* s) override;
  void acquireFifoReadElementsComposite(uint32_t fifo, void** elements, uint32_t elementBytes,
                                        uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                        uint64_t* acquired, uint64_t* remaining,
                                        tStatus* s) override;
  void acquireFifoWriteElementsComposite(uint32_t fifo, void** elements, uint32_t elementBytes,
                                         uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                         uint64_t* acquired, uint64_t* remaining,
                                         tStatus* s) override;
  uint32_t constantTrueQuery() override {
    return 1;
  }
  void acquireFifoReadRegion(uint32_t fifo, uint64_t* region, void** elements, bool isSigned,
                             uint32_t elementBytes, uint64_t count, uint32_t timeoutMs,
                             bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                             tStatus* s) override;
  void acquireFifoWriteRegion(uint32_t fifo, uint64_t* region, void** elements, bool isSigned,
                              uint32_t elementBytes, uint64_t count, uint32_t timeoutMs,
                              bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                              tStatus* s) override;
  void releaseFifoRegion(uint32_t fifo, uint64_t region, tStatus* s) override;
  void unconfigureFifo(uint32_t fifo, tStatus* s) override;
  void openPeerToPeerFifoBuffer(uint32_t fifo, uint64_t* first, uint64_t* second, void** context,
                                PeerToPeerCleanupCallback* cleanup, tStatus* s) override;
  void getHmbRegion(const char* name, uint64_t* size, void** address, void** context,
                    HmbCleanupCallback* cleanup, tStatus* s) override;
  void openHmbLlb(const char* name, uint64_t* bufferSize, void** bufferAddress,
                  void** bufferContext, HmbCleanupCallback* bufferCleanup, uint64_t* pageSize,
                  void** pageAddress, void** pageContext, HmbCleanupCallback* pageCleanup,
                  tStatus* s) override;

 private:
  // How the elements of a register array move: Bool elements are bits, others whole values.
  enum ArrayKind : uint8_t { kNumber, kBool };

  // The frame: no session -52010; an error already in the status returns `failed`; otherwise
  // `body(session)` under the boundary map. The result of a failed body is `failed`.
  template <typename R, typename F>
  R framed(uint32_t slot, tStatus* status, R failed, F&& body);
  template <typename F>
  void framed(uint32_t slot, tStatus* status, F&& body);

  template <typename T>
  T read(uint32_t slot, uint32_t offset, bool checkAccess, tStatus* status);
  template <typename T>
  void write(uint32_t slot, uint32_t offset, T value, bool checkAccess, tStatus* status);
  template <bool Write, typename T>
  using ArrayPointer = std::conditional_t<Write, const T*, T*>;
  template <bool Write, typename T>
  void transferArray(uint32_t slot, ArrayKind kind, uint32_t offset,
                     ArrayPointer<Write, T> elements, uint64_t count, bool checkAccess,
                     tStatus* status);
  template <typename T>
  void readArray(uint32_t slot, ArrayKind kind, uint32_t offset, T* elements, uint64_t count,
                 bool checkAccess, tStatus* status) {
    transferArray<false, T>(slot, kind, offset, elements, count, checkAccess, status);
  }
  template <typename T>
  void writeArray(uint32_t slot, ArrayKind kind, uint32_t offset, const T* elements, uint64_t count,
                  bool checkAccess, tStatus* status) {
    transferArray<true, T>(slot, kind, offset, elements, count, checkAccess, status);
  }

  void readFifo(uint32_t slot, const Type& type, uint32_t fifo, void* elements, uint64_t count,
                uint32_t timeoutMs, bool* timedOut, uint64_t* remaining, tStatus* status);
  void writeFifo(uint32_t slot, const Type& type, uint32_t fifo, const void* elements,
                 uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                 tStatus* status);
  void acquire(uint32_t slot, bool forWriting, const Type& type, uint32_t fifo, void** elements,
               uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
               uint64_t* remaining, tStatus* status);
  void acquireRegion(uint32_t slot, bool forWriting, uint32_t fifo, uint64_t* region,
                     void** elements, bool isSigned, uint32_t elementBytes, uint64_t count,
                     uint32_t timeoutMs, bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                     tStatus* status);

  std::shared_ptr<const DeviceInfo> device_;
  ISessionFactory* factory_;
  std::unique_ptr<user::Session> session_;
};

// Destroys a session object through its deleting destructor; nothing for null. The check
// lives outside the member functions, where `this` could not be null.
void releaseFpgaSession(IFpgaSession* session);

}  // namespace qvkel
