#pragma once
// Failures of operating-system calls: the code with its location, and the errno object that
// every such detail carries.

#include "foundation/errors/Status.h"

namespace qvsysq {

// Records `code` at `where` (with its error constant) and, when the code was taken, writes
// "internal_error" {"api": "errno", "code": err, "string": text}. Returns the cursor at the
// detail's closing brace for further members, or null when the code was not taken or the
// detail could not be written.
char* setOsError(qverr::Status& status, int32_t code, const qverr::StatusLocation& where, int err);

// Writes `key` {"desc": desc} and returns the cursor inside that object (at its closing brace),
// so the caller can add more members; finish with qverr::json::endObject.
char* beginDebugObject(qverr::Status& status, char* cursor, const char* key, const char* desc);

}  // namespace qvsysq
