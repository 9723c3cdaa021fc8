#include "foundation/driver/tBasicString.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

tBasicString::~tBasicString() {
  delete[] data_;
}

void tBasicString::assign(const char* characters, size_t count) {
  if (count == 0) {
    clear();
    return;
  }
  if (count > capacity_ || data_ == nullptr) {
    char* fresh = count < SIZE_MAX ? new (std::nothrow) char[count + 1] : nullptr;
    if (fresh == nullptr) {
      allocationFailed_ = true;
      return;
    }
    delete[] data_;
    data_ = fresh;
    capacity_ = count;
  }
  std::memmove(data_, characters, count);
  data_[count] = '\0';
  length_ = count;
}

void tBasicString::clear() {
  if (data_ != nullptr) data_[0] = '\0';
  length_ = 0;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
