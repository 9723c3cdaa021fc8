#include "session/SessionRequests.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/errors/RequestHeader.h"
#include "session/BlobCodec.h"
#include "session/StoredBlob.h"

namespace qvvandrelbrenmooru {
namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;
using Bytes = const unsigned char*;

constexpr const char* kSource = "./source/SessionBrenmoorInvoke";
constexpr qverr::StatusLocation kNoSuchRequest{kSource, 120, qverr::kComponent};
constexpr qverr::StatusLocation kBadBuffers{kSource, 131, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kTooLarge{kSource, 142, qverr::kComponent,
                                          qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoRoom{kSource, 153, qverr::kComponent,
                                        qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoBitstream{kSource, 164, qverr::kComponent};
constexpr qverr::StatusLocation kTransferRefused{kSource, 175, qverr::kComponent};
constexpr qverr::StatusLocation kBadValue{kSource, 186, qverr::kComponent,
                                          qverr::constant::kInvalidParameter};

constexpr std::int32_t kNoBitstreamCode = -304452;
constexpr std::int32_t kTransferRefusedCode = -304453;

// Code 84's window onto the device.
constexpr std::uint32_t kMappedRegion = 0x3000;
constexpr std::uint64_t kMappedLength = 0x8000000;

// CLIP instructions of the session requests.
constexpr std::uint32_t kDirectPost = 0x1300, kDirectCall = 0x1301, kDirectWrite = 0x1302;
constexpr std::uint32_t kDirectFlush = 0x1303, kDirectQuery = 0x1304, kBlockQuery = 0x1501;
constexpr std::uint32_t kBlockCount = 0x1502, kBlockPrepare = 0x1507, kBlockWord = 0x1506;
constexpr std::uint32_t kBlockCommit = 0x150A, kBlockFinish = 0x1509;
constexpr std::uint32_t kReferenceTicks = 0x306, kClockReport = 0x205;

enum class Size : std::uint8_t { kAny, kEqual, kAtLeast };

// The buffer tests of one code, in the order input then output.
struct CodeRule {
  std::uint32_t code;
  Size in;
  std::uint64_t inSize;
  Size out;
  std::uint64_t outSize;
  bool input;   // must not be null
  bool output;  // must not be null
};

constexpr Size A = Size::kAny, E = Size::kEqual, G = Size::kAtLeast;
constexpr CodeRule kRules[] = {
    {0, E, 4, E, 4, true, true},     {1, E, 8, A, 0, true, false},   {2, E, 16, E, 8, true, true},
    {3, E, 16, A, 0, true, false},   {6, G, 8, A, 0, true, false},   {7, G, 4, A, 0, true, false},
    {12, E, 0, A, 0, false, false},  {13, A, 0, A, 0, false, false}, {14, E, 8, A, 0, true, false},
    {15, E, 8, A, 0, true, false},   {16, A, 0, E, 8, false, true},  {17, A, 0, E, 8, false, true},
    {18, E, 0, E, 4, false, true},   {19, E, 0, A, 0, false, true},  {20, A, 0, A, 0, false, false},
    {21, G, 8, A, 0, true, false},   {22, E, 16, A, 0, true, false}, {23, A, 0, E, 16, false, true},
    {24, G, 8, A, 0, true, false},   {25, G, 4, G, 4, true, true},   {26, G, 8, A, 0, true, false},
    {27, G, 4, E, 4, true, true},    {28, G, 4, A, 0, true, true},   {29, G, 4, G, 1, true, true},
    {30, A, 0, E, 4, false, true},   {31, E, 4, A, 0, true, false},  {32, E, 4, A, 0, true, false},
    {33, E, 1, A, 0, true, false},   {34, E, 3, A, 0, true, false},  {35, E, 2, E, 1, true, true},
    {36, A, 0, A, 0, false, false},  {37, E, 1, A, 0, true, false},  {38, A, 0, A, 0, false, false},
    {39, A, 0, A, 0, false, false},  {40, E, 1, E, 1, true, true},   {41, E, 1, E, 4, true, true},
    {42, G, 16, A, 0, true, false},  {84, A, 0, G, 8, false, true},  {85, A, 0, A, 0, false, false},
    {256, G, 16, A, 0, true, false}, {777, G, 4, A, 0, true, false}, {800, G, 4, A, 0, true, true},
};

const CodeRule* ruleOf(std::uint32_t code) {
  for (const CodeRule& rule : kRules) {
    if (rule.code == code) return &rule;
  }
  return nullptr;
}

bool sizeHolds(Size test, std::uint64_t actual, std::uint64_t wanted) {
  return test == Size::kAny || (test == Size::kEqual ? actual == wanted : actual >= wanted);
}

[[noreturn]] void refuse(const qverr::StatusLocation& where = kBadBuffers) {
  qverr::raise(qverr::kInvalidParameter, where);
}

template <typename T>
T wordAt(const void* buffer, std::uint64_t offset) {
  T value;
  std::memcpy(&value, static_cast<Bytes>(buffer) + offset, sizeof value);
  return value;
}

template <typename T>
void store(void* buffer, const T& value, std::uint64_t offset = 0) {
  std::memcpy(static_cast<unsigned char*>(buffer) + offset, &value, sizeof value);
}

// The integer part of x reduced modulo 2^32, without a conversion that could overflow.
std::uint32_t truncatedModulo32(double x) {
  if (!std::isfinite(x)) refuse(kBadValue);
  double reduced = std::fmod(std::trunc(x), 4294967296.0);
  if (reduced < 0) reduced += 4294967296.0;
  return static_cast<std::uint32_t>(reduced);
}

// A length that a 32-bit size field must carry.
std::uint32_t fitting32(std::uint64_t size) {
  if (size > 0xFFFFFFFFu) refuse(kTooLarge);
  return static_cast<std::uint32_t>(size);
}

// Copies text into an output of `size` bytes: at most size - 1 characters, zero-filled, and a
// zero byte at the end.
void copyCut(const char* text, void* output, std::uint64_t size) {
  if (output == nullptr || size == 0) return;
  const std::uint64_t room = size - 1;
  const std::uint64_t copied = std::min<std::uint64_t>(std::strlen(text), room);
  auto* out = static_cast<char*>(output);
  std::memcpy(out, text, copied);
  std::memset(out + copied, 0, size - copied);
}

// A CLIP instruction through an interface's client record, the interface required once.
void requireClient(qvvandrel::InterfaceClient& client,
                   void (qvvandrel::IfifoInterfaceCheck::*require)()) {
  if (!client.done) (client.*require)();
}

}  // namespace

SessionRequests::SessionRequests(const SessionRequestContext& context) : context_(context) {
  qverr::ThrowingStatusRecord status;
  lastErrorMutex_.create(&status);
}

SessionRequests::~SessionRequests() {
  unmapRegion();
  if (syncHolder_.load() == std::this_thread::get_id()) {
    for (; syncDepth_ > 0; --syncDepth_) context_.syncMutex.unlock();
  }
}

std::int32_t SessionRequests::lastErrorCode() {
  tMutexLock lock(lastErrorMutex_);
  return lastErrorCode_;
}

void SessionRequests::invoke(std::uint32_t kind, std::uint32_t code, const void* input,
                             std::uint64_t inputSize, void* output, std::uint64_t outputSize) {
  if (kind != kRequestKind) qverr::raise(qverr::kOperationNotSupported, kNoSuchRequest);
  const CodeRule* rule = ruleOf(code);
  if (rule == nullptr) qverr::raise(qverr::kOperationNotSupported, kNoSuchRequest);
  if (!sizeHolds(rule->in, inputSize, rule->inSize) ||
      !sizeHolds(rule->out, outputSize, rule->outSize) || (rule->input && input == nullptr) ||
      (rule->output && output == nullptr)) {
    refuse();
  }
  auto& proxy = context_.proxy;
  qvvandrel::ClipConfiguration& clip = context_.clip;
  const auto in32 = [&](int i) { return wordAt<std::uint32_t>(input, 4 * i); };
  const auto in64 = [&](int i) { return wordAt<std::uint64_t>(input, 8 * i); };
  const auto inByte = [&](int i) {
    return static_cast<std::uint32_t>(static_cast<Bytes>(input)[i]);
  };

  switch (code) {
    case 0: {
      qverr::ThrowingStatusRecord status;
      store(output, proxy.command0100(in32(0), &status));
      return;
    }
    case 1: {
      qverr::ThrowingStatusRecord status;
      proxy.command0101(in32(0), in32(1), &status);
      return;
    }
    case 2: {
      qverr::ThrowingStatusRecord status;
      store(output, proxy.command0200(in32(0), in64(1), &status));
      return;
    }
    case 3: {
      qverr::ThrowingStatusRecord status;
      proxy.command0201(in32(0), in64(1), &status);
      return;
    }
    case 6: {
      if (std::uint64_t{in32(1)} + 8 > inputSize) refuse();
      qverr::ThrowingStatusRecord status;
      proxy.command0302(in32(0), reinterpret_cast<std::uint64_t>(static_cast<Bytes>(input) + 8),
                        in32(1), &status);
      return;
    }
    case 7: {
      const std::uint32_t room = fitting32(outputSize);
      qverr::ThrowingStatusRecord status;
      proxy.command0303(in32(0), reinterpret_cast<std::uint64_t>(output), room, &status);
      return;
    }
    case 12:
      if (input != nullptr) refuse();
      calibrationRun(output, outputSize);
      return;
    case 13:
      if (!((input == nullptr && inputSize == 0) || (input != nullptr && inputSize == 4))) refuse();
      tdcMeasurement(input, output, outputSize);
      return;
    case 14:
    case 15: {
      const double x = wordAt<double>(input, 0);
      qverr::ThrowingStatusRecord status;
      if (code == 14) {
        const std::uint32_t a = truncatedModulo32(x);
        proxy.command0401(a, std::max<std::uint32_t>(a + 4, 100), &status);
      } else {
        const std::uint32_t a = truncatedModulo32(x * 1000);
        proxy.command0403(a, a + 4000, &status);
      }
      return;
    }
    case 16:
    case 17: {
      std::uint32_t first = 0, second = 0;
      nQVVUSKS100::tStatus status;
      if (code == 16) {
        proxy.command0402(&first, &second, &status);
      } else {
        proxy.command0404(&first, &second, &status);
      }
      if (status.isError()) qverr::throwRecord(status);
      store(output, code == 16 ? static_cast<double>(first) : first * 0.001);
      return;
    }
    case 18:
      store(output, fitting32(std::uint64_t{context_.bitfile.getXmlWithoutBitstream().size()} + 1));
      return;
    case 19: {
      const std::string& text = context_.bitfile.getXmlWithoutBitstream();
      if (outputSize < std::uint64_t{text.size()} + 1) refuse(kNoRoom);
      std::memcpy(output, text.c_str(), text.size() + 1);
      return;
    }
    case 20: {
      qverr::ThrowingStatusRecord status;
      proxy.command0306(&status);
      return;
    }
    case 21: {
      qverr::ThrowingStatusRecord status;
      proxy.command0908(in32(0), in32(1) != 0, &status);
      return;
    }
    case 22: {
      qverr::ThrowingStatusRecord status;
      proxy.command0603(in64(0), in64(1), &status);
      return;
    }
    case 23: {
      qverr::ThrowingStatusRecord status;
      const auto result = proxy.command0604(&status);
      static_assert(sizeof result == 16);
      std::memcpy(output, &result, sizeof result);
      return;
    }
    case 24:
      tdcPulseSweep(in32(0), in32(1), output, outputSize);
      return;
    case 25: {
      qverr::ThrowingStatusRecord status;
      store(output, proxy.command0102(in32(0), &status));
      return;
    }
    case 26: {
      qverr::ThrowingStatusRecord status;
      proxy.command0103(in32(0), in32(1), &status);
      return;
    }
    case 27:
    case 28: {
      const std::vector<std::uint8_t> text = readStoredBlob(proxy, in32(0));
      if (code == 27) {
        store(output, fitting32(std::uint64_t{text.size()} + 1));
        return;
      }
      if (std::uint64_t{text.size()} + 1 > outputSize) refuse(kNoRoom);
      const auto end = std::find(text.begin(), text.end(), 0);
      auto* out = static_cast<std::uint8_t*>(output);
      std::copy(text.begin(), end, out);
      out[end - text.begin()] = 0;
      return;
    }
    case 777:
      storeBitfile(in32(0));
      return;
    case 29: {
      qverr::ThrowingStatusRecord status;
      const bool result = proxy.command090A(in32(0), &status);
      static_cast<unsigned char*>(output)[0] = result ? 1 : 0;
      return;
    }
    case 30: {
      qverr::ThrowingStatusRecord status;
      store(output, proxy.command0701(&status));
      return;
    }
    case 31: {
      qverr::ThrowingStatusRecord status;
      proxy.command0702(in32(0), &status);
      return;
    }
    case 32: {
      qverr::ThrowingStatusRecord status;
      proxy.command040C(in32(0), &status);
      return;
    }
    case 33: {
      qverr::ThrowingStatusRecord status;
      proxy.command0607(static_cast<std::uint8_t>(inByte(0)), &status);
      return;
    }
    case 34:
    case 37:
      requireClient(clip.interface19, &qvvandrel::IfifoInterfaceCheck::requireInterface19);
      if (code == 34) {
        ififo_rpc::postInstructionRaising(clip.interface19.fifo, kDirectPost,
                                          {inByte(0), inByte(1), inByte(2)}, true);
      } else {
        ififo_rpc::postInstructionRaising(clip.interface19.fifo, kDirectWrite, {inByte(0)}, true);
      }
      return;
    case 35:
    case 36:
    case 40: {
      requireClient(clip.interface19, &qvvandrel::IfifoInterfaceCheck::requireInterface19);
      std::uint32_t reply = 0;
      {
        nQVVUSKS100::tStatus status;
        if (code == 35) {
          reply = ififo_rpc::callInstruction(clip.interface19.fifo, kDirectCall,
                                             {inByte(0), inByte(1)}, true, &status);
          static_cast<unsigned char*>(output)[0] = static_cast<std::uint8_t>(reply);
        } else if (code == 36) {
          ififo_rpc::callInstruction(clip.interface19.fifo, kDirectFlush, {}, true, &status);
        } else {
          reply = ififo_rpc::callInstruction(clip.interface19.fifo, kDirectQuery, {inByte(0)}, true,
                                             &status);
          static_cast<unsigned char*>(output)[0] = reply != 0 ? 1 : 0;
        }
        if (status.isError()) qverr::throwRecord(status);
      }
      return;
    }
    case 38:
    case 39:
      context_.services.setCableSenseLines(code == 38);
      return;
    case 41: {
      requireClient(clip.interface21, &qvvandrel::IfifoInterfaceCheck::requireInterface21);
      nQVVUSKS100::tStatus status;
      store(output, ififo_rpc::callInstruction(clip.interface21.fifo, kBlockQuery, {inByte(0)},
                                               false, &status));
      if (status.isError()) qverr::throwRecord(status);
      return;
    }
    case 42: {
      const std::uint32_t length = in32(3);
      if (length % 4 != 0 || std::uint64_t{length} + 16 > inputSize) refuse();
      blockTransfer(input);
      return;
    }
    case 84:
      mapRegion(output);
      return;
    case 85:
      unmapRegion();
      return;
    case 256:
      dispatchGroup(input, inputSize, output, outputSize);
      return;
    case 800:
      lastErrorDetails(input, inputSize, output, outputSize);
      return;
    default:
      qverr::raise(qverr::kOperationNotSupported, kNoSuchRequest);
  }
}

void SessionRequests::dispatchGroup(const void* record, std::uint64_t recordSize, void* output,
                                    std::uint64_t outputSize) {
  try {
    switch (wordAt<std::uint32_t>(record, 0)) {
      case kStreamGroup:
        context_.services.streamRequest(record, recordSize, output, outputSize);
        return;
      case kAttributeGroup:
        qvvandrel::handleAttributeRequest(context_.attributes, record, recordSize, output,
                                          outputSize);
        return;
      case kMethodGroup:
        methodRequest(record, recordSize, output, outputSize);
        return;
      case kRouteGroup:
        routeRequest(record, recordSize, output, outputSize);
        return;
      case kIndexedTransferGroup:
        indexedTransfer(record, recordSize, output, outputSize);
        return;
      case kSerialTransferGroup:
        serialTransfer(record, recordSize, output, outputSize);
        return;
      case kDebugRequestGroup:
        handleDebugRequest(context_.commit, record, recordSize, output, outputSize);
        return;
      default:
        qverr::throwError(qverr::kOperationNotSupported);
    }
  } catch (const qverr::Exception& failure) {
    tMutexLock lock(lastErrorMutex_);
    lastErrorCode_ = failure.code();
    lastErrorDetail_ = failure.what();
    throw;
  }
}

void SessionRequests::lastErrorDetails(const void* input, std::uint64_t, void* output,
                                       std::uint64_t outputSize) {
  tMutexLock lock(lastErrorMutex_);
  auto* out = static_cast<char*>(output);
  if (outputSize != 0) out[0] = '\0';
  if (wordAt<std::int32_t>(input, 0) != lastErrorCode_) return;
  if (!lastErrorDetail_.empty()) {
    if (std::uint64_t{lastErrorDetail_.size()} + 1 > outputSize) refuse(kNoRoom);
    std::memcpy(out, lastErrorDetail_.c_str(), lastErrorDetail_.size() + 1);
  }
  lastErrorCode_ = 0;
  lastErrorDetail_.clear();
}

void SessionRequests::mapRegion(void* output) {
  // A second mapping replaces the first, which is released rather than leaked.
  unmapRegion();
  nQVVUSKS100::tStatus status;
  context_.proxy.map(kMappedRegion, kMappedLength,
                     nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kMapReadWrite, &mapping_, &status);
  if (status.isError()) {
    mapping_ = {};
    qverr::throwRecord(status);
  }
  store(output, reinterpret_cast<std::uint64_t>(mapping_.address));
}

void SessionRequests::unmapRegion() {
  if (mapping_.address != nullptr) context_.proxy.unmap(&mapping_);
  mapping_ = {};
}

void SessionRequests::storeBitfile(std::uint32_t slot) {
  const std::vector<std::uint8_t>& bitstream = context_.bitfile.getBitstream();
  if (bitstream.empty()) qverr::raise(kNoBitstreamCode, kNoBitstream);
  // The text with its zero byte, so that it reads back terminated.
  const std::string& text = context_.bitfile.getXmlWithoutBitstream();
  const std::vector<std::uint8_t> blob =
      encodeBlob(reinterpret_cast<const std::uint8_t*>(text.c_str()),
                 std::uint64_t{text.size()} + 1, kBlobLz4);
  qverr::ThrowingStatusRecord status;
  context_.proxy.command0903(
      slot, reinterpret_cast<std::uint64_t>(bitstream.data()), fitting32(bitstream.size()),
      kBlobLz4, reinterpret_cast<std::uint64_t>(blob.data()), fitting32(blob.size()), &status);
}

void SessionRequests::calibrationRun(void* output, std::uint64_t outputSize) {
  auto& sync = context_.proxy;
  qvvandrel::ClipConfiguration& clip = context_.clip;
  {
    qverr::ThrowingStatusRecord status;
    sync.command050A(&status);
  }
  requireClient(clip.interface3, &qvvandrel::IfifoInterfaceCheck::requireInterface3);
  const std::uint32_t ticks =
      ififo_rpc::callInstructionRaising(clip.interface3.fifo, kReferenceTicks, {});
  {
    qverr::ThrowingStatusRecord status;
    // A Mosk period of r/1000 ticks, a quarter of it high, as the generator's default.
    sync.command0500(ticks / 4000, ticks / 1000 - ticks / 4000, &status);
  }
  qverr::StatusDetailWriter report;
  {
    qverr::ThrowingStatusRecord status;
    context_.proxy.command0605(1, &status);
  }
  requireClient(clip.interface2, &qvvandrel::IfifoInterfaceCheck::requireInterface2);
  ififo_rpc::postInstructionRaising(clip.interface2.fifo, kClockReport, {2}, false);
  ififo_rpc::queryInstruction101(clip.fifo, 0);

  // A calibration that fails still hands the host its report; a warning is dropped.
  std::exception_ptr failure;
  try {
    context_.services.runCalibrations(report);
  } catch (const qverr::Exception& error) {
    if (error.code() < 0) failure = std::current_exception();
  }
  copyCut(report.text(), output, outputSize);
  if (failure) std::rethrow_exception(failure);
}

void SessionRequests::tdcMeasurement(const void* input, void* output, std::uint64_t outputSize) {
  const std::uint32_t count = input == nullptr ? 1 : wordAt<std::uint32_t>(input, 0);
  auto& sync = context_.proxy;
  std::uint64_t sum = 0;
  {
    qverr::ThrowingStatusRecord status;
    sync.command050A(&status);
  }
  {
    qverr::ThrowingStatusRecord status;
    sync.command0502(0, &status);
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    {
      qverr::ThrowingStatusRecord status;
      sync.command0508(&status);
    }
    qverr::ThrowingStatusRecord status;
    sum += sync.command0504(500, &status);
  }
  {
    qverr::ThrowingStatusRecord status;
    sync.command0503(&status);
  }
  if (output == nullptr || outputSize < 8) return;
  const double average = static_cast<double>(sum) / static_cast<double>(count);
  store(output, average);
  std::vector<double> coefficients;
  if (outputSize < 16 || !context_.services.tdcPolynomial(&coefficients)) return;
  double value = 0, power = 1;
  for (double c : coefficients) {
    value += c * power;
    power *= average;
  }
  store(output, value, 8);
  if (outputSize >= 16 + 8 * std::uint64_t{coefficients.size()}) {
    for (std::size_t k = 0; k < coefficients.size(); ++k)
      store(output, coefficients[k], 16 + 8 * k);
  }
}

void SessionRequests::tdcPulseSweep(std::uint32_t first, std::uint32_t end, void* output,
                                    std::uint64_t outputSize) {
  auto& sync = context_.proxy;
  {
    qverr::ThrowingStatusRecord status;
    sync.command0502(1, &status);
  }
  struct Guard {
    nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelsync& sync;
    ~Guard() {
      nQVVUSKS100::tStatus ignored;
      sync.command0503(&ignored);
    }
  } guard{sync};
  std::vector<double> sent, measured;
  for (std::uint32_t i = first; i < end; ++i) {
    {
      qverr::ThrowingStatusRecord status;
      sync.command0505(i, &status);
    }
    qverr::ThrowingStatusRecord status;
    const std::uint32_t counted = sync.command0504(100, &status);
    sent.push_back(i / 100000000.0);
    measured.push_back(counted);
  }
  qverr::StatusDetailWriter element;
  qverr::json::Writer& writer = element.writer();
  char* c = writer.cursor;
  for (const auto& [name, values] :
       {std::pair{"sentPulseWidth", &sent}, {"measuredPulseWidth", &measured}}) {
    c = qverr::json::beginArray(c, name, writer.grow);
    for (double v : *values) c = qverr::json::addDouble(c, nullptr, v, writer.grow);
    c = qverr::json::endArray(c);
  }
  writer.cursor = c;
  copyCut(element.text(), output, outputSize);
}

void SessionRequests::blockTransfer(const void* input) {
  qvvandrel::InterfaceClient& client = context_.clip.interface21;
  requireClient(client, &qvvandrel::IfifoInterfaceCheck::requireInterface21);
  const std::uint32_t t = static_cast<Bytes>(input)[0];
  const std::uint32_t a = wordAt<std::uint32_t>(input, 4), b = wordAt<std::uint32_t>(input, 8);
  const std::uint32_t length = wordAt<std::uint32_t>(input, 12);
  const auto raising = [](auto&& send) {
    qverr::ThrowingStatusRecord status;
    send(&status);
  };
  const std::uint32_t n = ififo_rpc::callInstructionRaising(client.fifo, kBlockCount, {t});
  raising([&](nQVVUSKS100::tStatus* s) { ififo_rpc::sendInstruction1504(client.fifo, t, 2, s); });
  nQVVUSKS100::tStatus loop;
  for (std::uint32_t i = 0; i < n && !loop.isError(); ++i)
    ififo_rpc::callInstruction(client.fifo, kBlockPrepare, {t, i}, false, &loop);
  raising([&](nQVVUSKS100::tStatus* s) { ififo_rpc::sendInstruction1508(client.fifo, t, 2, s); });
  if (loop.isError()) qverr::throwError(loop.code);
  raising([&](nQVVUSKS100::tStatus* s) { ififo_rpc::sendInstruction1504(client.fifo, t, 1, s); });
  for (std::uint32_t i = 0; i < length / 4 && !loop.isError(); ++i) {
    const std::uint32_t word = __builtin_bswap32(wordAt<std::uint32_t>(input, 16 + 4 * i));
    ififo_rpc::callInstruction(client.fifo, kBlockWord, {t, word}, false, &loop);
  }
  raising([&](nQVVUSKS100::tStatus* s) { ififo_rpc::sendInstruction1508(client.fifo, t, 1, s); });
  if (loop.isError()) qverr::throwError(loop.code);
  if (ififo_rpc::callInstructionRaising(client.fifo, kBlockCommit, {t, a, b}) == 0)
    qverr::raise(kTransferRefusedCode, kTransferRefused);
  ififo_rpc::callInstructionRaising(client.fifo, kBlockFinish, {t});
}

}  // namespace qvvandrelbrenmooru
