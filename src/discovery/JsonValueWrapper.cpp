#include "discovery/JsonValueWrapper.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "devkit/XmlValues.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvjsonlh {

namespace {

constexpr const char* kSource = "qvjsonlh";

constexpr qverr::StatusLocation kInvalidJson{kSource, 41, qverr::kComponent,
                                             qverr::constant::kJsonInvalidJson};
constexpr qverr::StatusLocation kNotAnObject{kSource, 58, qverr::kComponent,
                                             qverr::constant::kJsonNotAnObject};
constexpr qverr::StatusLocation kNotAnArray{kSource, 65, qverr::kComponent,
                                            qverr::constant::kJsonNotAnArray};
constexpr qverr::StatusLocation kTypeMismatch{kSource, 72, qverr::kComponent,
                                              qverr::constant::kJsonTypeMismatch};
constexpr qverr::StatusLocation kItemNotFound{kSource, 97, qverr::kComponent,
                                              qverr::constant::kJsonObjectItemNotFound};

// The type code without cJSON's reference and constant-key flags.
int typeOf(const cJSON* node) {
  return node->type & 0xFF;
}

bool hasType(const cJSON* node, int type) {
  return node != nullptr && typeOf(node) == type;
}

JsonPtr made(cJSON* node) {
  if (node == nullptr) throw std::bad_alloc();
  return JsonPtr(node);
}

bool sameKey(const cJSON* a, const cJSON* b, bool ignoreCase) {
  const std::string_view x = a->string != nullptr ? a->string : "";
  const std::string_view y = b->string != nullptr ? b->string : "";
  return ignoreCase ? qvkel::equalsIgnoringAsciiCase(x, y) : x == y;
}

// The member of `object` that holds `key` for the `occurrence`-th time (from 0), or null.
const cJSON* nthMember(const cJSON* object, const cJSON* key, int occurrence, bool ignoreCase) {
  for (const cJSON* member = object->child; member != nullptr; member = member->next) {
    if (sameKey(member, key, ignoreCase) && occurrence-- == 0) return member;
  }
  return nullptr;
}

bool objectEquals(const cJSON* a, const cJSON* b) {
  int count = 0;
  for (const cJSON* member = a->child; member != nullptr; member = member->next) {
    ++count;
    // The member of the same spelling first: members that differ only in case (device
    // tokens) must meet their own counterparts, and a name given twice (a hand-edited file)
    // meets its own occurrence, or a tree would differ from its own copy.
    int exact = 0;
    int caseless = 0;
    for (const cJSON* before = a->child; before != member; before = before->next) {
      if (sameKey(before, member, false)) ++exact;
      if (sameKey(before, member, true)) ++caseless;
    }
    const cJSON* other = nthMember(b, member, exact, false);
    if (other == nullptr) other = nthMember(b, member, caseless, true);
    if (other == nullptr || !equals(member, other)) return false;
  }
  return cJSON_GetArraySize(b) == count;
}

}  // namespace

void JsonPtr::reset(cJSON* node) {
  if (node_ != nullptr) cJSON_Delete(node_);
  node_ = node;
}

JsonPtr parse(const char* text) {
  cJSON* node = cJSON_Parse(text);
  if (node == nullptr) qverr::raise(qverr::kInvalidParameter, kInvalidJson);
  return JsonPtr(node);
}

std::string print(const cJSON* node) {
  char* text = cJSON_Print(node);
  if (text == nullptr) throw std::bad_alloc();
  struct Free {
    char* text;
    ~Free() { cJSON_free(text); }
  } release{text};
  return std::string(text);
}

bool isNumber(const cJSON* node) {
  return hasType(node, cJSON_Number);
}
bool isString(const cJSON* node) {
  return hasType(node, cJSON_String);
}
bool isBool(const cJSON* node) {
  return hasType(node, cJSON_False) || hasType(node, cJSON_True);
}
bool isObject(const cJSON* node) {
  return hasType(node, cJSON_Object);
}
bool isArray(const cJSON* node) {
  return hasType(node, cJSON_Array);
}

void requireObject(const cJSON* node) {
  if (!isObject(node)) qverr::raise(qverr::kBadCast, kNotAnObject);
}
void requireArray(const cJSON* node) {
  if (!isArray(node)) qverr::raise(qverr::kBadCast, kNotAnArray);
}
void requireNumber(const cJSON* node) {
  if (!isNumber(node)) qverr::raise(qverr::kBadCast, kTypeMismatch);
}
void requireString(const cJSON* node) {
  if (!isString(node)) qverr::raise(qverr::kBadCast, kTypeMismatch);
}
void requireBool(const cJSON* node) {
  if (!isBool(node)) qverr::raise(qverr::kBadCast, kTypeMismatch);
}

cJSON* getObjectItem(const cJSON* object, const char* key) {
  requireObject(object);
  cJSON* item = cJSON_GetObjectItem(object, key);
  if (item == nullptr) qverr::raise(qverr::kResourceNotFound, kItemNotFound);
  return item;
}

std::string getString(const cJSON* node) {
  return std::string(getCString(node));
}

const char* getCString(const cJSON* node) {
  requireString(node);
  // A string node made by cJSON always has its text; keep "" for a hand-built one without.
  return node->valuestring != nullptr ? node->valuestring : "";
}

bool getBool(const cJSON* node) {
  requireBool(node);
  return typeOf(node) == cJSON_True;
}

JsonPtr createObject() {
  return made(cJSON_CreateObject());
}

JsonPtr createNumber(std::uint32_t value) {
  return made(cJSON_CreateNumber(static_cast<double>(value)));
}

JsonPtr createString(const char* text) {
  return made(cJSON_CreateString(text));
}

JsonPtr createString(const std::string& text) {
  return createString(text.c_str());
}

JsonPtr duplicate(const cJSON* node) {
  return made(cJSON_Duplicate(node, 1));
}

void addItemToObject(cJSON* object, const char* key, JsonPtr item) {
  cJSON* raw = item.get();
  // On failure cJSON has not linked the item, so the holder still owns it and deletes it.
  if (!cJSON_AddItemToObject(object, key, raw)) throw std::bad_alloc();
  item.release();
  if (raw->string == nullptr) throw std::bad_alloc();
}

bool equals(const cJSON* a, const cJSON* b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr) return false;
  const int type = typeOf(a);
  if (type != typeOf(b) || type > cJSON_Object) return false;
  switch (type) {
    case cJSON_False:
    case cJSON_True:
    case cJSON_NULL:
      return true;
    case cJSON_Number:
      return a->valuedouble == b->valuedouble;
    case cJSON_String:
      if (a->valuestring == nullptr || b->valuestring == nullptr) {
        return a->valuestring == b->valuestring;
      }
      return std::strcmp(a->valuestring, b->valuestring) == 0;
    case cJSON_Array: {
      const cJSON* x = a->child;
      const cJSON* y = b->child;
      for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
        if (!equals(x, y)) return false;
      }
      return x == nullptr && y == nullptr;
    }
    case cJSON_Object:
      return objectEquals(a, b);
    default:
      return false;
  }
}

}  // namespace qvjsonlh
