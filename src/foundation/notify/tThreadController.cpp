#include "foundation/notify/tThreadController.h"

#include <sched.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <cstring>

#include "foundation/errors/ErrorCodes.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

namespace {

constexpr qverr::StatusLocation kAlreadyRunning{"tThreadController", 56, qverr::kComponent};
constexpr qverr::StatusLocation kAttributeFailed{"thread", 594, qverr::kComponent};
constexpr qverr::StatusLocation kCreateFailed{"thread", 632, qverr::kComponent};

thread_local bool startedByController = false;

int32_t callRun(iThread* object) {
  return object->run();
}

void* trampoline(void* argument) {
  tThreadBlock* block = static_cast<tThreadBlock*>(argument);
  startedByController = true;
  if (block->name != nullptr) {
    prctl(PR_SET_NAME, block->name, 0, 0, 0);
    std::free(block->name);
    block->name = nullptr;
  }
  block->entry(block->object);
  return nullptr;
}

}  // namespace

iThread::~iThread() = default;

tThreadController::~tThreadController() = default;

void tThreadController::start(iThread* object, int32_t priority, const char* name,
                              nQVVUSKS100::tStatus* status) {
  if (running_) {
    qverr::recordCode(*status, qverr::kAlreadyRunning, kAlreadyRunning);
    return;
  }
  if (status->isError()) return;

  block_.object = object;
  block_.entry = &callRun;
  block_.name = nullptr;

  pthread_attr_t attribute;
  if (pthread_attr_init(&attribute) != 0) {
    qverr::recordCode(*status, qverr::kOsFault, kAttributeFailed);
    return;
  }
  sched_param parameter{};
  parameter.sched_priority = priority;
  if (pthread_attr_setschedpolicy(&attribute, priority >= 1 ? SCHED_RR : SCHED_OTHER) != 0 ||
      pthread_attr_setschedparam(&attribute, &parameter) != 0 ||
      pthread_attr_setinheritsched(&attribute, PTHREAD_EXPLICIT_SCHED) != 0) {
    pthread_attr_destroy(&attribute);
    qverr::recordCode(*status, qverr::kOsFault, kCreateFailed);
    return;
  }

  if (name != nullptr) {
    block_.name = strdup(name);
    // Without a copy the thread simply keeps its inherited name.
  }
  const int created = pthread_create(&block_.handle, &attribute, &trampoline, &block_);
  pthread_attr_destroy(&attribute);
  if (created != 0) {
    std::free(block_.name);
    block_.name = nullptr;
    qverr::recordCode(*status, qverr::kOsFault, kCreateFailed);
    return;
  }
  running_ = true;
}

bool tThreadController::join() {
  if (!running_) return true;
  // Refused before the call: a self-join's EDEADLK is not guaranteed everywhere, and a thread
  // checker's bookkeeping does not survive one.
  if (pthread_equal(block_.handle, pthread_self())) return false;
  if (pthread_join(block_.handle, nullptr) != 0) return false;
  running_ = false;
  return true;
}

bool tThreadController::onStartedThread() {
  return startedByController;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
