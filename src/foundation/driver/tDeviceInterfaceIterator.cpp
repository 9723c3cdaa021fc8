#include "foundation/driver/tDeviceInterfaceIterator.h"

#include <libgen.h>

#include <cstdio>
#include <cstring>

#include "foundation/driver/linuxDevEnumHelper.h"
#include "foundation/errors/ErrorCodes.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

constexpr size_t kPatternSize = 4096;
constexpr size_t kPathSize = 4096;
constexpr size_t kInterfacePathMaxBytes = tInterfacePath::kCapacity - 1;
constexpr const char* kInterfacesDirectory = "/deviceInterfaces/";

constexpr qverr::StatusLocation kGlobFailed{"tDeviceInterfaceIterator", 44, qverr::kComponent};
constexpr qverr::StatusLocation kGlobForDriverFailed{"tDeviceInterfaceIterator", 72,
                                                     qverr::kComponent};
constexpr qverr::StatusLocation kInterfacePathTooLong{"tDeviceInterfaceIterator", 123,
                                                      qverr::kComponent};
constexpr qverr::StatusLocation kNoCurrentEntry{"tDeviceInterfaceIterator", 171, qverr::kComponent};
constexpr qverr::StatusLocation kStringAllocationFailed{"tBasicString", 61, qverr::kComponent};

// The glob patterns hold two backslashes before the asterisk: glob reads them as one literal
// backslash, the separator between interface name and suffix.
constexpr const char* kAllInstancesPattern = "/proc/driver/qv/*/deviceInterfaces/%s\\\\*";
constexpr const char* kOneInstancePattern = "/proc/driver/qv/%s/deviceInterfaces/%s\\\\*";

}  // namespace

tDeviceInterfaceIterator::tDeviceInterfaceIterator(const char* interfaceName,
                                                   nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  char pattern[kPatternSize];
  const int length = std::snprintf(pattern, sizeof pattern, kAllInstancesPattern, interfaceName);
  search(pattern, length >= 0 && static_cast<size_t>(length) < sizeof pattern, kGlobFailed, status);
}

tDeviceInterfaceIteratorForDriver::tDeviceInterfaceIteratorForDriver(const char* interfaceName,
                                                                     const char* driverName,
                                                                     nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  char pattern[kPatternSize];
  const int length =
      std::snprintf(pattern, sizeof pattern, kOneInstancePattern, driverName, interfaceName);
  search(pattern, length >= 0 && static_cast<size_t>(length) < sizeof pattern, kGlobForDriverFailed,
         status);
}

void tDeviceInterfaceIterator::search(const char* pattern, bool patternFits,
                                      const qverr::StatusLocation& failure,
                                      nQVVUSKS100::tStatus* status) {
  // A cut pattern could match directories it was not meant to.
  if (!patternFits) {
    qverr::recordCode(*status, qverr::kInvalidParameter, failure);
    return;
  }
  const int result = ::glob(pattern, GLOB_ONLYDIR, nullptr, &result_);
  searched_ = true;
  if (result == 0) {
    current_ = result_.gl_pathv;
  } else if (result != GLOB_NOMATCH) {
    qverr::recordCode(*status, qverr::kInternalError, failure);
  }
}

tDeviceInterfaceIterator::~tDeviceInterfaceIterator() {
  if (searched_) ::globfree(&result_);
}

bool tDeviceInterfaceIterator::isEnd() const {
  return current_ == nullptr || *current_ == nullptr;
}

void tDeviceInterfaceIterator::next() {
  if (!isEnd()) ++current_;
}

void tDeviceInterfaceIterator::getInterfacePath(tInterfacePath* path,
                                                nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  if (isEnd()) {
    qverr::recordCode(*status, qverr::kResourceNotFound, kNoCurrentEntry);
    return;
  }
  char file[kPathSize];
  const int length = std::snprintf(file, sizeof file, "%s/interfacePath", *current_);
  if (length < 0 || static_cast<size_t>(length) >= sizeof file) {
    qverr::recordCode(*status, qverr::kBufferTooSmall, kEntryTooLargeLocation);
    return;
  }
  char bytes[kEntryFileMaxBytes];
  size_t count = 0;
  if (!readEntryFile(file, bytes, &count, status)) return;
  if (count > kInterfacePathMaxBytes || path == nullptr) {
    qverr::recordCode(*status, qverr::kBufferTooSmall, kEntryTooLargeLocation);
    // The iterator's own record of the overlong path; the merge rule keeps the first.
    if (count > kInterfacePathMaxBytes) {
      qverr::recordCode(*status, qverr::kBufferTooSmall, kInterfacePathTooLong);
    }
    return;
  }
  std::memcpy(path->text, bytes, count);
  path->text[count] = '\0';
  path->length = count + 1;
}

void tDeviceInterfaceIterator::readProperty(const char* propertySet, const char* propertyName,
                                            void* buffer, uint64_t capacity, uint64_t* length,
                                            nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  if (isEnd()) {
    qverr::recordCode(*status, qverr::kResourceNotFound, kNoCurrentEntry);
    return;
  }
  // The instance directory is two levels above the interface directory.
  char instance[kPathSize];
  std::snprintf(instance, sizeof instance, "%s", *current_);
  char* parent = ::dirname(instance);
  char parentCopy[kPathSize];
  std::snprintf(parentCopy, sizeof parentCopy, "%s", parent);
  const char* instanceDirectory = ::dirname(parentCopy);
  char file[kPathSize];
  const int pathLength =
      std::snprintf(file, sizeof file, "%s/%s/%s", instanceDirectory, propertySet, propertyName);
  if (pathLength < 0 || static_cast<size_t>(pathLength) >= sizeof file) {
    qverr::recordCode(*status, qverr::kBufferTooSmall, kEntryTooLargeLocation);
    return;
  }
  char bytes[kEntryFileMaxBytes];
  size_t count = 0;
  if (!readEntryFile(file, bytes, &count, status)) return;
  if (length != nullptr) *length = count;
  if (buffer == nullptr || capacity < count) {
    qverr::recordCode(*status, qverr::kBufferTooSmall, kEntryTooLargeLocation);
    return;
  }
  std::memcpy(buffer, bytes, count);
}

void tDeviceInterfaceIterator::getBusProperty(const char* name, void* buffer, uint64_t capacity,
                                              uint64_t* length, nQVVUSKS100::tStatus* status) {
  readProperty(kBusProperties, name, buffer, capacity, length, status);
}

void tDeviceInterfaceIterator::getDeviceProperty(const char* name, void* buffer, uint64_t capacity,
                                                 uint64_t* length, nQVVUSKS100::tStatus* status) {
  readProperty(kDeviceProperties, name, buffer, capacity, length, status);
}

void tDeviceInterfaceIterator::getDriverName(tBasicString* name, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  name->clear();
  if (isEnd()) {
    qverr::recordCode(*status, qverr::kResourceNotFound, kNoCurrentEntry);
    return;
  }
  const char* text = *current_;
  const size_t rootLength = std::strlen(kRoot);
  if (std::strncmp(text, kRoot, rootLength) == 0) text += rootLength;
  const char* end = std::strstr(text, kInterfacesDirectory);
  const size_t count = end != nullptr ? static_cast<size_t>(end - text) : std::strlen(text);
  name->assign(text, count);
  if (name->allocationFailed()) {
    name->clearAllocationFailed();
    qverr::recordCode(*status, qverr::kMemoryFull, kStringAllocationFailed);
  }
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
