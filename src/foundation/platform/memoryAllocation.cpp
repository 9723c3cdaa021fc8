#include "foundation/platform/memoryAllocation.h"

#include <new>

#include "foundation/errors/ErrorCodes.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

constexpr qverr::StatusLocation kAllocateFailed{"memoryAllocation", 274, qverr::kComponent};
constexpr qverr::StatusLocation kAllocateArrayFailed{"memoryAllocation", 329, qverr::kComponent};

}  // namespace

void* allocate(size_t size, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return nullptr;
  void* memory = ::operator new(size, std::nothrow);
  if (memory == nullptr) qverr::recordCode(*status, qverr::kMemoryFull, kAllocateFailed);
  return memory;
}

void* allocateArray(size_t size, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return nullptr;
  void* memory = ::operator new[](size, std::nothrow);
  if (memory == nullptr) qverr::recordCode(*status, qverr::kMemoryFull, kAllocateArrayFailed);
  return memory;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
