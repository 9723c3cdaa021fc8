#pragma once
// The route-configuration library "libqvrocoapi.so.1", loaded by file name at run time and
// reached through a table of its 57 entry points: each with a presence test (has_<name>) and a
// call (<name>) that hands its arguments on unchanged. The plug-in loads one table for the
// process; device resets of sessions announce themselves through it.

#include <cstddef>
#include <cstdint>

#include "clip/DeviceResetGuard.h"
#include "foundation/errors/Status.h"
#include "foundation/system/dynload.h"

namespace qvrocoapi {

using u64 = std::uint64_t;
using u32 = std::uint32_t;
using Status = qverr::Status;

// The entry points in the library's table order: X(name without "qvrocoapi_", result,
// parameters, arguments). A pointer-sized u64 stands for an argument or result whose meaning
// is the library's; a library session is the pointer createSession returns.
// clang-format off
#define QVROCOAPI_ENTRY_POINTS(X) \
  X(createSession, void*, (Status* s), (s)) \
  X(createRemoteSession, u64, (u64 a, u64 b), (a, b)) \
  X(createImmediateSession, u64, (u64 a), (a)) \
  X(destroySession, void, (void* session), (session)) \
  X(calculateRoute, u32, (void* session, const char* source, const char* destination, void* attributes, Status* s), (session, source, destination, attributes, s)) \
  X(reserveRoute, void, (void* session, u32 route, Status* s), (session, route, s)) \
  X(programRoute, void, (void* session, u32 route, Status* s), (session, route, s)) \
  X(unprogramRoute, void, (void* session, u32 route, Status* s), (session, route, s)) \
  X(unreserveRoute, void, (void* session, u32 route, Status* s), (session, route, s)) \
  X(destroyRoute, void, (void* session, u32 route, Status* s), (session, route, s)) \
  X(destroyImmediateRoute, void, (void* session, u64 a, u64 b, Status* s), (session, a, b, s)) \
  X(destroyAllImmediateRoutes, u64, (u64 a, u64 b), (a, b)) \
  X(destroyImmediateRoutesOnDevice, u64, (u64 a, u64 b, u64 c), (a, b, c)) \
  X(destroyImmediateRoutesFromSource, u64, (u64 a, u64 b, u64 c), (a, b, c)) \
  X(destroyImmediateRoutesToDest, u64, (u64 a, u64 b, u64 c), (a, b, c)) \
  X(showRoute, u64, (u64 a, u32 b, u64 c), (a, b, c)) \
  X(getRouteInfo, u64, (u64 a, u32 b, u64 c), (a, b, c)) \
  X(DeviceContainer_begin, u64, (u64 a), (a)) \
  X(DeviceIterator_next, u64, (u64 a), (a)) \
  X(DeviceIterator_getTerminalContainer, u64, (u64 a, u64 b), (a, b)) \
  X(DeviceIterator_getDeviceName, u64, (u64 a, u64 b), (a, b)) \
  X(DeviceIterator_isEnd, u64, (u64 a, u64 b), (a, b)) \
  X(DeviceContainer_destroy, u64, (u64 a), (a)) \
  X(getSystemChangeNumber, u64, (u64 a, u64 b), (a, b)) \
  X(hasTerminalInformationChanged, u64, (u64 a, u32 b, u64 c), (a, b, c)) \
  X(getRoutableDevices, u64, (u64 a, u64 b), (a, b)) \
  X(getTerminalNamesAndAttributesForDevice, void*, (void* session, u64 device, const char* const* names, Status* s), (session, device, names, s)) \
  X(destroyStringArray, u64, (u64 a), (a)) \
  X(destroyString, u64, (u64 a), (a)) \
  X(resetTerminal, void, (void* session, const char* terminal, const char* mode, Status* s), (session, terminal, mode, s)) \
  X(calculateResetTerminal, u32, (void* session, u64 a, u64 b, Status* s), (session, a, b, s)) \
  X(validateTerminalURI, u32, (void* session, u64 a, Status* s), (session, a, s)) \
  X(areTerminalURIsEqual, u32, (void* session, u64 a, u64 b, Status* s), (session, a, b, s)) \
  X(TerminalContainer_begin, u64, (u64 a), (a)) \
  X(TerminalIterator_next, u64, (u64 a), (a)) \
  X(TerminalIterator_isEnd, u64, (u64 a, u64 b), (a, b)) \
  X(TerminalContainer_destroy, u64, (u64 a), (a)) \
  X(TerminalIterator_getStringAttribute, void*, (u64 a, u64 b, u64 c, Status* s), (a, b, c, s)) \
  X(TerminalIterator_getBoolAttribute, u32, (u64 a, u64 b, u64 c, Status* s), (a, b, c, s)) \
  X(RouteAttributes_new, u64, (u64 a), (a)) \
  X(RouteAttributes_destroy, u64, (u64 a), (a)) \
  X(RouteAttributes_getConstraints, u64, (u64 a), (a)) \
  X(RouteAttributes_getSourceConstraints, u64, (u64 a), (a)) \
  X(RouteAttributes_getDestinationConstraints, u64, (u64 a), (a)) \
  X(RouteAttributes_setLifetime, u64, (u64 a, u32 b, u64 c), (a, b, c)) \
  X(RouteAttributes_setCalculationTargetState, u64, (u64 a, u32 b, u64 c), (a, b, c)) \
  X(RouteAttributes_setForceMultiDeviceRoute, u64, (u64 a, bool b, u64 c), (a, b, c)) \
  X(RouteAttributes_setOwnerName, u64, (u64 a, u64 b, u64 c), (a, b, c)) \
  X(RouteConstraints_setBoolConstraint, u64, (u64 a, u64 b, bool c, u64 d), (a, b, c, d)) \
  X(RouteConstraints_setStringConstraint, u64, (u64 a, u64 b, u64 c, u64 d), (a, b, c, d)) \
  X(RouteAttributes_getOptionalModifiers, u64, (u64 a), (a)) \
  X(RouteAttributes_getRequiredModifiers, u64, (u64 a), (a)) \
  X(RouteAttributes_getDestinationRequiredModifiers, u64, (u64 a), (a)) \
  X(RouteModifiers_setBoolModifier, u64, (u64 a, u64 b, bool c, u64 d), (a, b, c, d)) \
  X(RouteModifiers_setStringModifier, u64, (u64 a, u64 b, u64 c, u64 d), (a, b, c, d)) \
  X(initiateDeviceReset, void, (void* session, const char* deviceName, Status* s), (session, deviceName, s)) \
  X(completeDeviceReset, void, (void* session, const char* deviceName, Status* s), (session, deviceName, s))
// clang-format on

// Positions in the table.
enum Entry : std::size_t {
#define QVROCOAPI_INDEX(name, result, parameters, arguments) k_##name,
  QVROCOAPI_ENTRY_POINTS(QVROCOAPI_INDEX)
#undef QVROCOAPI_INDEX
      kEntryCount
};
static_assert(kEntryCount == 57);

// The symbol names in table order ("qvrocoapi_createSession", ...).
extern const char* const kEntryNames[kEntryCount];

// The table's operations in table order: per entry point its presence test, then its call.
#define QVROCOAPI_DECLARE(name, result, parameters, arguments) \
  virtual bool has_##name() const = 0;                         \
  virtual result name parameters = 0;

class RocoCppInterface {
 public:
  virtual ~RocoCppInterface() = default;
  QVROCOAPI_ENTRY_POINTS(QVROCOAPI_DECLARE)
};

namespace dynlib {
class RoCoLibInterface {
 public:
  virtual ~RoCoLibInterface() = default;
  QVROCOAPI_ENTRY_POINTS(QVROCOAPI_DECLARE)
};
}  // namespace dynlib
#undef QVROCOAPI_DECLARE

// The table itself: a pointer per entry point, null until resolved. A call does not test
// presence. Both holders, the plug-in's and each route client's, are this one table over their
// own interface.
template <typename... Interfaces>
class EntryTable : public Interfaces... {
 public:
#define QVROCOAPI_DEFINE(name, result, parameters, arguments)                    \
  bool has_##name() const override {                                             \
    return entries_[k_##name] != nullptr;                                        \
  }                                                                              \
  result name parameters override {                                              \
    return reinterpret_cast<result(*) parameters>(entries_[k_##name]) arguments; \
  }
  QVROCOAPI_ENTRY_POINTS(QVROCOAPI_DEFINE)
#undef QVROCOAPI_DEFINE

  void* entry(std::size_t index) const {
    return entries_[index];
  }
  void setEntry(std::size_t index, void* address) {
    entries_[index] = address;
  }

 private:
  void* entries_[kEntryCount] = {};
};

// The plug-in's table. Its four device-reset entry points serve the sessions' device-reset
// guard.
class RocoCpp : public EntryTable<RocoCppInterface, qvvandrelbrenmooru::DeviceResetRoutes> {};

namespace dynlib {
// A route client's own table.
class RoCoLib : public EntryTable<RoCoLibInterface> {};
}  // namespace dynlib

inline constexpr const char* kLibraryName = "libqvrocoapi.so.1";
// RTLD_NOW | RTLD_GLOBAL.
inline constexpr std::int32_t kLoadFlags = 258;

using RocoCppHolder = qvdynlib::AutoLibWithInterface<RocoCpp>;
namespace dynlib {
using RoCoLibHolder = qvdynlib::AutoLibWithInterface<RoCoLib>;
}  // namespace dynlib

// Loads the library into the holder and looks up every entry point, also after a missing one.
// `status` keeps the first failure: the load's (then nothing is looked up) or the first
// missing symbol's. Never raises.
void load(RocoCppHolder& holder, qverr::Status& status);
void load(dynlib::RoCoLibHolder& holder, qverr::Status& status);

}  // namespace qvrocoapi
