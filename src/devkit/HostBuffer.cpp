#include "devkit/HostBuffer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/shared/MirroredBuffer";
constexpr qverr::StatusLocation kMirrorAboveSize{kSource, 52, qverr::kComponent,
                                                 qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kSizeNotPages{kSource, 57, qverr::kComponent,
                                              qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoMemoryFile{kSource, 71, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoTemporaryFile{kSource, 80, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoResize{kSource, 89, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoReservation{kSource, 96, qverr::kComponent,
                                               qverr::constant::kMemoryFull};
constexpr qverr::StatusLocation kNoBaseMapping{kSource, 106, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoMirrorMapping{kSource, 118, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoAlignedMemory{"atomickelddk/shared/HostBuffer", 41,
                                                 qverr::kComponent, qverr::constant::kMemoryFull};
constexpr qverr::StatusLocation kNumaBindFailed{"atomickelddk/shared/numa", 38, qverr::kComponent,
                                                nullptr};

// The preferred-node policy of mbind.
constexpr int kMpolPreferred = 1;
// The node mask mbind reads is bounded by the kernel to this many bits.
constexpr int32_t kMaxNumaNodes = 32768;

// Closes the memory file on every path out of the constructor; the mappings keep its pages.
struct FileCloser {
  int fd = -1;
  ~FileCloser() {
    if (fd >= 0) ::close(fd);
  }
};

int openMemoryFile() {
  const long fd = ::syscall(SYS_memfd_create, "mirroredBuffer", MFD_CLOEXEC);
  if (fd >= 0) return static_cast<int>(fd);
  if (errno != ENOSYS) qverr::raise(qverr::kInternalError, kNoMemoryFile);
  char name[] = "/tmp/mirrorAllocationXXXXXX";
  const int file = ::mkostemp(name, O_CLOEXEC);
  if (file < 0) qverr::raise(qverr::kInternalError, kNoTemporaryFile);
  if (std::remove(name) != 0) {
    ::close(file);
    qverr::raise(qverr::kInternalError, kNoTemporaryFile);
  }
  return file;
}

}  // namespace

uint64_t getPageSize() {
  return static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

void bindToNumaNode(void* address, uint64_t length, int32_t node) {
  if (node < 0) return;
  if (node >= kMaxNumaNodes - 1) qverr::raise(qverr::kInternalError, kNumaBindFailed);
  constexpr unsigned kWordBits = std::numeric_limits<unsigned long>::digits;
  unsigned long mask[kMaxNumaNodes / kWordBits] = {};
  mask[node / kWordBits] = 1UL << (node % kWordBits);
  // The kernel reads one bit fewer than the maximum it is given.
  const unsigned long maxNode = node < 31 ? 32 : static_cast<unsigned long>(node) + 2;
  if (::syscall(SYS_mbind, address, length, kMpolPreferred, mask, maxNode, 0) != 0 &&
      errno != ENOSYS)
    qverr::raise(qverr::kInternalError, kNumaBindFailed);
}

int32_t getHighestNumaNode() {
  DIR* directory = ::opendir("/sys/devices/system/node");
  if (directory == nullptr) return -1;
  int32_t highest = -1;
  while (const dirent* entry = ::readdir(directory)) {
    if (std::strncmp(entry->d_name, "node", 4) != 0) continue;
    const char* digits = entry->d_name + 4;
    int64_t number = 0;
    const char* p = digits;
    for (; *p >= '0' && *p <= '9' && number <= std::numeric_limits<int32_t>::max(); ++p)
      number = number * 10 + (*p - '0');
    if (p == digits || *p != '\0' || number > std::numeric_limits<int32_t>::max()) continue;
    if (number > highest) highest = static_cast<int32_t>(number);
  }
  ::closedir(directory);
  return highest;
}

MirroredBuffer::MirroredBuffer(uint64_t size, uint64_t mirrorSize, int32_t node)
    : size_(size), mirrorSize_(mirrorSize) {
  if (size < mirrorSize) qverr::raise(qverr::kInvalidParameter, kMirrorAboveSize);
  if (size % getPageSize() != 0) qverr::raise(qverr::kInvalidParameter, kSizeNotPages);

  FileCloser file{openMemoryFile()};
  if (::ftruncate(file.fd, static_cast<off_t>(size)) != 0)
    qverr::raise(qverr::kInternalError, kNoResize);

  if (size + mirrorSize < size) qverr::raise(qverr::kMemoryFull, kNoReservation);
  void* reservation =
      ::mmap(nullptr, size + mirrorSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (reservation == MAP_FAILED) qverr::raise(qverr::kMemoryFull, kNoReservation);

  // Both views map the same file pages; the reservation keeps other mappings out of the gap.
  auto mapAt = [&](void* at, uint64_t length, const qverr::StatusLocation& where) {
    if (::mmap(at, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, file.fd, 0) ==
        MAP_FAILED) {
      const bool released = ::munmap(reservation, size + mirrorSize) == 0;
      base_ = mirror_ = nullptr;
      qverr::raise(qverr::kInternalError, released ? where : kNoReservation);
    }
  };
  mapAt(reservation, size, kNoBaseMapping);
  base_ = static_cast<uint8_t*>(reservation);
  if (mirrorSize != 0) mapAt(base_ + size, mirrorSize, kNoMirrorMapping);
  mirror_ = base_ + size;

  try {
    bindToNumaNode(base_, size, node);
  } catch (...) {
    unmap();
    throw;
  }
}

void MirroredBuffer::unmap() {
  if (base_ != nullptr && base_ != reinterpret_cast<uint8_t*>(~uintptr_t{0}))
    ::munmap(base_, size_ + mirrorSize_);
  base_ = mirror_ = nullptr;
}

void HostBuffer::allocate(uint64_t size, uint64_t mirrorSize, int32_t node) {
  reset();
  if (mirrorSize == 0) {
    allocateAligned(size, node);
    return;
  }
  mirrored_ = std::make_unique<MirroredBuffer>(size, mirrorSize, node);
}

void HostBuffer::allocateAligned(uint64_t size, int32_t node) {
  void* data = ::valloc(size);
  if (data == nullptr) qverr::raise(qverr::kMemoryFull, kNoAlignedMemory);
  data_ = data;
  bindToNumaNode(data, size, node);
}

void HostBuffer::reset() noexcept {
  if (data_ != nullptr) deleter_(data_);
  data_ = nullptr;
  mirrored_.reset();
}

void* HostBuffer::getAddress() const {
  return mirrored_ ? mirrored_->getBase() : data_;
}

}  // namespace qvkel
