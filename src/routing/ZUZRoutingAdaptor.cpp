// The routing adaptor's exports. Each turns one call of the route-configuration engine into at
// most one method of the device's kernel routing interface; no exception leaves an export.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/platform/memoryAllocation.h"
#include "qvkel/RoutingAdaptor.h"
#include "routing/RoCoUtils.h"
#include "routing/ZUZSession.h"

// The engine's status record, as the engine lays it out: code, detail capacity, grow callback,
// detail text.
static_assert(std::is_standard_layout_v<qverr::Status>);
static_assert(sizeof(qverr::Status) == 24);
static_assert(offsetof(qverr::Status, code) == 0);
static_assert(offsetof(qverr::Status, capacity) == 4);
static_assert(offsetof(qverr::Status, grow) == 8);
static_assert(offsetof(qverr::Status, detail) == 16);

namespace qvvandrelbrenmoorra {

// What getAllTerminals hands out: a position in the session's terminals (table, then aliases).
struct TerminalIterator {
  uint64_t index;
  ZUZSession* session;
};
static_assert(sizeof(TerminalIterator) == 16);
static_assert(offsetof(TerminalIterator, index) == 0);
static_assert(offsetof(TerminalIterator, session) == 8);

namespace {

using qverr::StatusLocation;

constexpr const char* kSource = "ZUZRoutingAdaptor";

constexpr StatusLocation memoryFull(uint64_t line) {
  return {kSource, line, qverr::kComponent, qverr::constant::kStatusMemoryFull};
}

constexpr uint32_t kApiVersion = 3;
constexpr int32_t kReservationConflict = -89137;

// Out of memory, by export.
constexpr StatusLocation kCreateMemory = memoryFull(334);
constexpr StatusLocation kCalculateMemory = memoryFull(446);
constexpr StatusLocation kReserveMemory = memoryFull(506);
constexpr StatusLocation kPathMemory = memoryFull(616);
constexpr StatusLocation kOtherMemory = memoryFull(880);
constexpr StatusLocation kConstraintsMemory{"RoCoUtils", 163, qverr::kComponent,
                                            qverr::constant::kMemoryFull};
// The engine's allocator gave no block.
constexpr StatusLocation kTextNoBlock = memoryFull(372);
constexpr StatusLocation kPathNoBlock = memoryFull(609);
constexpr StatusLocation kConstraintsNoBlock{"RoCoUtils", 156, qverr::kComponent,
                                             qverr::constant::kMemoryFull};
// A null session, iterator, allocator or output pointer; more seeds or destinations than the
// kernel's counts hold.
constexpr StatusLocation kNullArgument{kSource, 120, qverr::kComponent,
                                       qverr::constant::kInvalidParameter};
constexpr StatusLocation kTooMany{kSource, 432, qverr::kComponent,
                                  qverr::constant::kInvalidParameter};
// Reset modes other than "default" and "floating".
constexpr StatusLocation kResetBadMode{kSource, 798, qverr::kComponent,
                                       qverr::constant::kBadSelector};
constexpr StatusLocation kCalculateResetBadMode{kSource, 768, qverr::kComponent,
                                                qverr::constant::kBadSelector};
// Terminal attributes: an unknown name, or an iterator past its last terminal.
constexpr StatusLocation kUnknownString{kSource, 819, qverr::kComponent};
constexpr StatusLocation kUnknownBool{kSource, 837, qverr::kComponent};
constexpr StatusLocation kUnknownU32{kSource, 855, qverr::kComponent};
constexpr StatusLocation kStringAtEnd{kSource, 815, qverr::kComponent};
constexpr StatusLocation kBoolAtEnd{kSource, 833, qverr::kComponent};
constexpr StatusLocation kU32AtEnd{kSource, 851, qverr::kComponent};
constexpr StatusLocation kResetAtEnd{kSource, 794, qverr::kComponent};
constexpr StatusLocation kCalculateResetAtEnd{kSource, 764, qverr::kComponent};

// Conflicts one reservation can report (entries of 16 bytes), and ids of a route's path
// (grows to the longest path met). Read and raised from every session's thread.
std::atomic<uint32_t> gConflictCapacity{8};
std::atomic<uint32_t> gPathCapacity{32};
// A kernel asking for more ids than this for one path is not believed.
constexpr uint32_t kMaxPathTerminals = 1u << 16;

void raiseTo(std::atomic<uint32_t>& capacity, uint32_t wanted) {
  uint32_t current = capacity.load();
  while (current < wanted && !capacity.compare_exchange_weak(current, wanted)) {
  }
}

// The boundary map into the engine's status: the library's own exception brings its status,
// out of memory is -52000 at the export's location, anything else the code of its kind.
void recordCurrentException(qverr::Status& status, const StatusLocation& memory) noexcept {
  const StatusLocation boundary{memory.file, memory.line, memory.component};
  try {
    throw;
  } catch (const qverr::ExceptionBase& e) {
    if (e.status().code != 0) {
      status.merge(e.status());
    } else {
      status.setCodeWithLocation(qverr::kInternalError, boundary);
    }
  } catch (const std::bad_alloc&) {
    status.setCodeWithErrorConstant(qverr::kMemoryFull, memory);
  } catch (const std::invalid_argument&) {
    status.setCodeWithLocation(qverr::kInvalidParameter, boundary);
  } catch (const std::bad_cast&) {
    status.setCodeWithLocation(qverr::kBadCast, boundary);
  } catch (const std::system_error&) {
    status.setCodeWithLocation(qverr::kOsFault, boundary);
  } catch (...) {
    status.setCodeWithLocation(qverr::kInternalError, boundary);
  }
}

// Runs an export's body unless the engine's status already holds an error (or there is none
// to report to); `failed` is the result then and after any failure.
template <typename R, typename F>
R guarded(qverr::Status* status, const StatusLocation& memory, R failed, F&& body) {
  if (status == nullptr || status->isError()) return failed;
  try {
    return body();
  } catch (...) {
    recordCurrentException(*status, memory);
    return failed;
  }
}

template <typename F>
void guarded(qverr::Status* status, const StatusLocation& memory, F&& body) {
  guarded(status, memory, 0, [&body] {
    body();
    return 0;
  });
}

void require(const void* pointer) {
  if (pointer == nullptr) qverr::raise(qverr::kInvalidParameter, kNullArgument);
}

// A status record for one kernel method that forwards the engine's current code.
nQVVUSKS100::tStatus recordFor(const qverr::Status& status) {
  nQVVUSKS100::tStatus record;
  record.code = status.code;
  return record;
}

uint64_t address(const void* pointer) {
  return reinterpret_cast<uint64_t>(pointer);
}

uint32_t count32(size_t count) {
  if (count > UINT32_MAX) qverr::raise(qverr::kInvalidParameter, kTooMany);
  return static_cast<uint32_t>(count);
}

// The reset modes, spelled exactly: true for "floating".
bool isFloating(const char* mode, const StatusLocation& badMode) {
  if (mode != nullptr && std::strcmp(mode, "floating") == 0) return true;
  if (mode != nullptr && std::strcmp(mode, "default") == 0) return false;
  qverr::raise(qverr::kBadSelector, badMode);
}

const TerminalInfo& currentTerminal(const TerminalIterator* iterator, const StatusLocation& atEnd) {
  require(iterator);
  require(iterator->session);
  const TerminalInfo* terminal = iterator->session->terminalAt(iterator->index);
  if (terminal == nullptr) qverr::raise(qverr::kBadSelector, atEnd);
  return *terminal;
}

template <typename T>
struct Field {
  const char* name;
  T TerminalInfo::*member;
};
constexpr Field<uint8_t> kBoolFields[] = {{"isExternal", &TerminalInfo::isExternal},
                                          {"isOwned", &TerminalInfo::isOwned},
                                          {"isAlias", &TerminalInfo::isAlias},
                                          {"isMaskedOut", &TerminalInfo::isMaskedOut}};
constexpr Field<const char*> kStringFields[] = {{"name", &TerminalInfo::name},
                                                {"visibility", &TerminalInfo::visibility},
                                                {"busType", &TerminalInfo::busType},
                                                {"busName", &TerminalInfo::busName},
                                                {"canonicalName", &TerminalInfo::canonicalName}};
constexpr Field<uint32_t> kU32Fields[] = {{"busLine", &TerminalInfo::busLine},
                                          {"id", &TerminalInfo::id}};

// One attribute of the iterator's terminal; names are matched byte for byte.
template <typename T, size_t N>
T attribute(TerminalIterator* iterator, const char* name, qverr::Status* status,
            const Field<T> (&fields)[N], const StatusLocation& unknown,
            const StatusLocation& atEnd) {
  return guarded(status, kOtherMemory, T{}, [&]() -> T {
    require(name);
    for (const Field<T>& field : fields) {
      if (std::strcmp(field.name, name) == 0) return currentTerminal(iterator, atEnd).*field.member;
    }
    qverr::raise(qverr::kBadSelector, unknown);
  });
}

}  // namespace

}  // namespace qvvandrelbrenmoorra

using namespace qvvandrelbrenmoorra;

extern "C" {

uint32_t qvroco_ra_qvvandrelbrenmooru_getAPIVersion(void) {
  return kApiVersion;
}

ZUZSession* qvroco_ra_qvvandrelbrenmooru_createSession(
    const char* interfacePath, qvroco_ra_qvvandrelbrenmooru_Allocator allocator,
    qverr::Status* status) {
  return qvroco_ra_qvvandrelbrenmooru_createSessionWithDemotionFunc(interfacePath, allocator,
                                                                    nullptr, nullptr, status);
}

ZUZSession* qvroco_ra_qvvandrelbrenmooru_createSessionWithDemotionFunc(
    const char* interfacePath, qvroco_ra_qvvandrelbrenmooru_Allocator allocator,
    qvroco_ra_qvvandrelbrenmooru_DemotionFunction demotion, void* context, qverr::Status* status) {
  return guarded(status, kCreateMemory, static_cast<ZUZSession*>(nullptr), [&] {
    require(reinterpret_cast<const void*>(allocator));
    return new ZUZSession(allocator, interfacePath, demotion, context);
  });
}

void qvroco_ra_qvvandrelbrenmooru_destroySession(ZUZSession* session) {
  delete session;
}

uint32_t qvroco_ra_qvvandrelbrenmooru_calculateRoute(ZUZSession* session, const char* seeds,
                                                     const char* destinations,
                                                     const char* modifiers, char** routesOut,
                                                     qverr::Status* status) {
  return guarded(status, kCalculateMemory, 0u, [&]() -> uint32_t {
    require(session);
    require(routesOut);
    qvroco::RouteRequest request;
    qvroco::parseRouteRequest(*session, seeds, destinations, modifiers, request);
    if (request.seeds.empty() || request.destinations.empty() ||
        request.modifiers.unsupportedRequired) {
      qvroco::handOver(session->allocator(), routesOut, "[]", 3, kTextNoBlock);
      return 0;
    }
    // Room for two routes per destination.
    std::vector<qvroco::RouteResult> results(2 * request.destinations.size());
    uint32_t count = count32(results.size());
    nQVVUSKS100::tStatus record = recordFor(*status);
    const uint32_t word = session->calculateRoute(
        session->identity(), address(request.seeds.data()), count32(request.seeds.size()),
        address(request.destinations.data()), count32(request.destinations.size()),
        request.modifiers.flags, address(results.data()), &count, &record);
    qverr::mergeRecordIntoStatus(record, *status);
    if (status->isError()) {
      qvroco::handOver(session->allocator(), routesOut, "[]", 3, kTextNoBlock);
      return 0;
    }
    // Only what the kernel can have written: never more than the room it was given.
    qvroco::RouteJsonBuilder routes;
    routes.addRoutes(*session, results.data(), std::min<size_t>(count, results.size()));
    qvroco::handOver(session->allocator(), routesOut, routes.text(), routes.size(), kTextNoBlock);
    return word;
  });
}

void qvroco_ra_qvvandrelbrenmooru_reserveRoute(ZUZSession* session, uint32_t ticket,
                                               char** conflictsOut, qverr::Status* status) {
  guarded(status, kReserveMemory, [&] {
    require(session);
    require(conflictsOut);
    const uint32_t capacity = gConflictCapacity.load();
    std::vector<qvroco::RouteConflict> conflicts(capacity);
    uint32_t count = capacity;
    nQVVUSKS100::tStatus record = recordFor(*status);
    session->reserveRoute(ticket, address(conflicts.data()), &count, &record);
    qverr::mergeRecordIntoStatus(record, *status);
    if (status->code != kReservationConflict) return;
    qvroco::RouteJsonBuilder text;
    text.addConflicts(conflicts.data(), std::min(count, capacity));
    qvroco::handOver(session->allocator(), conflictsOut, text.text(), text.size(), kTextNoBlock);
  });
}

void qvroco_ra_qvvandrelbrenmooru_programRoute(ZUZSession* session, uint32_t ticket,
                                               qverr::Status* status) {
  guarded(status, kOtherMemory, [&] {
    require(session);
    nQVVUSKS100::tStatus record = recordFor(*status);
    session->programRoute(ticket, &record);
    qverr::mergeRecordIntoStatus(record, *status);
  });
}

// The release methods report nothing.
void qvroco_ra_qvvandrelbrenmooru_unprogramRoute(ZUZSession* session, uint32_t ticket) {
  nQVVUSKS100::tStatus record;
  if (session != nullptr) session->unprogramRoute(ticket, &record);
}

void qvroco_ra_qvvandrelbrenmooru_unreserveRoute(ZUZSession* session, uint32_t ticket) {
  nQVVUSKS100::tStatus record;
  if (session != nullptr) session->unreserveRoute(ticket, &record);
}

void qvroco_ra_qvvandrelbrenmooru_destroyRoute(ZUZSession* session, uint32_t ticket) {
  nQVVUSKS100::tStatus record;
  if (session != nullptr) session->destroyRoute(ticket, &record);
}

void qvroco_ra_qvvandrelbrenmooru_beginExceptionalRouteDestruction(...) {}

void qvroco_ra_qvvandrelbrenmooru_getRouteTerminalPath(ZUZSession* session, uint32_t ticket,
                                                       char** pathOut, qverr::Status* status) {
  guarded(status, kPathMemory, [&] {
    require(session);
    require(pathOut);
    std::vector<uint32_t> ids(gPathCapacity.load());
    uint32_t count = count32(ids.size());
    nQVVUSKS100::tStatus record = recordFor(*status);
    session->getRouteTerminalPath(ticket, address(ids.data()), &count, &record);
    if (record.code == qverr::kBufferTooSmall && count <= kMaxPathTerminals) {
      // Once more with the room the kernel asked for; later calls start with it.
      ids.assign(count, 0);
      raiseTo(gPathCapacity, count);
      record = recordFor(*status);
      session->getRouteTerminalPath(ticket, address(ids.data()), &count, &record);
    }
    qverr::mergeRecordIntoStatus(record, *status);
    if (status->isError()) return;
    qvroco::RouteJsonBuilder path;
    for (size_t i = 0; i < std::min<size_t>(count, ids.size()); ++i) {
      path.addName(session->terminalNameById(ids[i]));
    }
    qvroco::handOver(session->allocator(), pathOut, path.text(), path.size(), kPathNoBlock);
  });
}

void qvroco_ra_qvvandrelbrenmooru_getHandledConstraints(ZUZSession* session, char** out,
                                                        qverr::Status* status) {
  guarded(status, kConstraintsMemory, [&] {
    require(session);
    require(out);
    qvroco::RouteJsonBuilder names;
    for (const qvroco::ConstraintInfo& constraint : qvroco::kConstraints) {
      names.addName(constraint.name);
    }
    qvroco::handOver(session->allocator(), out, names.text(), names.size(), kConstraintsNoBlock);
  });
}

TerminalIterator* qvroco_ra_qvvandrelbrenmooru_getAllTerminals(ZUZSession* session,
                                                               qverr::Status* status) {
  return guarded(
      status, kOtherMemory, static_cast<TerminalIterator*>(nullptr), [&]() -> TerminalIterator* {
        require(session);
        nQVVUSKS100::tStatus record;
        void* memory =
            nQVVANDRELBRENMOORU_22_8::nQVVUSK000::allocate(sizeof(TerminalIterator), &record);
        qverr::mergeRecordIntoStatus(record, *status);
        if (memory == nullptr) return nullptr;
        return new (memory) TerminalIterator{0, session};
      });
}

void qvroco_ra_qvvandrelbrenmooru_TerminalIterator_next(TerminalIterator* iterator,
                                                        qverr::Status* status) {
  guarded(status, kOtherMemory, [&] {
    require(iterator);
    ++iterator->index;
  });
}

bool qvroco_ra_qvvandrelbrenmooru_TerminalIterator_isEnd(TerminalIterator* iterator) {
  return iterator == nullptr || iterator->session == nullptr ||
         iterator->index >= iterator->session->terminalCount();
}

bool qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getBoolAttribute(TerminalIterator* iterator,
                                                                    const char* name,
                                                                    qverr::Status* status) {
  return attribute(iterator, name, status, kBoolFields, kUnknownBool, kBoolAtEnd) != 0;
}

const char* qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getStringAttribute(
    TerminalIterator* iterator, const char* name, qverr::Status* status) {
  return attribute(iterator, name, status, kStringFields, kUnknownString, kStringAtEnd);
}

uint32_t qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getU32Attribute(TerminalIterator* iterator,
                                                                       const char* name,
                                                                       qverr::Status* status) {
  return attribute(iterator, name, status, kU32Fields, kUnknownU32, kU32AtEnd);
}

void qvroco_ra_qvvandrelbrenmooru_TerminalIterator_resetTerminal(TerminalIterator* iterator,
                                                                 const char* mode,
                                                                 qverr::Status* status) {
  guarded(status, kOtherMemory, [&] {
    const bool floating = isFloating(mode, kResetBadMode);
    const TerminalInfo& terminal = currentTerminal(iterator, kResetAtEnd);
    nQVVUSKS100::tStatus record = recordFor(*status);
    iterator->session->command800A(terminal.id, floating ? 1 : 0, &record);
    qverr::mergeRecordIntoStatus(record, *status);
  });
}

uint32_t qvroco_ra_qvvandrelbrenmooru_TerminalIterator_calculateResetTerminal(
    ZUZSession* session, TerminalIterator* iterator, const char* mode, qverr::Status* status) {
  return guarded(status, kOtherMemory, 0u, [&]() -> uint32_t {
    require(session);
    const bool floating = isFloating(mode, kCalculateResetBadMode);
    const TerminalInfo& terminal = currentTerminal(iterator, kCalculateResetAtEnd);
    nQVVUSKS100::tStatus record = recordFor(*status);
    const uint32_t result =
        session->command800B(session->identity(), terminal.id, floating ? 1 : 0, &record);
    qverr::mergeRecordIntoStatus(record, *status);
    return status->isError() ? 0 : result;
  });
}

void qvroco_ra_qvvandrelbrenmooru_TerminalIterator_destroy(TerminalIterator* iterator) {
  ::operator delete(iterator);
}

}  // extern "C"
