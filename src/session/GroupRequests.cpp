// The request groups the dispatch serves itself: methods, routes, indexed and serial transfers.

#include <cstring>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/errors/RequestHeader.h"
#include "model/GatedDeviceCommand.h"
#include "model/RequestRecord.h"
#include "session/SessionRequests.h"
#include "session/TerminalNames.h"

namespace qvvandrelbrenmooru {
namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;
using Bytes = const unsigned char*;

constexpr const char* kSource = "./source/SessionBrenmoorGroups";
constexpr qverr::StatusLocation kShort{kSource, 40, qverr::kComponent,
                                       qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kUnknown{kSource, 51, qverr::kComponent,
                                         qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNotHeld{kSource, 73, qverr::kComponent,
                                         qverr::constant::kInvalidParameter};

constexpr std::uint64_t kHeaderSize = sizeof(qvkel::RequestHeader);

template <typename T>
T fieldAt(const void* record, std::uint64_t offset) {
  T value;
  std::memcpy(&value, static_cast<Bytes>(record) + offset, sizeof value);
  return value;
}

void require(bool holds, const qverr::StatusLocation& where = kShort) {
  if (!holds) qverr::raise(qverr::kInvalidParameter, where);
}

// The length of the text at `text` when it ends within `room` bytes.
bool boundedLength(const char* text, std::uint64_t room, std::size_t* length) {
  const void* end = std::memchr(text, '\0', room);
  if (end == nullptr) return false;
  *length = static_cast<const char*>(end) - text;
  return true;
}

// Method indices.
constexpr std::uint32_t kGatedCommand = 0, kUnused = 7, kHoldSync = 13, kReleaseSync = 14;
constexpr std::uint32_t kSyncResult = 5, kStreamState = 12;
// Record sizes of the methods: the header and index, and the arguments a method reads.
constexpr std::uint64_t methodRecordSize(std::uint32_t index) {
  switch (index) {
    case 6:
      return 28;
    case 8:
      return 36;
    case 9:
      return 28;
    default:
      return kHeaderSize + 4;
  }
}

// Route operations and record layout.
constexpr std::uint32_t kConnect = 0, kDestroy = 1;
constexpr std::uint64_t kFromField = 20, kFromFieldSize = 512, kToField = 532;

// Indexed transfers.
constexpr std::uint32_t kTransferRead = 0, kTransferWrite = 1;
constexpr std::uint32_t kTargetPrefixMask = 0xFFFFF000, kTargetPrefix = 0x1F1F0000;
constexpr std::uint64_t kTransferData = 28;

// Serial transfers.
constexpr std::uint32_t kSerialRead = 0, kSerialWrite = 1, kSerialWriteRead = 2;
constexpr std::uint32_t kMaxWrite = 1024, kMaxRead = 255;
constexpr std::uint64_t kBusNameBound = 256;

}  // namespace

void SessionRequests::methodRequest(const void* record, std::uint64_t recordSize, void* output,
                                    std::uint64_t outputSize) {
  require(recordSize >= kHeaderSize + 4);
  const std::uint32_t index = fieldAt<std::uint32_t>(record, 16);
  if (index > kReleaseSync || index == kUnused) require(false, kUnknown);
  require(recordSize >= methodRecordSize(index));
  if (index == kSyncResult) require(output != nullptr && outputSize >= 8);
  if (index == kStreamState) require(output != nullptr && outputSize >= 1);
  if (index == kHoldSync) return holdSyncMutex();
  if (index == kReleaseSync) return releaseSyncMutex();
  qvvandrel::checkRequestHeader(record);
  if (index == kGatedCommand) {
    qvvandrel::runGatedDeviceCommand(context_.syncMutex, context_.proxy, context_.clip.interface3);
    return;
  }
  MethodArguments arguments;
  if (index == 8 || index == 9) arguments.first = fieldAt<double>(record, 20);
  if (index == 6) arguments.word = fieldAt<std::uint32_t>(record, 24);
  if (index == 8) arguments.second = fieldAt<double>(record, 28);
  context_.services.runMethod(index, arguments, output);
}

void SessionRequests::holdSyncMutex() {
  context_.syncMutex.lock();
  syncHolder_.store(std::this_thread::get_id());
  ++syncDepth_;
}

void SessionRequests::releaseSyncMutex() {
  // Only the thread that holds it through method 13 may let it go.
  require(syncHolder_.load() == std::this_thread::get_id() && syncDepth_ > 0, kNotHeld);
  if (--syncDepth_ == 0) syncHolder_.store(std::thread::id());
  context_.syncMutex.unlock();
}

void SessionRequests::routeRequest(const void* record, std::uint64_t recordSize, void* output,
                                   std::uint64_t outputSize) {
  require(recordSize >= kHeaderSize + 4);
  const std::uint32_t operation = fieldAt<std::uint32_t>(record, 16);
  SessionRequestServices& services = context_.services;
  if (operation == kDestroy) {
    require(recordSize >= 24);
    qvvandrel::checkRequestHeader(record);
    try {
      services.destroyRoute(fieldAt<std::uint32_t>(record, 20));
    } catch (const qverr::Exception&) {
      // A route the library no longer knows is gone all the same.
    }
    return;
  }
  if (operation != kConnect) require(false, kUnknown);
  require(output != nullptr && outputSize >= 4);
  const char* text = static_cast<const char*>(record);
  std::size_t fromLength = 0, toLength = 0;
  require(recordSize > kToField && boundedLength(text + kFromField, kFromFieldSize, &fromLength) &&
          boundedLength(text + kToField, recordSize - kToField, &toLength));
  qvvandrel::checkRequestHeader(record);
  const std::string device = services.routingDeviceName();
  const std::uint32_t route = services.calculateRoute(
      qvvandrel::makeTerminalPath(device, std::string(text + kFromField, fromLength)),
      qvvandrel::makeTerminalPath(device, std::string(text + kToField, toLength)));
  try {
    services.reserveRoute(route);
    services.programRoute(route);
  } catch (...) {
    try {
      services.destroyRoute(route);
    } catch (...) {
      // The first failure is the one the host hears of.
    }
    throw;
  }
  std::memcpy(output, &route, sizeof route);
}

void SessionRequests::indexedTransfer(const void* record, std::uint64_t recordSize, void* output,
                                      std::uint64_t outputSize) {
  require(recordSize >= kTransferData);
  const std::uint32_t mode = fieldAt<std::uint32_t>(record, 16);
  if (mode != kTransferRead && mode != kTransferWrite) require(false, kUnknown);
  qvvandrel::checkRequestHeader(record);
  std::uint32_t target = fieldAt<std::uint32_t>(record, 20);
  if ((target & kTargetPrefixMask) == kTargetPrefix) target &= ~kTargetPrefixMask;
  require(target == 1 || target == 2, kUnknown);
  const std::uint32_t length = fieldAt<std::uint32_t>(record, 24);
  require(kTransferData + length <= recordSize);
  // The data area is the host's own record: a read lands there.
  const auto data = reinterpret_cast<std::uint64_t>(static_cast<Bytes>(record) + kTransferData);
  if (mode == kTransferWrite) {
    qverr::ThrowingStatusRecord status;
    context_.proxy.command020A(target, data, length, &status);
    return;
  }
  require(output != nullptr && outputSize >= 8);
  qverr::ThrowingStatusRecord status;
  const std::uint64_t result =
      context_.proxy.command0209(target, data, length, &status) & 0xFFFFFFFFu;
  std::memcpy(output, &result, sizeof result);
}

void SessionRequests::serialTransfer(const void* record, std::uint64_t recordSize, void* output,
                                     std::uint64_t outputSize) {
  require(recordSize >= kHeaderSize + 4);
  const std::uint32_t mode = fieldAt<std::uint32_t>(record, 16);
  if (mode > kSerialWriteRead) require(false, kUnknown);
  static constexpr std::uint64_t kRecordSize[] = {35, 1059, 1063};
  static constexpr std::uint64_t kOutputSize[] = {259, 4, 263};
  require(recordSize >= kRecordSize[mode] && output != nullptr && outputSize >= kOutputSize[mode]);
  const auto* bus = reinterpret_cast<const char*>(fieldAt<std::uint64_t>(record, 20));
  std::size_t busLength = 0;
  require(bus != nullptr && boundedLength(bus, kBusNameBound, &busLength));
  qvvandrel::checkRequestHeader(record);
  const auto address = fieldAt<std::uint16_t>(record, 28);
  const std::uint32_t option = static_cast<Bytes>(record)[30];
  auto* out = static_cast<std::uint8_t*>(output);
  SessionRequestServices& services = context_.services;
  if (mode == kSerialWrite) {
    const std::uint32_t length = fieldAt<std::uint32_t>(record, 1055);
    require(length <= kMaxWrite);
    const std::uint32_t result =
        services.i2cWrite(bus, address, static_cast<Bytes>(record) + 31, length, option);
    std::memcpy(out, &result, sizeof result);
    return;
  }
  const std::uint32_t readLength = fieldAt<std::uint32_t>(record, 31);
  require(readLength <= kMaxRead);
  if (mode == kSerialRead) {
    const std::uint32_t result = services.i2cRead(bus, address, out, readLength, option);
    std::memcpy(out + 255, &result, sizeof result);
    return;
  }
  const std::uint32_t writeLength = fieldAt<std::uint32_t>(record, 1059);
  require(writeLength <= kMaxWrite);
  std::uint32_t writeResult = 0, bytesRead = 0;
  services.i2cWriteRead(bus, address, static_cast<Bytes>(record) + 35, writeLength, out, readLength,
                        option, &writeResult, &bytesRead);
  std::memcpy(out + 255, &writeResult, sizeof writeResult);
  std::memcpy(out + 259, &bytesRead, sizeof bytesRead);
}

}  // namespace qvvandrelbrenmooru
