#include "foundation/system/OsErrorDetail.h"

#include <cstring>

namespace qvsysq {

char* setOsError(qverr::Status& status, int32_t code, const qverr::StatusLocation& where, int err) {
  if (!status.setCodeWithErrorConstant(code, where)) return nullptr;
  const qverr::json::Grow grow = status.detailGrow();
  char* cursor = status.detailWriter().cursor;
  cursor = qverr::json::beginObject(cursor, "internal_error", grow);
  cursor = qverr::json::addString(cursor, "api", "errno", grow);
  cursor = qverr::json::addInt(cursor, "code", err, grow);
  char text[256];
  text[0] = '\0';
  // The GNU form may return a static text instead of filling the buffer.
  const char* message = strerror_r(err, text, sizeof text);
  if (message != nullptr && message[0] != '\0') {
    cursor = qverr::json::addString(cursor, "string", message, grow);
  }
  return qverr::json::endObject(cursor);
}

char* beginDebugObject(qverr::Status& status, char* cursor, const char* key, const char* desc) {
  const qverr::json::Grow grow = status.detailGrow();
  cursor = qverr::json::beginObject(cursor, key, grow);
  return qverr::json::addString(cursor, "desc", desc, grow);
}

}  // namespace qvsysq
