// The plug-in's entry points and its process-wide objects: the PXI query library wrapper, the
// route library's table, the device manager with its observer thread, the alias state with its
// threads, and the session factory. The first initialise builds them, each further one counts,
// and the finalise that brings the count back to zero deletes them. That last finalise is
// refused on the library's own threads, where host listeners run: it would have to join the
// thread it runs on.
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>

#include "discovery/DeviceList.h"
#include "discovery/DeviceManager.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/notify/tThreadController.h"
#include "qvkel/Plugin.h"
#include "session/PciModelNameIdentifierCodegen.h"
#include "session/PluginAliasComponents.h"
#include "session/RocoCpp.h"
#include "session/SessionFactoryBrenmoor.h"
#include "sessionbrenmoor/SessionAssemblerBrenmoor.h"

namespace {

constexpr qverr::StatusLocation kInitializeBoundary{"KelPlugin", 161, qverr::kComponent};
constexpr qverr::StatusLocation kGetInterfaceBoundary{"KelPlugin", 91, qverr::kComponent};
constexpr qverr::StatusLocation kMutexCreation{"KelPlugin", 56, qverr::kComponent};

constexpr const char* kInterfaceName = "qvvandrelbrenmoork_vandrelbrenmoor";

// The plug-in mutex: recursive, priority inheritance; made once per process at the first
// initialise and destroyed at exit, never by finalise.
struct PluginMutex {
  pthread_mutex_t mutex;
  bool initialised;
};

// Makes the plug-in mutex once, whichever thread initialises first.
struct OnceHolder {
  std::atomic<std::uint32_t> done{0};
  std::atomic<std::uint32_t> spin{0};
  void (*create)(nQVVUSKS100::tStatus* status);
  void (*destroy)(OnceHolder* holder);
  std::uint32_t backoffMs;
};

std::atomic<PluginMutex*> gMutex{nullptr};

void createMutex(nQVVUSKS100::tStatus* status) {
  try {
    // A mutex that could not be set up last time is dropped before the next attempt.
    delete gMutex.exchange(nullptr);
    auto* created = new PluginMutex{};
    if (!status->isError()) {
      pthread_mutexattr_t attributes;
      if (pthread_mutexattr_init(&attributes) == 0) {
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        created->initialised = pthread_mutex_init(&created->mutex, &attributes) == 0;
        pthread_mutexattr_destroy(&attributes);
      }
      if (!created->initialised) qverr::recordCode(*status, qverr::kInternalError, kMutexCreation);
    }
    gMutex.store(created);
  } catch (...) {
    qverr::recordCurrentException(*status, kMutexCreation);
  }
}

void destroyMutex(OnceHolder*) {
  PluginMutex* mutex = gMutex.exchange(nullptr);
  if (mutex == nullptr) return;
  if (mutex->initialised) pthread_mutex_destroy(&mutex->mutex);
  delete mutex;
}

constinit OnceHolder gOnce{{0}, {0}, &createMutex, &destroyMutex, 1};

// The holder's exit handler, registered when the library loads: a static object's destructor
// runs at exit or when the library is unloaded, whichever comes first, and never after the
// library's code is gone.
struct OnceHolderRegistration {
  ~OnceHolderRegistration() {
    std::uint32_t expected = 1;
    if (gOnce.done.compare_exchange_strong(expected, 0)) gOnce.destroy(&gOnce);
  }
};
const OnceHolderRegistration gRegistration;

void sleepBackoff(std::uint32_t ms) {
  timespec wait{0, static_cast<long>(ms) * 1000000L};
  timespec remaining{};
  while (nanosleep(&wait, &remaining) != 0 && errno == EINTR) wait = remaining;
}

void ensureMutex(nQVVUSKS100::tStatus& status) {
  if (gOnce.done.load() == 1) return;
  std::uint32_t free = 0;
  while (!gOnce.spin.compare_exchange_strong(free, 1)) {
    free = 0;
    sleepBackoff(gOnce.backoffMs);
  }
  if (gOnce.done.load() == 0) {
    gOnce.create(&status);
    if (!status.isError()) gOnce.done.exchange(1);
  }
  gOnce.spin.exchange(0);
}

// The initialised plug-in mutex, or null while there is none.
PluginMutex* pluginMutex() {
  if (gOnce.done.load() != 1) return nullptr;
  PluginMutex* mutex = gMutex.load();
  return mutex != nullptr && mutex->initialised ? mutex : nullptr;
}

// Takes over a lock already held.
class Locked {
 public:
  Locked(PluginMutex& mutex, std::adopt_lock_t) : mutex_(mutex) {}
  ~Locked() { pthread_mutex_unlock(&mutex_.mutex); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  PluginMutex& mutex_;
};

// Initialisations not yet finalised; read and written under the plug-in mutex only.
std::uint32_t gCount = 0;
// Set while the last finalise deletes the objects, holding the plug-in mutex.
std::atomic<bool> gTearingDown{false};

// Host listeners run on the library's own threads, which the last finalise joins while it holds
// the plug-in mutex: a call from such a thread that waited for the mutex then would wait for
// ever.
bool onLibraryThread() {
  return nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadController::onStartedThread();
}

// Takes the plug-in mutex; with `refuseDuringTeardown`, gives up (false) instead while a last
// finalise holds it.
bool lockPlugin(PluginMutex& mutex, bool refuseDuringTeardown) {
  if (!refuseDuringTeardown) {
    pthread_mutex_lock(&mutex.mutex);
    return true;
  }
  while (pthread_mutex_trylock(&mutex.mutex) != 0) {
    if (gTearingDown.load()) return false;
    sleepBackoff(gOnce.backoffMs);
  }
  return true;
}

// The five process-wide objects, null while the plug-in is not initialised.
qvkel::QPxiLibrary* gPxi = nullptr;
qvrocoapi::RocoCppHolder* gRoutes = nullptr;
qvkel::DeviceManager* gDevices = nullptr;
qvkel::PluginAliasComponents* gAliases = nullptr;
qvvandrelbrenmooru::SessionFactoryBrenmoor* gSessions = nullptr;
// Stateless: one serves every factory the plug-in makes.
qvvandrelbrenmooru::SessionAssemblerBrenmoor gAssembler;

// The route library is optional: without it, or without any of its entry points, the plug-in
// runs without route support.
std::unique_ptr<qvrocoapi::RocoCppHolder> loadRouteLibrary() {
  try {
    auto holder = std::make_unique<qvrocoapi::RocoCppHolder>();
    qverr::Status status;
    qvrocoapi::load(*holder, status);
    qverr::throwIfError(status);
    return holder;
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

extern "C" {

int32_t qvkel_initializePlugin(void) {
  nQVVUSKS100::tStatus status;
  ensureMutex(status);
  PluginMutex* mutex = pluginMutex();
  if (status.isError() || mutex == nullptr) return qverr::kInternalError;
  if (!lockPlugin(*mutex, onLibraryThread())) return qverr::kInternalError;
  Locked lock(*mutex, std::adopt_lock);
  if (gCount != 0) {
    ++gCount;
    return static_cast<int32_t>(status.code);
  }
  // Built in order; on a failure the locals release what stands, in the reverse order.
  std::unique_ptr<qvkel::QPxiLibrary> pxi;
  std::unique_ptr<qvrocoapi::RocoCppHolder> routes;
  std::unique_ptr<qvkel::DeviceManager> devices;
  std::unique_ptr<qvkel::PluginAliasComponents> aliases;
  std::unique_ptr<qvvandrelbrenmooru::SessionFactoryBrenmoor> sessions;
  const auto& models = qvvandrelbrenmoork::pciModelNameIdentifier();
  const bool built = qverr::runAtBoundary(&status, kInitializeBoundary, [&] {
    {
      // A PXI query library that does not load only means no PXI descriptors.
      qverr::Status pxiStatus;
      pxi = std::make_unique<qvkel::QPxiLibrary>(pxiStatus);
      pxi->loaded = !pxiStatus.isError();
    }
    routes = loadRouteLibrary();
    devices = std::make_unique<qvkel::DeviceManager>(kInterfaceName, models, *pxi);
    devices->openPxiSession();
    devices->refreshAndNotify();
    devices->startObserver();
    aliases = std::make_unique<qvkel::PluginAliasComponents>(*devices, models, *pxi);
    sessions = std::make_unique<qvvandrelbrenmooru::SessionFactoryBrenmoor>(
        *devices, *pxi, routes != nullptr ? &routes->entries() : nullptr, aliases->aliasManager(),
        &gAssembler);
  });
  if (!built) return static_cast<int32_t>(status.code);
  gPxi = pxi.release();
  gRoutes = routes.release();
  gDevices = devices.release();
  gAliases = aliases.release();
  gSessions = sessions.release();
  gCount = 1;
  return static_cast<int32_t>(status.code);
}

int32_t qvkel_getPluginInterface(uint32_t version, void** interfaceOut) {
  if (interfaceOut == nullptr) return qverr::kInvalidParameter;
  if (version != 0) {
    *interfaceOut = nullptr;
    return qverr::kInvalidParameter;
  }
  PluginMutex* mutex = pluginMutex();
  if (mutex == nullptr) {
    *interfaceOut = nullptr;
    return qverr::kInternalError;
  }
  // Under the plug-in mutex, so that a finalise on another thread cannot delete what the new
  // list is built over while it is built; refused while a last finalise runs.
  if (!lockPlugin(*mutex, true)) {
    *interfaceOut = nullptr;
    return qverr::kInternalError;
  }
  Locked lock(*mutex, std::adopt_lock);
  if (gCount == 0) {
    *interfaceOut = nullptr;
    return qverr::kInternalError;
  }
  nQVVUSKS100::tStatus status;
  qverr::runAtBoundary(&status, kGetInterfaceBoundary, [&] {
    qvkel::IDeviceList* list =
        new qvkel::DeviceList(*gDevices, *gSessions, gAliases->aliasManager());
    *interfaceOut = list;
  });
  return static_cast<int32_t>(status.code);
}

int32_t qvkel_finalizePlugin(void) {
  PluginMutex* mutex = pluginMutex();
  if (mutex == nullptr) return qverr::kInternalError;
  const bool libraryThread = onLibraryThread();
  if (!lockPlugin(*mutex, libraryThread)) return qverr::kInternalError;
  Locked lock(*mutex, std::adopt_lock);
  // A finalise without a matching initialise changes nothing; nor does a last one on a thread
  // it would have to join (a host listener's): the host finalises from a thread of its own.
  if (gCount == 0 || (gCount == 1 && libraryThread)) return qverr::kInternalError;
  if (--gCount != 0) return 0;
  gTearingDown.store(true);
  delete gRoutes;
  gRoutes = nullptr;
  delete gAliases;
  gAliases = nullptr;
  delete gSessions;
  gSessions = nullptr;
  delete gDevices;
  gDevices = nullptr;
  delete gPxi;
  gPxi = nullptr;
  gTearingDown.store(false);
  return 0;
}

}  // extern "C"
