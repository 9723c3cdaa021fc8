#pragma once
// The run-time object of one DMA channel: configure, start, stop, read, write, acquire in place
// and release, properties. Every wait for data or space goes through one loop that cuts endless
// waits into slices and restarts the FIFO once when the kernel reports its session gone.
// Element movement is the data-access strategy's; the buffer is the property manager's.
//
// Every operation holds the FIFO's mutex for its whole run (a wait releases it while it waits
// for released space). Callers hold the shared side of the FPGA's operation lock; operations
// that change the FPGA as a whole hold its exclusive side, so none overlaps them. A wait, an
// endless one included, keeps the shared side until it returns, so such an operation queued
// meanwhile runs only after it; the caller hands the lock in so that the wait can park it.

#include <cstdint>
#include <memory>
#include <set>

#include "devkit/DmaChannels.h"
#include "devkit/ElementType.h"
#include "devkit/FifoDataAccessStrategy.h"
#include "devkit/FifoPropertyManager.h"
#include "devkit/ReaderWriterLock.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

// Value types of the property access by type code.
enum class FifoPropertyValueType : uint32_t {
  VoidPtr = 0,
  U32 = 1,
  U64 = 2,
  I32 = 3,
  I64 = 4,
};

class Fifo : public NamedFifo {
 public:
  // A timeout without end; such waits run in slices and never report a time-out.
  static constexpr uint32_t kWaitForever = 0xFFFFFFFF;
  static constexpr uint32_t kEndlessWaitSliceMs = 3000;
  static constexpr uint32_t kDefaultRegionSlots = 512;

  // One call's arguments carried into the wait loop.
  class IFifoAccessOperation {
   public:
    virtual ~IFifoAccessOperation() = default;
    virtual void perform(IFifoDataAccessStrategy& strategy, uint32_t timeoutMs, bool* timedOut,
                         nQVVUSKS100::tStatus* status) = 0;
  };

  // A target-to-host or host-to-target channel of the bitfile (-52005 for any other kind,
  // -52003 for an element type or size of 0). `sessionHandle` goes with every kernel call.
  Fifo(const NamedFifo& channel,
       std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface,
       uint64_t sessionHandle, int32_t numaNode, int32_t highestNumaNode);
  // Frees the kernel's side of the channel; a library buffer goes with the properties.
  ~Fifo() override;
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  // Tokens identify the sessions using the FIFO; 0 records nothing.

  // Stops a started FIFO, asks for the depth and commits; -61072 for 0 or a depth above what
  // the properties give, -63083 while elements are held.
  void configure(uint64_t requestedDepth, uint64_t* actualDepth, uint64_t token);
  void start(uint64_t token);
  // -63083 while elements are held.
  void stop();
  // Forgets that the FIFO runs without telling the kernel: the kernel or the device already
  // stopped it.
  void markStopped();

  // All or nothing; a stopped FIFO is started first. Read-side calls refuse a host-to-target
  // FIFO and write-side calls a target-to-host one (-52005); `type` must describe the FIFO's
  // elements (-52005) unless they are Boolean, fixed-point, single or double; elements to move
  // need a buffer (-52005). `held` is the FPGA's operation lock when the caller holds its shared
  // side: the wait parks it for as long as it runs, so that the thread that would end the wait
  // (a release, a register write that makes the design move data) passes a queued writer.
  void read(const Type& type, void* elements, uint64_t count, uint32_t timeoutMs, bool* timedOut,
            uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held = nullptr);
  void write(const Type& type, const void* elements, uint64_t count, uint32_t timeoutMs,
             bool* timedOut, uint64_t* remaining, uint64_t token,
             ReaderWriterLockBase* held = nullptr);
  // Elements in place, released later by count; -63083 while regions are outstanding.
  void acquireRead(const Type& type, void** elements, uint64_t count, uint32_t timeoutMs,
                   bool* timedOut, uint64_t* acquired, uint64_t* remaining, uint64_t token,
                   ReaderWriterLockBase* held = nullptr);
  void acquireWrite(const Type& type, void** elements, uint64_t count, uint32_t timeoutMs,
                    bool* timedOut, uint64_t* acquired, uint64_t* remaining, uint64_t token,
                    ReaderWriterLockBase* held = nullptr);
  // Elements in place, released later by the region handle; -63083 while elements of a plain
  // acquire are held, -63088 when every region slot is outstanding.
  void acquireReadRegion(const Type& type, uint64_t* region, void** elements, uint64_t count,
                         uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                         uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held = nullptr);
  void acquireWriteRegion(const Type& type, uint64_t* region, void** elements, uint64_t count,
                          uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                          uint64_t* remaining, uint64_t token,
                          ReaderWriterLockBase* held = nullptr);
  void releaseElements(uint64_t count);
  // Regions go back to the hardware in acquisition order: a later region released first stays
  // held until every earlier one is released. -52005 for a handle that is not outstanding.
  void releaseRegion(uint64_t region);

  // Property access by value type (-63193 for another type code); setting refuses while the
  // FIFO runs (-63086).
  void setProperty(uint32_t id, FifoPropertyValueType type, const void* value);
  void getProperty(uint32_t id, FifoPropertyValueType type, void* value);
  void commitProperties(uint64_t token);
  // Stops, returns the properties to their defaults, forgets every user and frees the kernel's
  // side.
  void unconfigure();
  // The last user leaving stops the FIFO and releases its buffers. Never raises.
  void detachUser(uint64_t token) noexcept;

  bool isStarted();
  bool hasUser(uint64_t token);
  uint32_t getElementSize() const { return elementSize_; }

 private:
  enum class Side { Read, Write };
  struct RegionRing;

  void noteUser(uint64_t token);
  void checkAccess(Side side, const Type& type) const;
  void startLocked();
  void stopLocked();
  void waitLoop(IFifoAccessOperation& operation, uint32_t timeoutMs, bool* timedOut,
                ReaderWriterLockBase* held);
  void acquirePlain(Side side, const Type& type, void** elements, uint64_t count,
                    uint32_t timeoutMs, bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                    uint64_t token, ReaderWriterLockBase* held);
  void acquireRegion(Side side, const Type& type, uint64_t* region, void** elements, uint64_t count,
                     uint32_t timeoutMs, bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                     uint64_t token, ReaderWriterLockBase* held);
  void releaseAndCheck(uint64_t count);

  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface_;
  uint64_t sessionHandle_;
  uint32_t elementSize_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex opMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent spaceEvent_;
  bool started_ = false;
  FifoAcquirerReleaserInterfaceProxy acquirerReleaser_;
  FifoDataAccessStrategyKestin strategy_;
  FifoPropertyManager properties_;
  std::unique_ptr<RegionRing> regionRing_;
  std::set<uint64_t> users_;
};

}  // namespace qvkel
