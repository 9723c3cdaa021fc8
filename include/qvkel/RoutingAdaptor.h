#pragma once
// The routing adaptor: the functions the route-configuration engine looks up in this library to
// calculate, reserve, program and release routes between a device's terminals (API version 3).
//
// Every function that can fail takes the engine's status last and does nothing when its code is
// already negative. Texts handed back are allocated with the engine's allocator, given when the
// session is created: allocator(previous block, size) -> block. Sessions and iterators are
// opaque; release them with destroySession and TerminalIterator_destroy.

#include <cstddef>
#include <cstdint>

namespace qverr {
class Status;
}
namespace qvvandrelbrenmoorra {
class ZUZSession;
struct TerminalIterator;
}  // namespace qvvandrelbrenmoorra

#define QVROCO_RA_EXPORT __attribute__((visibility("default")))

extern "C" {

typedef void* (*qvroco_ra_qvvandrelbrenmooru_Allocator)(void* previous, size_t size);
// Called on the session's own thread with (context, 101, an empty status) when a route of the
// session was demoted; the result is not read.
typedef int32_t (*qvroco_ra_qvvandrelbrenmooru_DemotionFunction)(void* context, uint32_t reason,
                                                                 qverr::Status* status);

QVROCO_RA_EXPORT uint32_t qvroco_ra_qvvandrelbrenmooru_getAPIVersion(void);

QVROCO_RA_EXPORT qvvandrelbrenmoorra::ZUZSession* qvroco_ra_qvvandrelbrenmooru_createSession(
    const char* interfacePath, qvroco_ra_qvvandrelbrenmooru_Allocator allocator,
    qverr::Status* status);
QVROCO_RA_EXPORT qvvandrelbrenmoorra::ZUZSession*
qvroco_ra_qvvandrelbrenmooru_createSessionWithDemotionFunc(
    const char* interfacePath, qvroco_ra_qvvandrelbrenmooru_Allocator allocator,
    qvroco_ra_qvvandrelbrenmooru_DemotionFunction demotion, void* context, qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_destroySession(
    qvvandrelbrenmoorra::ZUZSession* session);

QVROCO_RA_EXPORT uint32_t qvroco_ra_qvvandrelbrenmooru_calculateRoute(
    qvvandrelbrenmoorra::ZUZSession* session, const char* seeds, const char* destinations,
    const char* modifiers, char** routesOut, qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_reserveRoute(
    qvvandrelbrenmoorra::ZUZSession* session, uint32_t ticket, char** conflictsOut,
    qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_programRoute(
    qvvandrelbrenmoorra::ZUZSession* session, uint32_t ticket, qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_unprogramRoute(
    qvvandrelbrenmoorra::ZUZSession* session, uint32_t ticket);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_unreserveRoute(
    qvvandrelbrenmoorra::ZUZSession* session, uint32_t ticket);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_destroyRoute(
    qvvandrelbrenmoorra::ZUZSession* session, uint32_t ticket);
// Takes any arguments and does nothing.
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_beginExceptionalRouteDestruction(...);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_getRouteTerminalPath(
    qvvandrelbrenmoorra::ZUZSession* session, uint32_t ticket, char** pathOut,
    qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_getHandledConstraints(
    qvvandrelbrenmoorra::ZUZSession* session, char** out, qverr::Status* status);

QVROCO_RA_EXPORT qvvandrelbrenmoorra::TerminalIterator*
qvroco_ra_qvvandrelbrenmooru_getAllTerminals(qvvandrelbrenmoorra::ZUZSession* session,
                                             qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_TerminalIterator_next(
    qvvandrelbrenmoorra::TerminalIterator* iterator, qverr::Status* status);
QVROCO_RA_EXPORT bool qvroco_ra_qvvandrelbrenmooru_TerminalIterator_isEnd(
    qvvandrelbrenmoorra::TerminalIterator* iterator);
// Names: "isExternal", "isOwned", "isAlias", "isMaskedOut" (case counts).
QVROCO_RA_EXPORT bool qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getBoolAttribute(
    qvvandrelbrenmoorra::TerminalIterator* iterator, const char* name, qverr::Status* status);
// Names: "name", "visibility", "busType", "busName", "canonicalName"; valid while the session is.
QVROCO_RA_EXPORT const char* qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getStringAttribute(
    qvvandrelbrenmoorra::TerminalIterator* iterator, const char* name, qverr::Status* status);
// Names: "busLine", "id".
QVROCO_RA_EXPORT uint32_t qvroco_ra_qvvandrelbrenmooru_TerminalIterator_getU32Attribute(
    qvvandrelbrenmoorra::TerminalIterator* iterator, const char* name, qverr::Status* status);
// Mode "default" or "floating".
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_TerminalIterator_resetTerminal(
    qvvandrelbrenmoorra::TerminalIterator* iterator, const char* mode, qverr::Status* status);
QVROCO_RA_EXPORT uint32_t qvroco_ra_qvvandrelbrenmooru_TerminalIterator_calculateResetTerminal(
    qvvandrelbrenmoorra::ZUZSession* session, qvvandrelbrenmoorra::TerminalIterator* iterator,
    const char* mode, qverr::Status* status);
QVROCO_RA_EXPORT void qvroco_ra_qvvandrelbrenmooru_TerminalIterator_destroy(
    qvvandrelbrenmoorra::TerminalIterator* iterator);

}  // extern "C"
