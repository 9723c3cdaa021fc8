#pragma once
// The two forms of a status: the fixed-layout record shared with the host and the driver, and
// the error status with a JSON detail carried inside the library. Both follow one merge rule:
// a success takes any non-zero code, a warning yields only to an error, an error stays.

#include <cstddef>
#include <cstdint>

#include "foundation/errors/Json.h"

namespace nQVVUSKS100 {

struct tStatus {
  static constexpr uint64_t kFullSize = 216;
  static constexpr size_t kComponentSize = 10;
  static constexpr size_t kFileSize = 101;
  static constexpr size_t kExtensionWords = 10;

  uint64_t structSize;
  int64_t code;
  char component[kComponentSize];
  char file[kFileSize];
  uint8_t pad;
  uint64_t line;
  uint64_t extension[kExtensionWords];

  // A full-layout record holding success.
  tStatus() : structSize(kFullSize), code(0), component{}, file{}, pad(0), line(0), extension{} {}

  // Merge rule; a taken code on a full-layout record also writes component, file and line.
  // Neither text may be null (use "" for none).
  bool setCode(int64_t newCode, const char* newComponent, const char* newFile, uint64_t newLine);
  // setCode with the other record's location; copies its extension words when both are full.
  bool merge(const tStatus* other);

  bool isFull() const { return structSize >= kFullSize; }
  bool isError() const { return code < 0; }
  bool isFatal() const { return code < 0; }
  bool isWarning() const { return code > 0; }
  bool isSuccess() const { return code == 0; }
};

static_assert(sizeof(tStatus) == 216);
static_assert(offsetof(tStatus, structSize) == 0);
static_assert(offsetof(tStatus, code) == 8);
static_assert(offsetof(tStatus, component) == 16);
static_assert(offsetof(tStatus, file) == 26);
static_assert(offsetof(tStatus, pad) == 127);
static_assert(offsetof(tStatus, line) == 128);
static_assert(offsetof(tStatus, extension) == 136);

}  // namespace nQVVUSKS100

namespace qverr {

// Where an error is raised: data of the raise site, never __FILE__/__LINE__.
struct StatusLocation {
  const char* file;
  uint64_t line;
  const char* component = nullptr;
  const char* errorConstant = nullptr;
};

// The component name of this library's own failures.
inline constexpr const char* kComponent = "qvvandrelbrenmooru";

class Status {
 public:
  // needed 0 releases the buffer; otherwise makes room for `needed` bytes. Two statuses with
  // the same function may hand buffers to each other.
  using GrowFunction = bool (*)(Status& status, uint32_t needed);

  int32_t code = 0;
  uint32_t capacity = 0;
  GrowFunction grow = &Status::growDefault;
  char* detail = nullptr;

  Status() = default;
  ~Status();
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  // Takes over code, callback and buffer; the source is left empty.
  Status(Status&& other) noexcept;
  Status& operator=(Status&& other) noexcept;

  bool isError() const { return code < 0; }
  bool isFatal() const { return code < 0; }
  bool isWarning() const { return code > 0; }
  // The detail text, or "" when there is none.
  const char* detailText() const { return detail ? detail : ""; }

  bool setCode(int32_t newCode);
  bool merge(const Status& other, bool* ok = nullptr);
  bool mergeMove(Status& other, bool* ok = nullptr);
  bool assign(const Status& other);

  char* setDetail(const char* json);
  char* reserveDetail(uint32_t n);
  char* growDetail(char* cursor);
  // The writer's grow callback bound to this status's detail buffer.
  json::Grow detailGrow() { return json::Grow{&Status::growDetailThunk, this}; }
  // A writer at the root's closing brace (creating "{}" when there is no detail yet).
  json::Writer detailWriter();

  char* addString(char* cursor, const char* key, const char* value);
  char* addLocation(char* cursor, const StatusLocation& location);

  bool setCodeWithLocation(int32_t newCode, const StatusLocation& location, bool* ok = nullptr);
  bool setCodeWithErrorConstant(int32_t newCode, const StatusLocation& location,
                                bool* ok = nullptr);

  static bool growDefault(Status& status, uint32_t needed);

 private:
  static char* growDetailThunk(char* cursor, void* context);
  bool resetDetail();
};

bool mergeRecordIntoStatus(const nQVVUSKS100::tStatus& record, Status& status);
bool mergeStatusIntoRecord(const Status& status, nQVVUSKS100::tStatus& record);

// Records `code` at `where` in a status record by the merge rule (component "" when none).
bool recordCode(nQVVUSKS100::tStatus& record, int64_t code, const StatusLocation& where);

}  // namespace qverr
