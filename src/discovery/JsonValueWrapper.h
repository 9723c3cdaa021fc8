#pragma once
// A thin layer over cJSON for the configuration store: failures become exceptions with fixed
// codes, typed accessors check the node type first, JsonPtr owns a tree, and `equals` compares
// two trees structurally.

#include <cjson/cJSON.h>

#include <cstdint>
#include <string>

namespace qvjsonlh {

// Owner of one cJSON tree.
class JsonPtr {
 public:
  JsonPtr() = default;
  explicit JsonPtr(cJSON* node) : node_(node) {}
  ~JsonPtr() { reset(nullptr); }
  JsonPtr(JsonPtr&& other) noexcept : node_(other.release()) {}
  JsonPtr& operator=(JsonPtr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  JsonPtr(const JsonPtr&) = delete;
  JsonPtr& operator=(const JsonPtr&) = delete;

  // Deletes the tree held and takes `node`.
  void reset(cJSON* node = nullptr);
  cJSON* release() {
    cJSON* node = node_;
    node_ = nullptr;
    return node;
  }
  cJSON* get() const { return node_; }

 private:
  cJSON* node_ = nullptr;
};

// The NUL-terminated text as a tree; -52005 when it is not JSON.
JsonPtr parse(const char* text);
// The formatted text of a tree; std::bad_alloc when cJSON cannot print it.
std::string print(const cJSON* node);

bool isNumber(const cJSON* node);
bool isString(const cJSON* node);
bool isBool(const cJSON* node);
bool isObject(const cJSON* node);
bool isArray(const cJSON* node);

// -52004 when the node is not of the type.
void requireObject(const cJSON* node);
void requireArray(const cJSON* node);
void requireNumber(const cJSON* node);
void requireString(const cJSON* node);
void requireBool(const cJSON* node);

// The member with this key, found without regard to case (cJSON's look-up); -52004 when the
// node is not an object, -52006 when there is no such member.
cJSON* getObjectItem(const cJSON* object, const char* key);

std::string getString(const cJSON* node);
// Borrowed from the node.
const char* getCString(const cJSON* node);
bool getBool(const cJSON* node);

// New nodes; std::bad_alloc when cJSON cannot make them.
JsonPtr createObject();
JsonPtr createNumber(std::uint32_t value);
JsonPtr createString(const char* text);
JsonPtr createString(const std::string& text);
JsonPtr duplicate(const cJSON* node);

// Adds `item` under a copy of `key`; the object takes the item. std::bad_alloc when the key
// cannot be copied (the item is then deleted).
void addItemToObject(cJSON* object, const char* key, JsonPtr item);

// Deep equality: same types; numbers by double value; strings byte for byte; arrays element
// by element in order; objects member by member in any order, each member matched with the one
// of the same spelling, else with one that differs only in case (a name given n times: its n-th
// occurrence).
bool equals(const cJSON* a, const cJSON* b);

}  // namespace qvjsonlh
