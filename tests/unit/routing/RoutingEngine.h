#pragma once
// The route-configuration engine as the tests play it: the adaptor's exports (linked in, or
// looked up in the loaded plug-in), the engine's allocator and demotion function, and a
// testbed module whose routing interface the model serves.

#include <dlfcn.h>
#include <sys/prctl.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/errors/Status.h"
#include "qvkel/RoutingAdaptor.h"
#include "sim/device/Module.h"
#include "sim/device/RoutingModel.h"
#include "sim/kernel/Testbed.h"

namespace routingtest {

using qvvandrelbrenmoorra::TerminalIterator;
using qvvandrelbrenmoorra::ZUZSession;

#define QV_ROUTING_EXPORTS(X)                \
  X(getAPIVersion)                           \
  X(createSession)                           \
  X(createSessionWithDemotionFunc)           \
  X(destroySession)                          \
  X(calculateRoute)                          \
  X(reserveRoute)                            \
  X(programRoute)                            \
  X(unprogramRoute)                          \
  X(unreserveRoute)                          \
  X(destroyRoute)                            \
  X(beginExceptionalRouteDestruction)        \
  X(getRouteTerminalPath)                    \
  X(getHandledConstraints)                   \
  X(getAllTerminals)                         \
  X(TerminalIterator_next)                   \
  X(TerminalIterator_isEnd)                  \
  X(TerminalIterator_getBoolAttribute)       \
  X(TerminalIterator_getStringAttribute)     \
  X(TerminalIterator_getU32Attribute)        \
  X(TerminalIterator_resetTerminal)          \
  X(TerminalIterator_calculateResetTerminal) \
  X(TerminalIterator_destroy)

// The exports by name, as the engine holds them.
struct Exports {
#define QV_EXPORT_FIELD(name) decltype(&qvroco_ra_qvvandrelbrenmooru_##name) name = nullptr;
  QV_ROUTING_EXPORTS(QV_EXPORT_FIELD)
#undef QV_EXPORT_FIELD

  // Looks every export up in a loaded library; a missing one stays null.
  static Exports lookUp(void* library) {
    Exports e;
#define QV_EXPORT_LOOKUP(name) \
  e.name =                     \
      reinterpret_cast<decltype(e.name)>(dlsym(library, "qvroco_ra_qvvandrelbrenmooru_" #name));
    QV_ROUTING_EXPORTS(QV_EXPORT_LOOKUP)
#undef QV_EXPORT_LOOKUP
    return e;
  }
};

// The engine's allocator: realloc, counting calls, and failing while `failures` is positive.
struct Allocations {
  static inline std::atomic<int> calls{0};
  static inline std::atomic<int> failures{0};
  static inline std::atomic<size_t> lastSize{0};
  static inline std::atomic<void*> lastPrevious{nullptr};
  static void* allocate(void* previous, size_t size) {
    ++calls;
    lastSize = size;
    lastPrevious = previous;
    if (failures > 0) {
      --failures;
      return nullptr;
    }
    return std::realloc(previous, size);
  }
};

// What the demotion function saw.
struct Demotions {
  std::mutex mutex;
  std::condition_variable changed;
  int calls = 0;
  uint32_t reason = 0;
  int32_t statusCode = -1;
  bool statusHadDetail = true;
  std::string threadName;
  std::thread::id thread;
  // While true the function waits inside the call until released.
  bool hold = false;
  bool inside = false;
  bool finished = false;

  static int32_t record(void* context, uint32_t reason, qverr::Status* status) {
    auto* self = static_cast<Demotions*>(context);
    char name[16] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    std::unique_lock lock(self->mutex);
    ++self->calls;
    self->reason = reason;
    self->statusCode = status->code;
    self->statusHadDetail = status->detail != nullptr;
    self->threadName = name;
    self->thread = std::this_thread::get_id();
    self->inside = true;
    self->changed.notify_all();
    self->changed.wait(lock, [self] { return !self->hold; });
    // Anything written into the status is released by the adaptor.
    status->setDetail("{\"engine\":1}");
    self->inside = false;
    self->finished = true;
    self->changed.notify_all();
    return 0;
  }
  template <typename Predicate>
  bool waitFor(Predicate p) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return p(*this); });
  }
  void release() {
    std::lock_guard lock(mutex);
    hold = false;
    changed.notify_all();
  }
};

// A text the adaptor handed over, freed as the engine frees it.
struct Text {
  char* text = nullptr;
  Text() = default;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { std::free(text); }
  std::string str() const { return text ? text : "<null>"; }
};

// A testbed with one module, served by the routing model, and the exports to drive it.
class RoutingBed {
 public:
  // Without the device interface the module has only its routing interface.
  explicit RoutingBed(const Exports& exports, const std::string& instance = "R0",
                      bool deviceInterface = true)
      : x(exports), module(testbed, instance), model(module, deviceInterface) {}

  std::string path() { return module.routingInterface().nodePath(); }

  ZUZSession* open(Demotions* demotions = nullptr, const std::string& where = {}) {
    qverr::Status status;
    ZUZSession* s = x.createSessionWithDemotionFunc(
        (where.empty() ? path() : where).c_str(), &Allocations::allocate,
        demotions ? &Demotions::record : nullptr, demotions, &status);
    lastOpen.assign(status);
    return s;
  }

  // calculateRoute; the routes text ("<null>" when none was handed over).
  std::string calculate(ZUZSession* s, const char* seeds, const char* destinations,
                        qverr::Status& status, const char* modifiers = "{}",
                        uint32_t* word = nullptr) {
    Text routes;
    const uint32_t w = x.calculateRoute(s, seeds, destinations, modifiers, &routes.text, &status);
    if (word) *word = w;
    return routes.str();
  }

  // A route from one terminal to another; its ticket.
  uint32_t route(ZUZSession* s, const std::string& from, const std::string& to,
                 const char* modifiers = "{}") {
    const std::string seeds = "[{\"terminal\":\"" + from + "\",\"cost\":0,\"constraints\":{}}]";
    const std::string destinations = "[\"" + to + "\"]";
    qverr::Status status;
    const std::string routes = calculate(s, seeds.c_str(), destinations.c_str(), status, modifiers);
    const size_t at = routes.find("\"ticket\":");
    return status.code == 0 && at != std::string::npos
               ? static_cast<uint32_t>(std::stoul(routes.substr(at + 9)))
               : 0;
  }

  Exports x;
  sim::Testbed testbed;
  sim::Module module;
  sim::RoutingModel model;
  qverr::Status lastOpen;
};

inline std::string sessionId(const ZUZSession* s) {
  return std::to_string(reinterpret_cast<uint64_t>(s));
}

}  // namespace routingtest
