#include "devkit/ReaderWriterLock.h"

namespace qvkel {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

ReaderWriterLockBase::ReaderWriterLockBase(nQVVUSKS100::tStatus* status) {
  writerMutex_.create(status);
  readerMutex_.create(status);
  readersDrained_.create(false, status);
  writerDone_.create(false, status);
  if (!status->isError()) writerDone_.set();
}

void ReaderWriterLockBase::lockedRelease() {
  tMutexLock lock(readerMutex_);
  if (count_.fetch_sub(1) == 1) readersDrained_.set();
}

void ReaderWriterLockBase::releaseLastReader() {
  // A writer waits for this reader: put it back and leave again under the reader mutex, so
  // the writer's wait and this signal cannot pass each other.
  count_.fetch_add(1);
  lockedRelease();
}

bool ReaderWriterLockBase::passOrWaitForWriter() {
  {
    tMutexLock lock(readerMutex_);
    if (parked_.load() != 0) return true;
    lockedRelease();
  }
  nQVVUSKS100::tStatus status;
  writerDone_.wait(tEvent::kWaitForever, &status);
  return false;
}

void ReaderWriterLockBase::park() {
  // A writer published after this increment finds the reader parked: every reader that meets
  // a writer checks parked_ under the reader mutex.
  parked_.fetch_add(1);
  if (writerActive_.load() == 0) return;
  tMutexLock lock(readerMutex_);
  // Readers already backed off behind the writer try again, and now pass.
  writerDone_.set();
}

void ReaderWriterLockBase::unpark() {
  if (parked_.fetch_sub(1) != 1 || writerActive_.load() == 0) return;
  tMutexLock lock(readerMutex_);
  // Checked again: another reader may have parked, or the writer left, meanwhile.
  if (parked_.load() == 0 && writerActive_.load() != 0) writerDone_.reset();
}

void ReaderWriterLockBase::acquireWrite() {
  writerMutex_.lock();
  {
    // Under the reader mutex: a reader that parks or unparks and sees the writer changes
    // writerDone_ only after this. With a reader parked, readers may still pass: one that
    // backed off behind the last writer and has not woken yet must not miss its wake-up.
    // Published before parked_ is read, as park() counts itself before it reads the flag.
    tMutexLock lock(readerMutex_);
    writerActive_.store(1);
    if (parked_.load() == 0) writerDone_.reset();
  }
  if (count_.fetch_sub(1) != 1) {
    nQVVUSKS100::tStatus status;
    readersDrained_.wait(tEvent::kWaitForever, &status);
  } else {
    readersDrained_.set();
  }
}

void ReaderWriterLockBase::releaseWrite() {
  {
    tMutexLock lock(readerMutex_);
    count_.fetch_add(1);
    readersDrained_.reset();
    writerActive_.store(0);
    writerDone_.set();
  }
  writerMutex_.unlock();
}

}  // namespace qvkel
