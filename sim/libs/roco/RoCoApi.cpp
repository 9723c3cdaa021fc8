// Stand-in for the maker's route-configuration library "libqvrocoapi.so.1": all 57 entry points
// under their exact names. The four that a device reset uses (createSession, destroySession,
// initiateDeviceReset, completeDeviceReset) are logged in call order with their session and
// device name and can be made to fail; every other entry point does nothing and answers 0.
// Library sessions are numbers handed out by createSession and taken back by destroySession.
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/libs/StandInLog.h"

namespace {

// The caller's status object: i32 code, u32 detail capacity, the grow callback, the detail.
struct CallerStatus {
  int32_t code;
  uint32_t capacity;
  bool (*grow)(CallerStatus& status, uint32_t needed);
  char* detail;
};
static_assert(sizeof(CallerStatus) == 24);

constexpr int32_t kInvalidArgument = -52005;

std::mutex gMutex;
std::set<uintptr_t> gSessions;
uintptr_t gNextSession = 0x5E55100;
std::map<std::string, int32_t> gFailures;  // entry point -> code of its next call
std::vector<std::string> gCalls;

// Logs "<entry>[ <session>][ <device name>]" (a created session as "-> <session>"); false when a
// failure was injected (its code is then in the status) or the status already holds an error.
bool enter(const char* entry, CallerStatus* status, const void* session = nullptr,
           const char* deviceName = nullptr) {
  std::string line = entry;
  if (session != nullptr) line += " " + std::to_string(reinterpret_cast<uintptr_t>(session));
  if (deviceName != nullptr) line += std::string(" ") + deviceName;
  gCalls.push_back(line);
  if (status != nullptr && status->code < 0) return false;
  auto f = gFailures.find(entry);
  if (f == gFailures.end()) return true;
  if (status != nullptr) status->code = f->second;
  gFailures.erase(f);
  return false;
}

// An error with a detail naming the entry point, written through the caller's grow callback.
void fail(CallerStatus* status, int32_t code, const char* entry) {
  if (status == nullptr || status->code < 0) return;
  status->code = code;
  const std::string text = std::string("{\"qvrocoapi\":{\"call\":\"") + entry + "\"}}";
  if (status->grow != nullptr && status->grow(*status, static_cast<uint32_t>(text.size() + 1)) &&
      status->detail != nullptr && status->capacity >= text.size() + 1)
    std::memcpy(status->detail, text.c_str(), text.size() + 1);
}

bool known(void* session) {
  return gSessions.count(reinterpret_cast<uintptr_t>(session)) != 0;
}

// A device reset announced or completed on a known session.
void deviceReset(const char* entry, void* session, const char* deviceName, CallerStatus* status) {
  std::lock_guard lock(gMutex);
  if (!enter(entry, status, session, deviceName != nullptr ? deviceName : "(null)")) return;
  if (!known(session) || deviceName == nullptr) fail(status, kInvalidArgument, entry);
}

}  // namespace

#define ROCO_EXPORT extern "C" __attribute__((visibility("default")))
using S = CallerStatus*;
using u64 = uint64_t;
using u32 = uint32_t;

// The entry points, in the library's table order.

ROCO_EXPORT void* qvrocoapi_createSession(S status) {
  std::lock_guard lock(gMutex);
  if (!enter("qvrocoapi_createSession", status)) return nullptr;
  const uintptr_t session = gNextSession++;
  gSessions.insert(session);
  gCalls.back() += " -> " + std::to_string(session);
  return reinterpret_cast<void*>(session);
}
ROCO_EXPORT u64 qvrocoapi_createRemoteSession(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_createImmediateSession(u64) {
  return 0;
}
ROCO_EXPORT void qvrocoapi_destroySession(void* session) {
  std::lock_guard lock(gMutex);
  enter("qvrocoapi_destroySession", nullptr, session);
  gSessions.erase(reinterpret_cast<uintptr_t>(session));
}
ROCO_EXPORT u32 qvrocoapi_calculateRoute(void*, const char*, const char*, void*, S) {
  return 0;
}
ROCO_EXPORT void qvrocoapi_reserveRoute(void*, u32, S) {}
ROCO_EXPORT void qvrocoapi_programRoute(void*, u32, S) {}
ROCO_EXPORT void qvrocoapi_unprogramRoute(void*, u32, S) {}
ROCO_EXPORT void qvrocoapi_unreserveRoute(void*, u32, S) {}
ROCO_EXPORT void qvrocoapi_destroyRoute(void*, u32, S) {}
ROCO_EXPORT void qvrocoapi_destroyImmediateRoute(void*, u64, u64, S) {}
ROCO_EXPORT u64 qvrocoapi_destroyAllImmediateRoutes(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_destroyImmediateRoutesOnDevice(u64, u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_destroyImmediateRoutesFromSource(u64, u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_destroyImmediateRoutesToDest(u64, u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_showRoute(u64, u32, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_getRouteInfo(u64, u32, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_DeviceContainer_begin(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_DeviceIterator_next(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_DeviceIterator_getTerminalContainer(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_DeviceIterator_getDeviceName(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_DeviceIterator_isEnd(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_DeviceContainer_destroy(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_getSystemChangeNumber(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_hasTerminalInformationChanged(u64, u32, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_getRoutableDevices(u64, u64) {
  return 0;
}
ROCO_EXPORT void* qvrocoapi_getTerminalNamesAndAttributesForDevice(void*, u64, const char* const*,
                                                                   S) {
  return nullptr;
}
ROCO_EXPORT u64 qvrocoapi_destroyStringArray(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_destroyString(u64) {
  return 0;
}
ROCO_EXPORT void qvrocoapi_resetTerminal(void*, const char*, const char*, S) {}
ROCO_EXPORT u32 qvrocoapi_calculateResetTerminal(void*, u64, u64, S) {
  return 0;
}
ROCO_EXPORT u32 qvrocoapi_validateTerminalURI(void*, u64, S) {
  return 0;
}
ROCO_EXPORT u32 qvrocoapi_areTerminalURIsEqual(void*, u64, u64, S) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_TerminalContainer_begin(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_TerminalIterator_next(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_TerminalIterator_isEnd(u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_TerminalContainer_destroy(u64) {
  return 0;
}
ROCO_EXPORT void* qvrocoapi_TerminalIterator_getStringAttribute(u64, u64, u64, S) {
  return nullptr;
}
ROCO_EXPORT u32 qvrocoapi_TerminalIterator_getBoolAttribute(u64, u64, u64, S) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_new(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_destroy(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_getConstraints(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_getSourceConstraints(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_getDestinationConstraints(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_setLifetime(u64, u32, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_setCalculationTargetState(u64, u32, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_setForceMultiDeviceRoute(u64, bool, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_setOwnerName(u64, u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteConstraints_setBoolConstraint(u64, u64, bool, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteConstraints_setStringConstraint(u64, u64, u64, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_getOptionalModifiers(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_getRequiredModifiers(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteAttributes_getDestinationRequiredModifiers(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteModifiers_setBoolModifier(u64, u64, bool, u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_RouteModifiers_setStringModifier(u64, u64, u64, u64) {
  return 0;
}
ROCO_EXPORT void qvrocoapi_initiateDeviceReset(void* session, const char* deviceName, S status) {
  deviceReset("qvrocoapi_initiateDeviceReset", session, deviceName, status);
}
#ifndef QVSIM_ROCO_WITHOUT_COMPLETE
ROCO_EXPORT void qvrocoapi_completeDeviceReset(void* session, const char* deviceName, S status) {
  deviceReset("qvrocoapi_completeDeviceReset", session, deviceName, status);
}
#endif

// Test controls.

ROCO_EXPORT void qvsim_roco_reset(void) {
  std::lock_guard lock(gMutex);
  gSessions.clear();
  gFailures.clear();
  gCalls.clear();
}

// The next call of the named entry point fails with `code` and does nothing else.
ROCO_EXPORT void qvsim_roco_failNext(const char* entry, int32_t code) {
  std::lock_guard lock(gMutex);
  gFailures[entry] = code;
}

ROCO_EXPORT int qvsim_roco_callCount(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gCalls.size());
}

ROCO_EXPORT int qvsim_roco_callName(int index, char* buffer, int size) {
  std::lock_guard lock(gMutex);
  return sim::libs::copyLoggedCall(gCalls, index, buffer, size);
}

// Library sessions created and not yet destroyed.
ROCO_EXPORT int qvsim_roco_openSessions(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gSessions.size());
}
