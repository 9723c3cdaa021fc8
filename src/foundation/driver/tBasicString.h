#pragma once
// The platform layer's string: operations never throw; a failed allocation sets a flag that
// the caller turns into -52000.

#include <cstddef>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

class tBasicString {
 public:
  tBasicString() = default;
  ~tBasicString();
  tBasicString(const tBasicString&) = delete;
  tBasicString& operator=(const tBasicString&) = delete;

  // Copies `count` characters and terminates them, reusing the buffer when they fit. A failed
  // allocation sets the flag and leaves the string as it was. Count 0 empties the string.
  void assign(const char* characters, size_t count);
  void clear();

  // Always a terminated text ("" while there is no buffer).
  const char* c_str() const { return data_ != nullptr ? data_ : ""; }
  size_t length() const { return length_; }
  size_t capacity() const { return capacity_; }
  bool allocationFailed() const { return allocationFailed_; }
  void clearAllocationFailed() { allocationFailed_ = false; }

 private:
  char* data_ = nullptr;
  size_t capacity_ = 0;  // characters that fit besides the terminator
  size_t length_ = 0;
  bool allocationFailed_ = false;
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
