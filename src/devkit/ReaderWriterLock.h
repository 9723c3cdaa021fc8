#pragma once
// The FPGA's operation lock: shared by every register, FIFO and interrupt operation, exclusive
// for the operations that change the FPGA as a whole. Writers are preferred: once a writer has
// arrived no new reader gets in, and the writer waits only for the readers already inside.
// One exception: while a reader inside is parked (a FIFO or interrupt wait, for as long as it
// waits), later readers still get in. The writer has to wait for the parked reader anyway, and a
// later reader may be what that reader waits for: the release of held elements, or the register
// write that makes the design send data or raise the interrupt. Parking never lets the writer
// in early: it still waits for every reader inside, the parked ones included. Waits that keep
// overlapping can hold it off that way; letting only short operations pass instead would
// deadlock a wait whose answer comes from another thread's wait.
// A thread that holds the shared side must not ask for the exclusive side.

#include <atomic>
#include <cstdint>

#include "foundation/errors/Status.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

class ReaderWriterLockBase {
 public:
  // A failure to create a part is recorded in `status` (mutex -52003, condition variable
  // -52008); the creator raises it. Only the parts created are destroyed.
  explicit ReaderWriterLockBase(nQVVUSKS100::tStatus* status);
  virtual ~ReaderWriterLockBase() = default;
  ReaderWriterLockBase(const ReaderWriterLockBase&) = delete;
  ReaderWriterLockBase& operator=(const ReaderWriterLockBase&) = delete;

  void acquireRead() {
    for (;;) {
      count_.fetch_add(1);
      if (writerActive_.load() == 0) return;
      if (passOrWaitForWriter()) return;
    }
  }
  void releaseRead() {
    if (count_.fetch_sub(1) != 1) return;
    releaseLastReader();
  }
  void acquireWrite();
  void releaseWrite();

  // A reader inside marks the stretch in which it waits for the device or for another thread:
  // meanwhile later readers pass a queued writer. Without a writer around, no mutex is taken.
  void park();
  void unpark();

  // One plus the readers inside while no writer is present; the readers inside while one is.
  uint32_t count() const { return count_.load(); }
  bool writerActive() const { return writerActive_.load() != 0; }

 private:
  // The slow path of a reader that met a writer: true when it may stay inside because a reader
  // is parked; otherwise it backs off, waits for the writer and returns false.
  bool passOrWaitForWriter();
  void releaseLastReader();
  // Takes one reader out under readerMutex_ and tells a waiting writer when it was the last.
  void lockedRelease();

  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex writerMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex readerMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent readersDrained_;
  // Set while readers may try again: no writer, or a reader parked.
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent writerDone_;
  std::atomic<uint32_t> count_{1};
  std::atomic<uint32_t> writerActive_{0};
  // Readers parked inside. Changed without the reader mutex; read under it by an arriving
  // writer, by a reader that met a writer, and by an unparking reader that saw one.
  std::atomic<uint32_t> parked_{0};
};

class ReaderWriterLock : public ReaderWriterLockBase {
 public:
  using ReaderWriterLockBase::ReaderWriterLockBase;
  ~ReaderWriterLock() override = default;
};

// Holds one side of the lock for one scope.
template <void (ReaderWriterLockBase::*Acquire)(), void (ReaderWriterLockBase::*Release)()>
class ScopedSide {
 public:
  explicit ScopedSide(ReaderWriterLockBase& lock) : lock_(lock) { (lock_.*Acquire)(); }
  ~ScopedSide() { (lock_.*Release)(); }
  ScopedSide(const ScopedSide&) = delete;
  ScopedSide& operator=(const ScopedSide&) = delete;

 private:
  ReaderWriterLockBase& lock_;
};

using SharedLock =
    ScopedSide<&ReaderWriterLockBase::acquireRead, &ReaderWriterLockBase::releaseRead>;
using ExclusiveLock =
    ScopedSide<&ReaderWriterLockBase::acquireWrite, &ReaderWriterLockBase::releaseWrite>;
// Parks the calling reader for one scope.
using ParkedReader = ScopedSide<&ReaderWriterLockBase::park, &ReaderWriterLockBase::unpark>;

}  // namespace qvkel
