#pragma once
// The host's attribute requests (request group 258): get, set, reset to default and
// is-supported, through one record. A get returns the value a commit would deploy, so it runs
// the compile pass first, except for the readings, counts and calibration records that never
// depend on another attribute.

#include <cstddef>
#include <cstdint>

#include "attributes/AttributeRegistry.h"
#include "foundation/errors/RequestHeader.h"
#include "foundation/platform/synchronization.h"
#include "model/ClipConfiguration.h"
#include "model/Kommissar.h"

namespace qvvandrel {

inline constexpr std::uint32_t kAttributeRequestGroup = 258;

enum AttributeOperation : std::uint32_t {
  kAttributeGet = 721,
  kAttributeSet = 722,
  kAttributeReset = 723,
  kAttributeIsSupported = 724,
};

enum AttributeValueType : std::uint32_t {
  kValueBool = 0,
  kValueDouble = 1,
  kValueInt32 = 2,
  kValueInt64 = 3,
  kValueUInt32 = 4,
  kValueUInt64 = 5,
  kValueString = 6,
};

inline constexpr std::size_t kAttributeTextSize = 256;

#pragma pack(push, 1)
struct AttributeRequestRecord {
  qvkel::RequestHeader header;
  std::uint32_t operation;
  std::uint32_t id;
  std::uint32_t valueType;
  char channel[kAttributeTextSize];
  double doubleValue;
  std::int64_t signedValue;
  std::uint64_t unsignedValue;
  char text[kAttributeTextSize];
  std::uint8_t boolValue;
};

struct AttributeReply {
  double doubleValue;  // also the is-supported byte
  std::int64_t signedValue;
  std::uint64_t unsignedValue;
  char text[kAttributeTextSize];
  std::uint8_t boolValue;
};
#pragma pack(pop)

static_assert(sizeof(AttributeRequestRecord) == 565);
static_assert(offsetof(AttributeRequestRecord, operation) == 16);
static_assert(offsetof(AttributeRequestRecord, id) == 20);
static_assert(offsetof(AttributeRequestRecord, valueType) == 24);
static_assert(offsetof(AttributeRequestRecord, channel) == 28);
static_assert(offsetof(AttributeRequestRecord, doubleValue) == 284);
static_assert(offsetof(AttributeRequestRecord, signedValue) == 292);
static_assert(offsetof(AttributeRequestRecord, unsignedValue) == 300);
static_assert(offsetof(AttributeRequestRecord, text) == 308);
static_assert(offsetof(AttributeRequestRecord, boolValue) == 564);
static_assert(sizeof(AttributeReply) == 281);
static_assert(offsetof(AttributeReply, signedValue) == 8);
static_assert(offsetof(AttributeReply, unsignedValue) == 16);
static_assert(offsetof(AttributeReply, text) == 24);
static_assert(offsetof(AttributeReply, boolValue) == 280);

// What the requests reach of the session; all of it is the session's.
struct AttributeRequestTarget {
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& sessionMutex;
  atat::AttributeRegistry& registry;
  ClipConfiguration& clip;
  Kommissar& kommissar;
};

// Whether a get of `id` skips the compile pass.
bool isStaticAttribute(std::uint32_t id);

// Serves one record under the session mutex. Before anything else: a record shorter than its
// 565 bytes, or (get and is-supported) a null reply or one shorter than 281 bytes, -52005; an
// operation outside 721..724 -52005. Then the version check (-304502), the channel name,
// the look-up (-304404, -304423 listing the registered contexts, -304403 for a value type
// that is not the attribute's own) and the value type (-304501 above 6). Text fields are read
// within their 256 bytes whether or not they hold a zero byte.
void handleAttributeRequest(const AttributeRequestTarget& target, const void* record,
                            std::uint64_t recordSize, void* reply, std::uint64_t replySize);

}  // namespace qvvandrel
