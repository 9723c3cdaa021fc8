#pragma once
// One client's handle on an FPGA: it attaches its bitfile to the FPGA object when it is made,
// and offers the primitives the host-facing sessions are built from: register access with the
// optional bus-status check, download, run, abort and reset, interrupts, and the host-memory-
// buffer operations. Register, interrupt and host-memory primitives run under the shared side
// of the FPGA's operation lock; download, reset, abort and the opening take its exclusive side.
// A FIFO or interrupt wait, an endless one included, holds the shared side until it returns, so
// a download, reset or abort queued meanwhile runs only after it; while it waits it is parked,
// so that later shared operations (the release or register write it may wait for) pass the
// queued one.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "devkit/Fpga.h"
#include "devkit/IoAccessor.h"
#include "devkit/SessionServices.h"

namespace qvkel::user {

// The FPGA must run for this operation and could not be started.
inline constexpr int32_t kFpgaNotRunning = -61214;
inline constexpr int32_t kCloseFlagWithImplicitEnable = -61213;
inline constexpr int32_t kCloseFlagResetUnsupported = -61253;
inline constexpr int32_t kNoInterruptRegister = -52010;

class Session {
 public:
  static constexpr uint32_t kRestricted = 0x01000000;
  // An address's bit 31 asks for the bus-status check after the access.
  static constexpr uint32_t kCheckBit = 0x80000000;
  static constexpr uint32_t kWaitForever = 0xFFFFFFFF;
  static constexpr uint32_t kIrqSliceMs = 100;

  using HmbCleanup = void (*)(void* context);
  using PeerToPeerCleanup = void (*)(void* context, uint32_t key);

  // Attaches the bitfile to the FPGA (flags and the expected signature text `name` as the FPGA
  // object takes them), then has the host-memory-buffer manager read the bitfile's section.
  Session(std::shared_ptr<Fpga> fpga, std::shared_ptr<Fpga::Proxy> interface,
          IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
          std::shared_ptr<IAttributeHandler> attributeHandler,
          std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
          const char* name, uint32_t options);
  // Leaves every FIFO, releases the host-memory-buffer manager and closes the kernel session
  // (0x830B) when this session opened them.
  virtual ~Session();
  Session& operator=(const Session&) = delete;

  // A copy on the same FPGA that cannot download, reset, clone, run, abort or use interrupts;
  // -63193 on a copy.
  virtual std::unique_ptr<Session> clone();
  // Sends the bitstream (0x830C) under the exclusive lock, marks every FIFO stopped and returns
  // whether the FPGA runs.
  virtual bool download(const uint8_t* bytes, size_t size);
  virtual void reset();
  // Peer-to-peer operations: refused (-63193) by this session.
  virtual void getP2PEndpointId(uint32_t fifo, uint32_t* endpoint);
  virtual uint32_t queryFifoValue(uint32_t fifo);
  virtual void mapP2PSink(uint32_t fifo, uint64_t* first, uint64_t* second, void** context,
                          PeerToPeerCleanup* cleanup);
  // Host memory buffers, under the shared lock.
  virtual void getHmbRegion(const char* name, uint64_t* size, void** address, void** context,
                            HmbCleanup* cleanup);
  virtual void openHmbLlb(const char* name, uint64_t* bufferSize, void** bufferAddress,
                          void** bufferContext, HmbCleanup* bufferCleanup, uint64_t* pageSize,
                          void** pageAddress, void** pageContext, HmbCleanup* pageCleanup);
  // The host-memory-buffer request: kind, the flag (code), input, input size, output, output
  // size. Sessions of the device generation serve their own requests here instead.
  virtual void invoke(uint32_t kind, uint32_t code, uint64_t arg1, uint64_t arg2, uint64_t arg3,
                      uint64_t arg4);

  // Register primitives. `address` is the offset in its low 31 bits, bit 31 asks for the bus-
  // status check. Shared lock and, with implicit enable removal, the run check. 8- and 16-bit
  // values move as one 32-bit word; 64-bit values as two words, the high word first.
  uint8_t readU8(uint32_t address);
  uint16_t readU16(uint32_t address);
  uint32_t readU32(uint32_t address);
  uint64_t readU64(uint32_t address);
  int64_t readI64(uint32_t address);
  void writeU8(uint32_t address, uint8_t value);
  void writeU16(uint32_t address, uint16_t value);
  void writeU32(uint32_t address, uint32_t value);
  void writeU64(uint32_t address, uint64_t value);
  void writeI64(uint32_t address, int64_t value);

  // Through the FPGA's accessor, without lock or check: the caller holds the lock.
  uint32_t accessorRead32(uint32_t offset);
  void accessorWrite32(uint32_t offset, uint32_t value);
  void accessorReadBlock(uint32_t offset, void* buffer, uint64_t bytes, uint32_t accessWidth,
                         uint32_t flags);
  void accessorWriteBlock(uint32_t offset, const void* buffer, uint64_t bytes, uint32_t accessWidth,
                          uint32_t flags);
  const ReadWriteBlockHelpers& blocks() const { return blocks_; }

  void run(uint32_t flags = 0, bool* alreadyRunning = nullptr);
  void abort();
  bool downloadFromBitfile();
  uint32_t getFpgaState();
  // The attached design's text without bitstream; it lives as long as the FPGA keeps the design.
  const char* getBitfileXml() const;
  // -52005 (with *count set to 4) when there is room for fewer than four words.
  void getSignature(uint32_t* words, uint64_t* count) const;
  // defaultValue must be -1 (0xFFFFFFFF; else *out = 0 and -52005); *out = the register's
  // offset or the FIFO's number, or -1 when the bitfile has no one record of that name.
  void findRegisterOffset(const char* name, uint32_t defaultValue, uint32_t* out) const;
  void findFifoNumber(const char* name, uint32_t defaultValue, uint32_t* out) const;
  void setCloseFlag(bool closeFlag);

  // DMA FIFO primitives: the FIFO of that channel (-52005 when it has none), under the shared
  // lock with the run check, this session recorded as a user. Read, write and acquire zero
  // *remaining first.
  void configureFifo(uint32_t fifo, uint64_t requestedDepth, uint64_t* actualDepth);
  void commitFifo(uint32_t fifo);
  void startFifo(uint32_t fifo);
  void stopFifo(uint32_t fifo);
  void unconfigureFifo(uint32_t fifo);
  void readFifo(const Type& type, uint32_t fifo, void* elements, uint64_t count, uint32_t timeoutMs,
                bool* timedOut, uint64_t* remaining);
  void writeFifo(const Type& type, uint32_t fifo, const void* elements, uint64_t count,
                 uint32_t timeoutMs, bool* timedOut, uint64_t* remaining);
  void acquireFifoReadElements(const Type& type, uint32_t fifo, void** elements, uint64_t count,
                               uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                               uint64_t* remaining);
  void acquireFifoWriteElements(const Type& type, uint32_t fifo, void** elements, uint64_t count,
                                uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                uint64_t* remaining);
  void acquireFifoReadRegion(const Type& type, uint32_t fifo, uint64_t* region, void** elements,
                             uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                             uint64_t* remaining);
  void acquireFifoWriteRegion(const Type& type, uint32_t fifo, uint64_t* region, void** elements,
                              uint64_t count, uint32_t timeoutMs, bool* timedOut,
                              uint64_t* acquired, uint64_t* remaining);
  void releaseFifoElements(uint32_t fifo, uint64_t count);
  void releaseFifoRegion(uint32_t fifo, uint64_t region);
  // Type codes 0 pointer, 1 u32, 2 u64, 3 i32, 4 i64 (others -63193); a restricted session may
  // not use code 0 (-63193).
  void setFifoProperty(uint32_t fifo, uint32_t id, uint32_t typeCode, const void* value);
  void getFifoProperty(uint32_t fifo, uint32_t id, uint32_t typeCode, void* value);

  // Interrupts: refused on a copy; shared lock and run check.
  void acknowledgeIrq(uint32_t irqs);
  // An endless timeout waits in 100 ms kernel calls until the kernel reports no time-out; a
  // download, reset or abort queued meanwhile waits until the wait returns.
  uint32_t waitOnIrq(uint32_t irqs, uint32_t timeoutMs, bool* timedOut);
  void sendIrqCommand831E();
  void sendIrqCommand831F();

  // Takes the shared side of the FPGA's lock for `body` and, when `runCheck`, makes the run
  // check first: the frame of the FIFO, interrupt and property primitives.
  template <typename F>
  decltype(auto) underSharedLock(bool runCheck, F&& body) {
    SharedLock shared(*lock_);
    if (runCheck) ensureFpgaRunning();
    return body();
  }
  // With implicit enable removal and the FPGA idle, checks its state; still idle: -61214.
  void ensureFpgaRunning();

  Fpga& fpga() const { return *fpga_; }
  const Fpga::BitfileState& bitfileState() const { return *bitfileState_; }
  bool isCopy() const { return isCopy_; }
  bool isRestricted() const { return restricted_; }
  bool hmbPresent() const { return hmbPresent_; }
  // This session's token for the FIFOs and the kernel session.
  uint64_t token() const { return reinterpret_cast<uint64_t>(this); }
  const KernelSession& kernelSession() const { return kernelSession_; }

 protected:
  // The clone: same FPGA, interface, lock, bitfile state and run-state word; a copy that holds
  // no kernel session and no use of the host-memory-buffer manager.
  Session(const Session& other);
  // Refuses on a copy with -63193.
  void refuseOnCopy() const;
  const std::shared_ptr<Fpga>& sharedFpga() const { return fpga_; }
  // The kernel proxy, which also maps the device node's regions.
  const std::shared_ptr<Fpga::Proxy>& interfaceProxy() const { return interface_; }

 private:
  // What the destructor undoes; also run when construction fails half-way.
  void teardown() noexcept;
  template <typename F>
  decltype(auto) registerAccess(uint32_t address, F&& body);
  // The FIFO primitives' frame: shared lock, run check, the FIFO of the channel.
  template <typename F>
  void withFifo(uint32_t fifo, F&& body);
  FifoPropertyValueType propertyType(uint32_t typeCode) const;

  std::shared_ptr<Fpga> fpga_;
  std::shared_ptr<Fpga::Proxy> interface_;
  KernelSession kernelSession_;
  bool isCopy_ = false;
  bool restricted_ = false;
  ReaderWriterLock* lock_;
  const Fpga::BitfileState* bitfileState_ = nullptr;
  bool hmbPresent_ = false;
  const std::atomic<uint32_t>* fpgaRunning_;
  // The accessor the block helper uses: a later session's attachment replaces the FPGA's.
  std::shared_ptr<IIoAccessor> accessor_;
  ReadWriteBlockHelpers blocks_;
};

}  // namespace qvkel::user
