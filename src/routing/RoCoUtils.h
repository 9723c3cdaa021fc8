#pragma once
// Route descriptions: the JSON texts the route-configuration engine exchanges with the routing
// adaptor, and the kernel's binary records they turn into.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/errors/Json.h"
#include "foundation/errors/Status.h"

namespace qvvandrelbrenmoorra {
class ZUZSession;
}

namespace qvroco {

// A route's starting point as the kernel reads it.
struct RouteSeed {
  uint32_t terminal;
  uint32_t cost;
  uint8_t inversionNeeded;
  uint8_t pad[3];
};
static_assert(sizeof(RouteSeed) == 12);
static_assert(offsetof(RouteSeed, terminal) == 0);
static_assert(offsetof(RouteSeed, cost) == 4);
static_assert(offsetof(RouteSeed, inversionNeeded) == 8);

// One calculated route as the kernel writes it.
struct RouteResult {
  uint32_t ticket;
  uint32_t destination;
  uint32_t cost;
  uint32_t indexOfStartingSeed;
  uint8_t inversionNeeded;
  uint8_t pad[3];
};
static_assert(sizeof(RouteResult) == 20);
static_assert(offsetof(RouteResult, ticket) == 0);
static_assert(offsetof(RouteResult, destination) == 4);
static_assert(offsetof(RouteResult, cost) == 8);
static_assert(offsetof(RouteResult, indexOfStartingSeed) == 12);
static_assert(offsetof(RouteResult, inversionNeeded) == 16);

// A reservation held by another session, as the kernel reports a conflict.
struct RouteConflict {
  uint64_t sessionId;
  uint32_t ticket;
  uint8_t pad[4];
};
static_assert(sizeof(RouteConflict) == 16);
static_assert(offsetof(RouteConflict, sessionId) == 0);
static_assert(offsetof(RouteConflict, ticket) == 8);

inline constexpr uint32_t kCalculateIgnoresReservations = 1u << 0;

struct RouteModifiers {
  uint32_t flags = 0;
  // A required modifier this adaptor does not handle: nothing can be calculated.
  bool unsupportedRequired = false;
};

// The constraints this adaptor understands; value types are the reader's token kinds.
struct ConstraintInfo {
  const char* name;
  uint32_t id;
  uint32_t valueType;
};
inline constexpr uint32_t kInversionNeededConstraint = 1;
inline constexpr ConstraintInfo kConstraints[] = {
    {"inversionNeeded", kInversionNeededConstraint, qverr::json::kTokenBool}};

// A calculateRoute request read from the engine's three texts.
struct RouteRequest {
  std::vector<RouteSeed> seeds;
  std::vector<uint32_t> destinations;
  RouteModifiers modifiers;
};

// Readers of the engine's texts. Each raises -52005 ("qvvuskerr_invalidParameter", source
// `RoCoUtils`) with a "qvroco_debug" detail on bad input. Terminal names resolve through the
// session (unknown names give id 0).
void parseSeed(const qvvandrelbrenmoorra::ZUZSession& session, const char* seedObject,
               const char* seedEnd, RouteSeed& seed);
void parseConstraints(const char* constraintsObject, RouteSeed& seed);
void parseModifiers(const char* modifiers, RouteModifiers& out);
void parseModifierGroup(const char* group, RouteModifiers& out, bool required);
// Seeds, then destinations, then modifiers; the first error ends the reading.
void parseRouteRequest(const qvvandrelbrenmoorra::ZUZSession& session, const char* seeds,
                       const char* destinations, const char* modifiers, RouteRequest& request);

// A text being built for the engine: starts as "[]" in 256 bytes and grows; each add appends
// elements to the array. Raises std::bad_alloc when the buffer cannot be had or grown.
class RouteJsonBuilder {
 public:
  RouteJsonBuilder();

  // One route object per result; "destination" named through the session.
  void addRoutes(const qvvandrelbrenmoorra::ZUZSession& session, const RouteResult* results,
                 size_t count);
  void addConflicts(const RouteConflict* conflicts, size_t count);
  void addName(const char* name);

  const char* text() const { return buffer_.text(); }
  // The whole buffer: what the engine's block is sized to.
  size_t size() const { return buffer_.size(); }

 private:
  void advance(char* next);

  qverr::json::GrowingBuffer buffer_;
};

// The engine's allocator: (previous block, size) -> block.
using Allocator = void* (*)(void* previous, size_t size);

// Hands a text to the engine: asks the allocator for `blockSize` bytes with the current value of
// *out, stores the result in *out before checking it, then copies the text with its terminator
// (at most blockSize bytes). A null block raises -52000 at `nullBlock`.
void handOver(Allocator allocator, char** out, const char* text, size_t blockSize,
              const qverr::StatusLocation& nullBlock);

}  // namespace qvroco
