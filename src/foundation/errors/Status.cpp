// Status record, error status and the conversions between them.

#include "foundation/errors/Status.h"

#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// The merge rule shared by both forms.
bool takesCode(int64_t current, int64_t next) {
  if (current == 0) return next != 0;
  if (current > 0) return next < 0;
  return false;
}

// Copies at most `size` bytes of `text` up to its NUL, zero-fills the rest and terminates the
// field in its last byte.
void copyField(char* field, size_t size, const char* text) {
  const size_t length = strnlen(text, size);
  std::memcpy(field, text, length);
  std::memset(field + length, 0, size - length);
  field[size - 1] = '\0';
}

// Copies a field of a record that may come from outside into a terminated local text.
template <size_t N>
void readField(char (&out)[N + 1], const char (&field)[N]) {
  const size_t length = strnlen(field, N);
  std::memcpy(out, field, length);
  out[length] = '\0';
}

constexpr uint32_t kMaxReserve = 0x7FFFFFFD;
constexpr uint32_t kFirstDetailSize = 512;
constexpr size_t kKeptFileCharacters = 49;
constexpr size_t kMaxFileCharacters = 100;
constexpr size_t kMaxComponentCharacters = 9;
constexpr uint32_t kRecordDetailReserve = 256;

}  // namespace

namespace nQVVUSKS100 {

bool tStatus::setCode(int64_t newCode, const char* newComponent, const char* newFile,
                      uint64_t newLine) {
  if (!takesCode(code, newCode)) return false;
  code = newCode;
  if (!isFull()) return true;
  if (newComponent == nullptr) newComponent = "";
  if (newFile == nullptr) newFile = "";
  copyField(component, kComponentSize, newComponent);
  copyField(file, kFileSize, newFile);
  const size_t fileLength = std::strlen(newFile);
  if (fileLength > kMaxFileCharacters) {
    file[kKeptFileCharacters] = '.';
    file[kKeptFileCharacters + 1] = '.';
    copyField(file + kKeptFileCharacters + 2, kFileSize - kKeptFileCharacters - 2,
              newFile + fileLength - kKeptFileCharacters);
  }
  line = newLine;
  extension[0] = 0;
  return true;
}

bool tStatus::merge(const tStatus* other) {
  if (other == nullptr) return false;
  char otherComponent[kComponentSize + 1] = "";
  char otherFile[kFileSize + 1] = "";
  uint64_t otherLine = 0;
  if (other->isFull()) {
    readField(otherComponent, other->component);
    readField(otherFile, other->file);
    otherLine = other->line;
  }
  if (!setCode(other->code, otherComponent, otherFile, otherLine)) return false;
  if (isFull() && other->isFull() && other != this) {
    for (size_t i = 0; i < kExtensionWords; ++i) {
      extension[i] = other->extension[i];
      if (other->extension[i] == 0) break;
    }
  }
  return true;
}

}  // namespace nQVVUSKS100

namespace qverr {

Status::~Status() {
  if (grow != nullptr && !grow(*this, 0)) std::terminate();
}

Status::Status(Status&& other) noexcept
    : code(other.code), capacity(other.capacity), grow(other.grow), detail(other.detail) {
  other.code = 0;
  other.capacity = 0;
  other.detail = nullptr;
}

Status& Status::operator=(Status&& other) noexcept {
  if (&other != this) {
    if (grow != nullptr && !grow(*this, 0)) std::terminate();
    code = other.code;
    capacity = other.capacity;
    grow = other.grow;
    detail = other.detail;
    other.code = 0;
    other.capacity = 0;
    other.detail = nullptr;
  }
  return *this;
}

bool Status::resetDetail() {
  return detail == nullptr || json::initBuffer(detail, capacity, "{}") != nullptr;
}

bool Status::setCode(int32_t newCode) {
  if (!takesCode(code, newCode)) return false;
  code = newCode;
  resetDetail();
  return true;
}

bool Status::merge(const Status& other, bool* ok) {
  if (ok) *ok = true;
  if (!setCode(other.code)) return false;
  if (other.detail != nullptr && setDetail(other.detail) == nullptr && ok) *ok = false;
  return true;
}

bool Status::mergeMove(Status& other, bool* ok) {
  if (ok) *ok = true;
  if (!setCode(other.code)) return false;
  if (grow == other.grow && grow != nullptr) {
    if (!grow(*this, 0)) {
      if (ok) *ok = false;
      return true;
    }
    detail = other.detail;
    capacity = other.capacity;
    other.detail = nullptr;
    other.capacity = 0;
  } else if (setDetail(other.detail) == nullptr && ok) {
    *ok = false;
  }
  return true;
}

bool Status::assign(const Status& other) {
  if (&other == this) return true;
  if (other.detail == nullptr) {
    if (grow != nullptr && !grow(*this, 0)) return false;
  } else if (setDetail(other.detail) == nullptr) {
    return false;
  }
  code = other.code;
  return true;
}

char* Status::setDetail(const char* jsonText) {
  const char* text = jsonText ? jsonText : "{}";
  const size_t length = std::strlen(text);
  if (length > kMaxReserve) return nullptr;
  const uint32_t needed = static_cast<uint32_t>(length + 2);
  if (capacity < needed && (grow == nullptr || !grow(*this, needed))) return nullptr;
  if (detail == nullptr) return nullptr;
  return json::initBuffer(detail, capacity, text);
}

char* Status::reserveDetail(uint32_t n) {
  if (n > kMaxReserve) return nullptr;
  if (n + 2 > capacity && (grow == nullptr || !grow(*this, n + 2))) return nullptr;
  if (detail == nullptr) return nullptr;
  const char* root = detail;
  while (*root == ' ' || *root == '\t' || *root == '\n' || *root == '\r') ++root;
  if (*root != '{') return nullptr;
  return const_cast<char*>(json::skipContainer(root));
}

char* Status::growDetail(char* cursor) {
  if (cursor == nullptr || detail == nullptr) return nullptr;
  const size_t offset = static_cast<size_t>(cursor - detail);
  if (reserveDetail(2u * (capacity - 2u)) == nullptr) return nullptr;
  return detail + offset;
}

char* Status::growDetailThunk(char* cursor, void* context) {
  return static_cast<Status*>(context)->growDetail(cursor);
}

json::Writer Status::detailWriter() {
  return json::Writer{reserveDetail(0), detailGrow()};
}

char* Status::addString(char* cursor, const char* key, const char* value) {
  return json::addString(cursor, key, value, detailGrow());
}

char* Status::addLocation(char* cursor, const StatusLocation& location) {
  const json::Grow grow = detailGrow();
  cursor = json::addString(cursor, "file", location.file ? location.file : "", grow);
  cursor = json::addInt(cursor, "line", static_cast<int32_t>(static_cast<uint32_t>(location.line)),
                        grow);
  if (location.component != nullptr) {
    cursor = json::addString(cursor, "component", location.component, grow);
  }
  return cursor;
}

bool Status::setCodeWithLocation(int32_t newCode, const StatusLocation& location, bool* ok) {
  if (ok) *ok = true;
  if (!setCode(newCode)) return false;
  if (addLocation(setDetail("{}"), location) == nullptr && ok) *ok = false;
  return true;
}

bool Status::setCodeWithErrorConstant(int32_t newCode, const StatusLocation& location, bool* ok) {
  if (ok) *ok = true;
  if (!setCode(newCode)) return false;
  char* cursor = setDetail("{}");
  if (location.errorConstant != nullptr) {
    cursor = addString(cursor, "error_constant", location.errorConstant);
  }
  if (addLocation(cursor, location) == nullptr && ok) *ok = false;
  return true;
}

bool Status::growDefault(Status& status, uint32_t needed) {
  if (needed == 0) {
    std::free(status.detail);
    status.detail = nullptr;
    status.capacity = 0;
    return true;
  }
  if (needed <= status.capacity) return true;
  if (needed & 0x80000000u) return false;
  uint32_t size = kFirstDetailSize;
  while (size < needed) size <<= 1;
  char* buffer = static_cast<char*>(std::malloc(size));
  if (buffer == nullptr) return false;
  if (json::initBuffer(buffer, size, status.detail ? status.detail : "{}") == nullptr) {
    std::free(buffer);
    return false;
  }
  std::free(status.detail);
  status.detail = buffer;
  status.capacity = size;
  return true;
}

bool mergeRecordIntoStatus(const nQVVUSKS100::tStatus& record, Status& status) {
  if (record.code == 0) return true;
  if (!status.setCode(static_cast<int32_t>(record.code))) return true;
  if (!record.isFull()) return true;
  bool ok = true;
  char file[nQVVUSKS100::tStatus::kFileSize + 1];
  char component[nQVVUSKS100::tStatus::kComponentSize + 1];
  readField(file, record.file);
  readField(component, record.component);
  if (file[0] != '\0') {
    char* cursor = status.reserveDetail(kRecordDetailReserve);
    cursor = json::addString(cursor, "file", file);
    cursor = json::addUInt(cursor, "line", static_cast<uint32_t>(record.line));
    if (cursor == nullptr) ok = false;
  }
  if (component[0] != '\0') {
    char* cursor = status.reserveDetail(kRecordDetailReserve);
    if (json::addString(cursor, "component", component) == nullptr) ok = false;
  }
  return ok;
}

bool mergeStatusIntoRecord(const Status& status, nQVVUSKS100::tStatus& record) {
  if (status.code == 0 || record.code < 0) return true;
  char component[kMaxComponentCharacters + 1] = "";
  char file[kMaxFileCharacters + 1] = "";
  uint64_t line = 0;
  if (status.detail != nullptr) {
    size_t length = 0;
    const char* raw =
        json::getString(json::findMember(status.detail, "component"), "", &length, nullptr);
    if (length > kMaxComponentCharacters) length = kMaxComponentCharacters;
    // A cut through an escape keeps what was decoded before it.
    json::copyDecoded(raw, length, component);

    raw = json::getString(json::findMember(status.detail, "file"), "", &length, nullptr);
    if (length > kMaxFileCharacters) {
      raw += length - kMaxFileCharacters;
      length = kMaxFileCharacters;
      while (length > 0 && *raw == '\\') {
        ++raw;
        --length;
      }
    }
    json::copyDecoded(raw, length, file);

    const char* lineValue = json::findMember(status.detail, "line");
    if (lineValue != nullptr) {
      // A record's line comes as "%u", a raise site's as "%i" of the same low 32 bits.
      const auto signedLine = static_cast<uint32_t>(json::getInt(lineValue, 0, nullptr));
      line = json::getUInt(lineValue, signedLine, nullptr);
    }
  }
  record.setCode(status.code, component, file, line);
  return true;
}

bool recordCode(nQVVUSKS100::tStatus& record, int64_t code, const StatusLocation& where) {
  return record.setCode(code, where.component ? where.component : "", where.file ? where.file : "",
                        where.line);
}

}  // namespace qverr
