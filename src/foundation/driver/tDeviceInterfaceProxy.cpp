#include "foundation/driver/tDeviceInterfaceProxy.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

constexpr qverr::StatusLocation kOpenFailed{"tDeviceInterfaceProxy", 46, qverr::kComponent};
constexpr qverr::StatusLocation kCallFailed{"tDeviceInterfaceProxy", 85, qverr::kComponent};
constexpr qverr::StatusLocation kReadFailed{"tDeviceInterfaceProxy", 105, qverr::kComponent};
constexpr qverr::StatusLocation kWriteFailed{"tDeviceInterfaceProxy", 123, qverr::kComponent};
constexpr qverr::StatusLocation kMapFailed{"tDeviceInterfaceProxy", 148, qverr::kComponent};

}  // namespace

void tDeviceInterfaceProxy::open(const char* devicePath, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  const int descriptor = ::open(devicePath, O_RDWR | O_CLOEXEC);
  if (descriptor == -1) {
    qverr::recordErrno(*status, errno, kOpenFailed);
    return;
  }
  // Reopening an open proxy must not leak the old node.
  if (descriptor_ != -1) ::close(descriptor_);
  descriptor_ = descriptor;
}

void tDeviceInterfaceProxy::openForward(const char* devicePath, nQVVUSKS100::tStatus* status) {
  open(devicePath, status);
}

int tDeviceInterfaceProxy::close() {
  if (!isOpen()) return 0;
  const int result = ::close(descriptor_);
  descriptor_ = -1;
  return result;
}

uint32_t tDeviceInterfaceProxy::call(uint32_t command, const void* input, uint32_t inputLength,
                                     void* output, uint32_t outputLength,
                                     nQVVUSKS100::tStatus* status) {
  if (status->isError()) return 0;
  tRequestDescriptor request{reinterpret_cast<uint64_t>(input),
                             reinterpret_cast<uint64_t>(output),
                             inputLength,
                             outputLength,
                             0,
                             0};
  if (::ioctl(descriptor_, command, &request) == -1)
    qverr::recordErrno(*status, errno, kCallFailed);
  return request.result;
}

int64_t tDeviceInterfaceProxy::read(void* buffer, uint64_t length, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return -1;
  const ssize_t count = ::read(descriptor_, buffer, length);
  if (count == -1) qverr::recordErrno(*status, errno, kReadFailed);
  return count;
}

int64_t tDeviceInterfaceProxy::write(const void* buffer, uint64_t length,
                                     nQVVUSKS100::tStatus* status) {
  if (status->isError()) return -1;
  const ssize_t count = ::write(descriptor_, buffer, length);
  if (count == -1) qverr::recordErrno(*status, errno, kWriteFailed);
  return count;
}

void* tDeviceInterfaceProxy::map(uint32_t region, uint64_t length, uint32_t mode, tMapping* mapping,
                                 nQVVUSKS100::tStatus* status) {
  if (status->isError()) return nullptr;
  const int protection = mode == kMapReadWrite ? PROT_READ | PROT_WRITE : PROT_READ;
  const off_t offset = static_cast<off_t>(region & 0xFFFF) * ::sysconf(_SC_PAGESIZE);
  void* address = ::mmap(nullptr, length, protection, MAP_SHARED, descriptor_, offset);
  if (address == MAP_FAILED) {
    qverr::recordErrno(*status, errno, kMapFailed);
    if (mapping != nullptr) mapping->address = nullptr;
    return nullptr;
  }
  if (mapping != nullptr) {
    mapping->address = address;
    mapping->length = length;
  }
  return address;
}

void tDeviceInterfaceProxy::unmap(tMapping* mapping) {
  if (mapping == nullptr || mapping->address == nullptr) return;
  ::munmap(mapping->address, mapping->length);
  mapping->address = nullptr;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
