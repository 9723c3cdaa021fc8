#include "clip/ClipCapabilities.h"

#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace ififo_rpc {

namespace {

constexpr const char* kFile = "ififo_rpc_host/Capabilities";
constexpr qverr::StatusLocation kUnsupported{kFile, 51, qverr::kComponent,
                                             qverr::constant::kIFifoUnsupportedInterface};
constexpr qverr::StatusLocation kVersionMismatch{kFile, 54, qverr::kComponent,
                                                 qverr::constant::kIFifoInterfaceVersionMismatch};
constexpr qverr::StatusLocation kWordCountRefused{kFile, 61, qverr::kComponent,
                                                  qverr::constant::kIFifoInterfaceVersionMismatch};

// The capability interface versions this reader understands.
bool isCompatible(const InterfaceVersions& v) {
  return v.oldest <= v.current && v.oldest < 3 && v.current != 0;
}

}  // namespace

void Capabilities::readAll(const FifoRef& fifo, const CapabilityMap& handlers,
                           const std::function<void(uint32_t)>& onWordCount) {
  bool supported;
  {
    qverr::ThrowingStatusRecord status;
    supported = isInterfaceSupported(fifo, kInterface, &status);
  }
  if (!supported) qverr::raise(qverr::kIFifoUnsupportedInterface, kUnsupported);
  {
    // A failed query is raised as itself when the scope ends.
    qverr::ThrowingStatusRecord status;
    const InterfaceVersions versions = getInterfaceVersions(fifo, kInterface, &status);
    if (!status.isError() && !(versions.present() && isCompatible(versions)))
      qverr::raise(qverr::kIFifoInterfaceVersionMismatch, kVersionMismatch);
  }
  const uint32_t count = callInstructionRaising(fifo, kWordCount, {});
  if (count > kMaxWords) qverr::raise(qverr::kIFifoInterfaceVersionMismatch, kWordCountRefused);
  onWordCount(count);
  // Pairs are read whole, also the last one of an odd count.
  for (uint32_t i = 0; i < count; i += 2) {
    const uint32_t id = callInstructionRaising(fifo, kWord, {i});
    const uint32_t value = callInstructionRaising(fifo, kWord, {i + 1});
    if (auto handler = handlers.find(id); handler != handlers.end())
      handler->second->acceptValue(value);
  }
}

}  // namespace ififo_rpc

namespace qvvandrel {

namespace {

template <typename S, typename F>
void forEachSectionHandler(uint32_t indexId, uint32_t countId, ififo_rpc::SectionManager<S>& m,
                           F& f) {
  f(indexId, m.indexRef);
  m.section.forEachField(f);
  f(countId, m);
}

}  // namespace

ClipCapabilityHandlers::ClipCapabilityHandlers(bool refClkFlag)
    : cap200([refClkFlag](unsigned int word) { return ififo::castRefClkSrc(word, refClkFlag); }) {}

namespace {

// Calls f(identifier, handler) for every handler of the tree in registration order.
template <typename F>
void forEachHandler(ClipCapabilityHandlers& t, F&& f) {
  f(100, t.cap100);
  f(104, t.cap104);
  f(105, t.cap105);
  f(101, t.cap101);
  f(109, t.cap109);
  f(108, t.cap108);
  f(107, t.cap107);
  f(106, t.cap106);
  f(110, t.cap110);
  f(111, t.cap111);
  f(115, t.cap115);
  f(116, t.cap116);
  f(102, t.cap102);
  f(103, t.cap103);
  f(112, t.cap112);
  f(113, t.cap113);
  f(114, t.cap114);
  f(300, t.cap300);
  f(303, t.cap303);
  f(308, t.cap308);
  f(304, t.cap304);
  f(306, t.cap306);
  f(302, t.cap302);
  f(307, t.cap307);
  forEachSectionHandler(11, 309, t.aoChannels, f);
  f(311, t.cap311);
  f(200, t.cap200);
  f(201, t.cap201);
  f(202, t.cap202);
  f(203, t.cap203);
  f(206, t.cap206);
  f(204, t.cap204);
  f(205, t.cap205);
  f(207, t.cap207);
  f(208, t.cap208);
  f(209, t.cap209);
  f(400, t.cap400);
  f(401, t.cap401);
  f(402, t.cap402);
  f(404, t.cap404);
  f(403, t.cap403);
  f(405, t.cap405);
  forEachSectionHandler(5, 210, t.plls, f);
  forEachSectionHandler(7, 211, t.userClocks, f);
  f(212, t.cap212);
  f(213, t.cap213);
  f(214, t.cap214);
  f(1000, t.cap1000);
  f(1007, t.cap1007);
  f(1001, t.cap1001);
  f(1008, t.cap1008);
  f(1002, t.cap1002);
  f(1003, t.cap1003);
  f(1009, t.cap1009);
  f(1010, t.cap1010);
  f(1011, t.cap1011);
  f(1004, t.cap1004);
  f(1005, t.cap1005);
  f(1006, t.cap1006);
  f(700, t.cap700);
  forEachSectionHandler(9, 804, t.serialChannels, f);
  f(900, t.cap900);
}

}  // namespace

ClipCapabilities::ClipCapabilities(bool refClkFlag) : ClipCapabilityHandlers(refClkFlag) {
  registerHandlers();
}

ClipCapabilities::ClipCapabilities(const ClipCapabilities& other)
    : ClipCapabilityHandlers(other), interfaceVersion(other.interfaceVersion) {
  registerHandlers();
}

void ClipCapabilities::registerHandlers() {
  handlers_.clear();
  // A second registration of an identifier keeps the first.
  forEachHandler(*this, [this](uint32_t id, ififo_rpc::CapabilityHandler& handler) {
    handlers_.emplace(id, &handler);
  });
}

void ClipCapabilities::load(ififo_rpc::InstructionFifoInterface& fifo) {
  const ififo_rpc::FifoRef ref{&fifo, 1};
  ififo_rpc::Capabilities::readAll(ref, handlers_, [this](uint32_t words) {
    // A section cannot have more instances than the stream has pairs to describe them.
    const uint32_t pairs = words / 2 + words % 2;
    plls.countLimit = userClocks.countLimit = serialChannels.countLimit = aoChannels.countLimit =
        pairs;
  });
  uint32_t handle;
  {
    qverr::ThrowingStatusRecord status;
    handle = ififo_rpc::getInterfaceHandle(ref, ififo_rpc::Capabilities::kInterface, &status);
  }
  qverr::ThrowingStatusRecord status;
  interfaceVersion = ififo_rpc::getInterfaceVersion(ref, handle, &status);
}

}  // namespace qvvandrel
