#include "foundation/system/dynload.h"

#include <dlfcn.h>
#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <list>
#include <mutex>
#include <string>

#include "foundation/errors/ErrorCodes.h"

namespace {

constexpr qverr::StatusLocation kLoadFailed{"dynload", 65, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kSymbolFailed{"dynload", 140, qverr::kComponent,
                                              qverr::constant::kInvalidParameter};

// Records -52005 with {"qvdynlib_debug": {debug, member: value}, "internal_error": dlerror}.
void recordLoaderFailure(qverr::Status& status, const qverr::StatusLocation& where,
                         const char* debug, const char* member, const char* value) {
  const char* loaderText = dlerror();
  if (status.setCodeWithErrorConstant(qverr::kInvalidParameter, where)) {
    const qverr::json::Grow grow = status.detailGrow();
    char* cursor = status.detailWriter().cursor;
    cursor = qverr::json::beginObject(cursor, "qvdynlib_debug", grow);
    cursor = qverr::json::addString(cursor, "debug", debug, grow);
    cursor = qverr::json::addString(cursor, member, value != nullptr ? value : "", grow);
    cursor = qverr::json::endObject(cursor);
    cursor = qverr::json::beginObject(cursor, "internal_error", grow);
    cursor = qverr::json::addString(cursor, "api", "dlerror", grow);
    cursor =
        qverr::json::addString(cursor, "string", loaderText != nullptr ? loaderText : "", grow);
    qverr::json::endObject(cursor);
  }
  // Clear the loader's error state so a later failure does not report this message.
  dlerror();
}

}  // namespace

void* qvdynlib_load(const char* path, int32_t flags, qverr::Status& status) {
  if (status.isError()) return nullptr;
  void* handle = dlopen(path, flags);
  if (handle == nullptr) {
    recordLoaderFailure(status, kLoadFailed, "failed to qvdynlib_load library", "path", path);
  }
  return handle;
}

void* qvdynlib_getSymbol(void* handle, const char* name, qverr::Status& status) {
  if (status.isError()) return nullptr;
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    recordLoaderFailure(status, kSymbolFailed, "failed to get symbol", "qvdynlib_symbol", name);
  }
  return address;
}

namespace qvdynlib {

AutoLib::~AutoLib() {
  if (handle_ != nullptr) dlclose(handle_);
}

void AutoLib::reset(void* handle) {
  if (handle_ != nullptr && handle_ != handle) dlclose(handle_);
  handle_ = handle;
}

namespace {

// The load-once state of one library.
struct LoadOnce {
  explicit LoadOnce(const char* n) : name(n) {}
  std::string name;
  std::atomic<int32_t> spin{0};
  std::atomic<bool> loaded{false};
  void* handle = nullptr;
};

// States live until exit and never move; the registry lock only guards finding one.
std::mutex& registryMutex() {
  static std::mutex m;
  return m;
}
std::list<LoadOnce>& registry() {
  static std::list<LoadOnce>* r = new std::list<LoadOnce>();
  return *r;
}

LoadOnce& stateFor(const char* libraryName) {
  std::lock_guard<std::mutex> lock(registryMutex());
  for (LoadOnce& s : registry()) {
    if (s.name == libraryName) return s;
  }
  return registry().emplace_back(libraryName);
}

void closeAtExit() {
  std::lock_guard<std::mutex> lock(registryMutex());
  for (LoadOnce& s : registry()) {
    if (s.handle != nullptr) {
      dlclose(s.handle);
      s.handle = nullptr;
      s.loaded.store(false);
    }
  }
}

}  // namespace

void* loadOnceAndGetSymbol(const char* symbolName, const char* libraryName) {
  if (symbolName == nullptr || libraryName == nullptr) return nullptr;
  LoadOnce& state = stateFor(libraryName);
  qverr::Status local;

  bool holdsGate = false;
  for (;;) {
    if (state.spin.fetch_add(1) == 0) {
      holdsGate = true;
      break;
    }
    state.spin.fetch_sub(1);
    sched_yield();
    if (state.loaded.load()) break;
  }
  if (holdsGate) {
    if (!state.loaded.load()) {
      void* handle = qvdynlib_load(libraryName, RTLD_NOW | RTLD_GLOBAL, local);
      if (handle != nullptr) {
        state.handle = handle;
        state.loaded.store(true);
        static std::once_flag registered;
        std::call_once(registered, [] { std::atexit(closeAtExit); });
      }
    }
    state.spin.fetch_sub(1);
  }

  if (!state.loaded.load() || local.isError()) return nullptr;
  return qvdynlib_getSymbol(state.handle, symbolName, local);
}

}  // namespace qvdynlib
