#pragma once
// Starts one named operating-system thread that runs an iThread object, and joins it. The only
// way the library starts threads.

#include <pthread.h>

#include <cstdint>

#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// A runnable object; run is called on the new thread and its result ignored.
class iThread {
 public:
  virtual ~iThread();
  virtual int32_t run() = 0;
};

// What the new thread needs: it is handed over by address, so its owner must stay in place
// until the thread is joined.
struct tThreadBlock {
  pthread_t handle{};
  iThread* object = nullptr;
  int32_t (*entry)(iThread* object) = nullptr;
  char* name = nullptr;  // heap copy until the new thread takes it
};

class tThreadController {
 public:
  tThreadController() = default;
  tThreadController(const tThreadController&) = delete;
  tThreadController& operator=(const tThreadController&) = delete;
  // Neither stops nor joins the thread: owners join first.
  virtual ~tThreadController();

  // Priority 1 or more runs the thread round-robin real-time at that priority, otherwise with
  // the normal policy (which accepts only 0). The thread names itself (cut to 15 characters by
  // the kernel). -52016 while a thread runs; -52008 when it cannot be created.
  void start(iThread* object, int32_t priority, const char* name, nQVVUSKS100::tStatus* status);
  // Waits for the thread when there is one to join; a second join does nothing. False when the
  // join fails (asked on the thread itself, for one): the thread then still counts as running.
  bool join();

  // True on a thread that a controller started, that is on one of the library's own threads,
  // where host callbacks run.
  static bool onStartedThread();

  bool isRunning() const { return running_; }
  bool isJoinable() const { return running_; }

 private:
  tThreadBlock block_;
  // Started and not yet joined, whether or not the thread has finished its work.
  bool running_ = false;
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
