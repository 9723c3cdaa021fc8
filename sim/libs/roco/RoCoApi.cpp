// Stand-in for the maker's route-configuration library "libqvrocoapi.so.1": all 57 entry points
// under their exact names (a variant may lack some).
//
// Library sessions are numbers handed out by createSession and taken back by destroySession.
// Each keeps its routes: calculateRoute accepts "/<device>/<terminal>" texts whose terminal is in
// the device's list (set by a test; names compared without regard to ASCII case) and hands out a
// unique non-zero handle; reserve, program, unprogram, unreserve and destroy move a route through
// its states (calculated, reserved, programmed) and refuse unknown handles and wrong states;
// reserve also refuses a destination that another route holds reserved or programmed. Failures
// carry a JSON detail written through the caller's grow callback. resetTerminal and the device
// resets only check their session; the entry points the product merely passes on answer fixed
// values. Every entry point with a status does nothing when its incoming code is negative.
//
// Every call is logged: "<entry point> <session> <arguments>[ -> <result>]" (a null session as
// 0); createSession as "qvrocoapi_createSession -> <session>".
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
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

// The library's own codes (see MakerLibraries.h).
constexpr int32_t kInvalidArgument = -52005;
constexpr int32_t kUnknownTerminal = -89120;
constexpr int32_t kUnknownRoute = -89121;
constexpr int32_t kWrongState = -89122;
[[maybe_unused]] constexpr int32_t kReserved = -89137;  // only the reserve entry point raises it

enum RouteState : uint32_t { kStateCalculated = 1, kStateReserved = 2, kStateProgrammed = 3 };

struct Route {
  uintptr_t session;
  std::string source;
  std::string destination;
  uint32_t state;
};

// Calls of an entry point still to pass before its injected outcome, and the outcome's code:
// negative fails the call (it does nothing), positive lets it succeed with that warning.
struct Injected {
  int countdown;
  int32_t code;
};

std::mutex gMutex;
std::map<uintptr_t, bool> gSessions;
constexpr uintptr_t kFirstSession = 0x5E55100;
uintptr_t gNextSession = kFirstSession;
std::map<uint32_t, Route> gRoutes;
uint32_t gNextHandle = 1;
std::map<std::string, std::vector<std::string>> gTerminals;  // device -> terminal names
std::map<std::string, Injected> gInjected;
std::vector<std::string> gCalls;
bool gLogging = true;  // off: only the call under way is kept

std::string number(uintptr_t value) {
  return std::to_string(value);
}
std::string text(const char* value) {
  return value != nullptr ? value : "(null)";
}

std::string lower(std::string value) {
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return value;
}

std::string jsonString(const std::string& value) {
  std::string out = "\"";
  for (unsigned char c : value) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// An error with a detail naming the entry point and the reason, written through the caller's
// grow callback.
void fail(CallerStatus* status, int32_t code, const char* entry, const std::string& reason,
          const std::string& subject = {}) {
  if (status == nullptr || status->code < 0) return;
  status->code = code;
  std::string detail =
      "{\"qvrocoapi_debug\":{\"call\":" + jsonString(entry) + ",\"reason\":" + jsonString(reason);
  if (!subject.empty()) detail += ",\"subject\":" + jsonString(subject);
  detail += "}}";
  const auto needed = static_cast<uint32_t>(detail.size() + 1);
  if (status->grow != nullptr && status->grow(*status, needed) && status->detail != nullptr &&
      status->capacity >= needed)
    std::memcpy(status->detail, detail.c_str(), needed);
}

// Logs the call. False when the call must do nothing: its status already holds an error, or a
// failure was injected (its code is then in the status). An injected warning is set here and
// the call goes on.
bool enter(const char* entry, CallerStatus* status, const std::string& line) {
  if (!gLogging) gCalls.clear();
  gCalls.push_back(line);
  if (status != nullptr && status->code < 0) return false;
  auto found = gInjected.find(entry);
  if (found == gInjected.end() || --found->second.countdown > 0) return true;
  const int32_t code = found->second.code;
  gInjected.erase(found);
  if (code > 0) {
    if (status != nullptr && status->code == 0) status->code = code;
    return true;
  }
  fail(status, code, entry, "injected");
  return false;
}

std::string sessionLine(const char* entry, const void* session) {
  return std::string(entry) + " " + number(reinterpret_cast<uintptr_t>(session));
}

bool known(const void* session) {
  return gSessions.count(reinterpret_cast<uintptr_t>(session)) != 0;
}

// Checks the session of a call; false (with the error) when it is unknown.
bool checkSession(const char* entry, const void* session, CallerStatus* status) {
  if (known(session)) return true;
  fail(status, kInvalidArgument, entry, "unknown session");
  return false;
}

// "/<device>/<terminal>" naming a terminal of the device's list.
bool knownTerminal(const char* path) {
  if (path == nullptr || path[0] != '/') return false;
  const char* slash = std::strchr(path + 1, '/');
  if (slash == nullptr) return false;
  const auto device = gTerminals.find(std::string(path + 1, slash));
  if (device == gTerminals.end()) return false;
  const std::string terminal = lower(slash + 1);
  for (const std::string& name : device->second) {
    if (lower(name) == terminal) return true;
  }
  return false;
}

// The session's route of that handle, or null (with the error).
Route* findRoute(const char* entry, const void* session, uint32_t handle, CallerStatus* status) {
  auto found = gRoutes.find(handle);
  if (found == gRoutes.end() || found->second.session != reinterpret_cast<uintptr_t>(session)) {
    fail(status, kUnknownRoute, entry, "unknown route", number(handle));
    return nullptr;
  }
  return &found->second;
}

// A call on one route, logged, its session and handle checked (and with `from`, the route's
// state): the route, or null (with the error) when the call must do nothing. Under gMutex.
Route* routeCall(const char* entry, void* session, uint32_t handle, CallerStatus* status,
                 uint32_t from = 0) {
  if (!enter(entry, status, sessionLine(entry, session) + " " + number(handle))) return nullptr;
  if (!checkSession(entry, session, status)) return nullptr;
  Route* route = findRoute(entry, session, handle, status);
  if (route != nullptr && from != 0 && route->state != from) {
    fail(status, kWrongState, entry, "route in the wrong state", number(handle));
    return nullptr;
  }
  return route;
}

// Moves a route from state `from` to `to`.
void step(const char* entry, void* session, uint32_t handle, CallerStatus* status, uint32_t from,
          uint32_t to) {
  std::lock_guard lock(gMutex);
  if (Route* route = routeCall(entry, session, handle, status, from)) route->state = to;
}

// A device reset announced or completed on a known session.
void deviceReset(const char* entry, void* session, const char* deviceName, CallerStatus* status) {
  std::lock_guard lock(gMutex);
  if (!enter(entry, status, sessionLine(entry, session) + " " + text(deviceName))) return;
  if (!known(session) || deviceName == nullptr) fail(status, kInvalidArgument, entry, "refused");
}

// An entry point that the product only passes on: logged with its arguments, answering `result`.
template <typename R>
R passedOn(const char* entry, CallerStatus* status, const std::string& arguments, R result) {
  std::lock_guard lock(gMutex);
  if (!enter(entry, status, std::string(entry) + " " + arguments)) return R{};
  return result;
}

}  // namespace

#define ROCO_EXPORT extern "C" __attribute__((visibility("default")))
using S = CallerStatus*;
using u64 = uint64_t;
using u32 = uint32_t;

namespace {
// Fixed answers of the entry points that are only passed on.
const char* const kTerminalNames[] = {"PFI0", "PXI_Trig0", nullptr};
constexpr u32 kResetTerminalAnswer = 0x5E7;
constexpr u64 kContainer = 0xC0417A1;
constexpr u64 kIterator = 0x17E4A70;
}  // namespace

// The entry points, in the library's table order.

ROCO_EXPORT void* qvrocoapi_createSession(S status) {
  std::lock_guard lock(gMutex);
  if (!enter("qvrocoapi_createSession", status, "qvrocoapi_createSession")) return nullptr;
  const uintptr_t session = gNextSession++;
  gSessions[session] = true;
  gCalls.back() += " -> " + number(session);
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
  enter("qvrocoapi_destroySession", nullptr, sessionLine("qvrocoapi_destroySession", session));
  gSessions.erase(reinterpret_cast<uintptr_t>(session));
  for (auto route = gRoutes.begin(); route != gRoutes.end();) {
    route = route->second.session == reinterpret_cast<uintptr_t>(session) ? gRoutes.erase(route)
                                                                          : std::next(route);
  }
}
ROCO_EXPORT u32 qvrocoapi_calculateRoute(void* session, const char* source, const char* destination,
                                         void* attributes, S status) {
  static constexpr const char* kEntry = "qvrocoapi_calculateRoute";
  std::lock_guard lock(gMutex);
  std::string line = sessionLine(kEntry, session) + " " + text(source) + " " + text(destination);
  if (attributes != nullptr) line += " attributes";
  if (!enter(kEntry, status, line)) return 0;
  if (!checkSession(kEntry, session, status)) return 0;
  for (const char* terminal : {source, destination}) {
    if (!knownTerminal(terminal)) {
      fail(status, kUnknownTerminal, kEntry, "unknown terminal", text(terminal));
      return 0;
    }
  }
  const u32 handle = gNextHandle++;
  gRoutes[handle] =
      Route{reinterpret_cast<uintptr_t>(session), source, destination, kStateCalculated};
  gCalls.back() += " -> " + number(handle);
  return handle;
}
#ifndef QVSIM_ROCO_WITHOUT_RESERVE
ROCO_EXPORT void qvrocoapi_reserveRoute(void* session, u32 handle, S status) {
  static constexpr const char* kEntry = "qvrocoapi_reserveRoute";
  std::lock_guard lock(gMutex);
  Route* route = routeCall(kEntry, session, handle, status, kStateCalculated);
  if (route == nullptr) return;
  for (const auto& [other, held] : gRoutes) {
    if (other != handle && held.state >= kStateReserved &&
        lower(held.destination) == lower(route->destination)) {
      fail(status, kReserved, kEntry, "destination reserved", route->destination);
      return;
    }
  }
  route->state = kStateReserved;
}
#endif
ROCO_EXPORT void qvrocoapi_programRoute(void* session, u32 handle, S status) {
  step("qvrocoapi_programRoute", session, handle, status, kStateReserved, kStateProgrammed);
}
ROCO_EXPORT void qvrocoapi_unprogramRoute(void* session, u32 handle, S status) {
  step("qvrocoapi_unprogramRoute", session, handle, status, kStateProgrammed, kStateReserved);
}
ROCO_EXPORT void qvrocoapi_unreserveRoute(void* session, u32 handle, S status) {
  step("qvrocoapi_unreserveRoute", session, handle, status, kStateReserved, kStateCalculated);
}
ROCO_EXPORT void qvrocoapi_destroyRoute(void* session, u32 handle, S status) {
  std::lock_guard lock(gMutex);
  if (routeCall("qvrocoapi_destroyRoute", session, handle, status) != nullptr)
    gRoutes.erase(handle);
}
ROCO_EXPORT void qvrocoapi_destroyImmediateRoute(void* session, u64 a, u64 b, S status) {
  passedOn("qvrocoapi_destroyImmediateRoute", status,
           number(reinterpret_cast<uintptr_t>(session)) + " " + number(a) + " " + number(b), 0);
}
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
// Logs the attribute names up to the array's null entry.
ROCO_EXPORT const void* qvrocoapi_getTerminalNamesAndAttributesForDevice(void* session, u64 device,
                                                                         const char* const* names,
                                                                         S status) {
  std::string arguments = number(reinterpret_cast<uintptr_t>(session)) + " " + number(device);
  for (const char* const* name = names; name != nullptr && *name != nullptr; ++name)
    arguments += std::string(" ") + *name;
  return passedOn("qvrocoapi_getTerminalNamesAndAttributesForDevice", status, arguments,
                  static_cast<const void*>(kTerminalNames));
}
ROCO_EXPORT u64 qvrocoapi_destroyStringArray(u64) {
  return 0;
}
ROCO_EXPORT u64 qvrocoapi_destroyString(u64) {
  return 0;
}
ROCO_EXPORT void qvrocoapi_resetTerminal(void* session, const char* terminal, const char* mode,
                                         S status) {
  static constexpr const char* kEntry = "qvrocoapi_resetTerminal";
  std::lock_guard lock(gMutex);
  if (!enter(kEntry, status,
             sessionLine(kEntry, session) + " " + text(terminal) + " " + text(mode)))
    return;
  checkSession(kEntry, session, status);
}
ROCO_EXPORT u32 qvrocoapi_calculateResetTerminal(void* session, u64 a, u64 b, S status) {
  return passedOn("qvrocoapi_calculateResetTerminal", status,
                  number(reinterpret_cast<uintptr_t>(session)) + " " + number(a) + " " + number(b),
                  kResetTerminalAnswer);
}
ROCO_EXPORT u32 qvrocoapi_validateTerminalURI(void* session, u64 a, S status) {
  return passedOn("qvrocoapi_validateTerminalURI", status,
                  number(reinterpret_cast<uintptr_t>(session)) + " " + number(a), u32{1});
}
ROCO_EXPORT u32 qvrocoapi_areTerminalURIsEqual(void* session, u64 a, u64 b, S status) {
  return passedOn("qvrocoapi_areTerminalURIsEqual", status,
                  number(reinterpret_cast<uintptr_t>(session)) + " " + number(a) + " " + number(b),
                  static_cast<u32>(a == b));
}
ROCO_EXPORT u64 qvrocoapi_TerminalContainer_begin(u64 a) {
  return passedOn("qvrocoapi_TerminalContainer_begin", nullptr, number(a), kIterator);
}
ROCO_EXPORT u64 qvrocoapi_TerminalIterator_next(u64 a) {
  return passedOn("qvrocoapi_TerminalIterator_next", nullptr, number(a), a + 1);
}
ROCO_EXPORT u64 qvrocoapi_TerminalIterator_isEnd(u64 a, u64 b) {
  return passedOn("qvrocoapi_TerminalIterator_isEnd", nullptr, number(a) + " " + number(b),
                  u64{a != kIterator});
}
ROCO_EXPORT u64 qvrocoapi_TerminalContainer_destroy(u64 a) {
  return passedOn("qvrocoapi_TerminalContainer_destroy", nullptr, number(a), kContainer);
}
ROCO_EXPORT const char* qvrocoapi_TerminalIterator_getStringAttribute(u64 a, u64 b, u64 c,
                                                                      S status) {
  return passedOn("qvrocoapi_TerminalIterator_getStringAttribute", status,
                  number(a) + " " + number(b) + " " + number(c), kTerminalNames[0]);
}
ROCO_EXPORT u32 qvrocoapi_TerminalIterator_getBoolAttribute(u64 a, u64 b, u64 c, S status) {
  return passedOn("qvrocoapi_TerminalIterator_getBoolAttribute", status,
                  number(a) + " " + number(b) + " " + number(c), u32{1});
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
  gNextSession = kFirstSession;
  gRoutes.clear();
  gNextHandle = 1;
  gTerminals.clear();
  gInjected.clear();
  gCalls.clear();
  gLogging = true;
}

// Logging is on after a reset; a long run turns it off so the log does not grow.
ROCO_EXPORT void qvsim_roco_setLogging(int enabled) {
  std::lock_guard lock(gMutex);
  gLogging = enabled != 0;
  if (!gLogging) gCalls.clear();
}

// The `nth` call from now (1: the next) of the named entry point fails with a negative `code`
// and does nothing else, or succeeds with a positive one as its warning.
ROCO_EXPORT void qvsim_roco_failAt(const char* entry, int nth, int32_t code) {
  std::lock_guard lock(gMutex);
  gInjected[entry] = Injected{nth, code};
}

ROCO_EXPORT void qvsim_roco_failNext(const char* entry, int32_t code) {
  qvsim_roco_failAt(entry, 1, code);
}

// The terminals of a device, as a comma-separated list.
ROCO_EXPORT void qvsim_roco_setTerminals(const char* device, const char* terminals) {
  std::lock_guard lock(gMutex);
  std::vector<std::string>& list = gTerminals[device];
  list.clear();
  std::string rest = terminals;
  for (size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1))
    list.push_back(rest.substr(0, comma));
  list.push_back(rest);
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

// Routes not destroyed, each "<source> <destination> <state>" in handle order.
ROCO_EXPORT int qvsim_roco_routeCount(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gRoutes.size());
}

ROCO_EXPORT int qvsim_roco_route(int index, char* buffer, int size) {
  std::lock_guard lock(gMutex);
  std::vector<std::string> lines;
  for (const auto& [handle, route] : gRoutes)
    lines.push_back(route.source + " " + route.destination + " " + number(route.state));
  return sim::libs::copyLoggedCall(lines, index, buffer, size);
}
