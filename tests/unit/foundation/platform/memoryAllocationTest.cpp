#include "foundation/platform/memoryAllocation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>

// A failed allocation must come back as null rather than end the test under the allocator of
// whichever sanitizer the build uses.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
extern "C" const char* __tsan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::allocate;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::allocateArray;
using nQVVUSKS100::tStatus;

// More than any allocator hands out.
constexpr size_t kImpossibleSize = SIZE_MAX - 4096;

TEST(MemoryAllocation, AllocatesWithCleanOrWarningStatus) {
  tStatus status;
  void* single = allocate(64, &status);
  ASSERT_NE(single, nullptr);
  std::memset(single, 0xAB, 64);
  ::operator delete(single);

  status.code = 5;
  void* array = allocateArray(128, &status);
  ASSERT_NE(array, nullptr);
  std::memset(array, 0xCD, 128);
  ::operator delete[](array);
  EXPECT_EQ(status.code, 5);
}

TEST(MemoryAllocation, ErrorStatusAllocatesNothingAndStaysUnchanged) {
  tStatus status;
  status.setCode(-52013, "caller", "callerFile", 9);
  EXPECT_EQ(allocate(16, &status), nullptr);
  EXPECT_EQ(allocateArray(16, &status), nullptr);
  EXPECT_EQ(status.code, -52013);
  EXPECT_STREQ(status.file, "callerFile");
  EXPECT_EQ(status.line, 9u);
}

TEST(MemoryAllocation, FailureRecordsMemoryFullWithItsLine) {
  tStatus single;
  EXPECT_EQ(allocate(kImpossibleSize, &single), nullptr);
  EXPECT_EQ(single.code, -52000);
  EXPECT_STREQ(single.file, "memoryAllocation");
  EXPECT_STREQ(single.component, "qvvandrel");
  EXPECT_EQ(single.line, 274u);

  tStatus array;
  array.code = 3;  // a warning yields to the error
  EXPECT_EQ(allocateArray(kImpossibleSize, &array), nullptr);
  EXPECT_EQ(array.code, -52000);
  EXPECT_EQ(array.line, 329u);
}

}  // namespace
