#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "devkit/AttributeHandlers.h"
#include "devkit/Fpga.h"
#include "devkit/IoAccessor.h"
#include "devkit/Session.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "tests/unit/devkit/DevkitTestUtil.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace {

using namespace std::chrono_literals;
using devkit_test::codeOf;
using qvkel::user::Fpga;
using qvkel::user::Session;
using sim::FpgaModel;

constexpr const char* kSignature = qvsim::BitfileBuilder::kDefaultSignature;
constexpr uint32_t kControl = 0x8004;           // base 0x8000 + WexControl 0x4
constexpr uint32_t kInterruptStatus = 0x27FF0;  // base + InterruptStatus 0x1FFF0
constexpr uint32_t kConfigure = 0x4020830A, kClose = 0x4020830B, kDownload = 0x4020830C;
constexpr uint32_t kPrepare = 0x4020830D, kReset = 0x4020830E, kAbort = 0x4020830F;
constexpr uint32_t kWaitIrq = 0x40208320;

class FpgaSessionTest : public ::testing::Test {
 protected:
  FpgaSessionTest() : model(sim.module.fpga()) {
    nQVVUSKS100::tStatus status;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator iterator(
        sim::kDeviceInterfaceName, &status);
    handler = qvkel::makeAttributeHandlerChain(iterator, nullptr, sim.proxy);
  }

  static std::shared_ptr<const qvkel::Bitfile> bitfileOf(const qvsim::BitfileBuilder& builder) {
    std::string text = builder.text();
    return std::make_shared<qvkel::Bitfile>(text.c_str(), false, true);
  }
  std::unique_ptr<Session> open(std::shared_ptr<const qvkel::Bitfile> bitfile, uint32_t flags = 0,
                                const char* name = kSignature) {
    devkit_test::ProxyConfigurer configurer(sim.proxy, bitfile, flags);
    auto session = std::make_unique<Session>(fpga, sim.proxy, configurer, checker, handler,
                                             accessor, bitfile, name, flags);
    configured += configurer.calls;
    return session;
  }
  std::unique_ptr<Session> open(uint32_t flags = 0) { return open(typical, flags); }
  size_t count(uint32_t command) { return sim.device().count(command); }
  // The timeouts of the interrupt waits the driver received.
  std::vector<uint32_t> waitTimeouts() {
    std::vector<uint32_t> out;
    for (const auto& e : sim.device().log())
      if (e.command == kWaitIrq) {
        uint32_t timeout;
        std::memcpy(&timeout, e.input.data() + 4, 4);
        out.push_back(timeout);
      }
    return out;
  }

  devkit_test::SimulatedModule sim;
  FpgaModel& model;
  std::shared_ptr<qvkel::IAttributeHandler> handler;
  std::shared_ptr<qvkel::user::IIoAccessor> accessor =
      std::make_shared<qvkel::user::IoAccessorIoctl>(sim.proxy);
  std::shared_ptr<Fpga> fpga = std::make_shared<Fpga>(sim.proxy);
  devkit_test::Checker checker;
  int configured = 0;
  std::shared_ptr<const qvkel::Bitfile> typical = bitfileOf(qvsim::BitfileBuilder::typical());
};

TEST_F(FpgaSessionTest, OpeningConfiguresThePersonalityStartsTheFpgaAndClosingEndsTheSession) {
  auto session = open();
  std::optional<FpgaModel::Personality> p = model.personality();
  ASSERT_TRUE(p);
  // The model decoded the common data: register addresses, open attributes, the busy code of
  // owner field 0 and the signature words.
  EXPECT_EQ(p->common[0], kControl);
  EXPECT_EQ(p->common[1], 0x8000u + 0x7FFC);
  EXPECT_EQ(p->common[2], 0x8000u + 0x1FFE4);
  EXPECT_EQ(p->common[3], 0x8000u);
  EXPECT_EQ(p->common[6], 0u);
  EXPECT_EQ(static_cast<int32_t>(p->common[7]), -61200);
  EXPECT_EQ(p->common[8], 0x01234567u);
  EXPECT_EQ(p->common[11], 0x44556677u);
  ASSERT_EQ(p->fifos.size(), 4u);
  EXPECT_EQ(p->fifos[1].channel, 1u);
  EXPECT_EQ(p->fifos[1].subKind, 1u);
  EXPECT_EQ(p->fifos[0].address, 0x40u);
  EXPECT_EQ(p->bitstream, qvsim::BitfileBuilder::typical().bitstreamBytes());
  EXPECT_TRUE(p->downloaded);

  EXPECT_EQ(model.controlWrites(), (std::vector<uint32_t>{4, 0, 2}));
  EXPECT_EQ(fpga->state(), Fpga::kRunning);
  EXPECT_EQ(session->getFpgaState(), 2u);
  EXPECT_TRUE(session->kernelSession().open);
  EXPECT_EQ(fpga->bitfileState()->controlRegister, kControl);
  EXPECT_EQ(fpga->bitfileState()->interruptStatusRegister, kInterruptStatus);
  // The typical design's two host channels get entries; the peer-to-peer channel none.
  EXPECT_TRUE(fpga->fifosBuilt());
  EXPECT_EQ(fpga->fifoCount(), 4u);
  EXPECT_EQ(codeOf([&] { fpga->getFifo(3); }), -52005);
  EXPECT_EQ(codeOf([&] { fpga->getFifo(4); }), -52005);

  uint64_t token = session->token();
  session.reset();
  ASSERT_EQ(model.closes().size(), 1u);
  EXPECT_EQ(model.closes()[0].token, token);
  EXPECT_EQ(model.closes()[0].closeFlag, 0);
}

TEST_F(FpgaSessionTest, SignatureAndTargetClassChecksComeBeforeAnyConfiguration) {
  struct Case {
    const char* name;
    uint32_t flags;
    bool compatible;
    int32_t code;
  };
  for (Case c :
       {Case{"0123456789ABCDEF0011223344556678", 0, true, -63106}, Case{nullptr, 0, true, -63106},
        Case{"0123456789xyz", 0, true, -52005}, Case{kSignature, 0, false, -61024}}) {
    checker.answer = c.compatible;
    EXPECT_EQ(codeOf([&] { open(typical, c.flags, c.name); }), c.code) << (c.name ? c.name : "");
  }
  EXPECT_EQ(configured, 0);
  EXPECT_EQ(count(kConfigure), 0u);
  EXPECT_FALSE(fpga->bitfileState());

  checker.answer = true;
  EXPECT_NE(open(typical, Fpga::kSkipSignatureCheck, nullptr), nullptr);
  EXPECT_EQ(count(kConfigure), 1u);
}

TEST_F(FpgaSessionTest, ControlWordErrorsInTheirOrderOfPrecedence) {
  auto session = open();
  struct Case {
    uint32_t errorBits;
    bool gone;
    int32_t code;
    int line;  // of the source "Common"
  };
  for (Case c :
       {Case{0, true, -63036, 285}, Case{0x50, false, -61083, 287}, Case{0x10, false, -61046, 289},
        Case{0x90, false, -61046, 289}, Case{0x80, false, -61216, 291}}) {
    model.setErrorBits(c.errorBits);
    model.setGone(c.gone);
    try {
      fpga->checkFpgaState();
      ADD_FAILURE() << c.errorBits;
    } catch (const qverr::Exception& e) {
      EXPECT_EQ(e.code(), c.code) << c.errorBits;
      EXPECT_NE(std::string(e.what()).find(R"("file":"Common","line":)" + std::to_string(c.line)),
                std::string::npos)
          << e.what();
    }
  }
  model.setErrorBits(0);
  model.setGone(false);
  EXPECT_TRUE(fpga->checkFpgaState());
  model.setState(FpgaModel::kInvalid);
  EXPECT_EQ(codeOf([&] { fpga->checkFpgaState(); }), -63150);
  EXPECT_EQ(fpga->state(), Fpga::kInvalid);
}

TEST_F(FpgaSessionTest, RunStartsOnlyAnFpgaThatMayStart) {
  auto session = open();
  bool alreadyRunning = false;
  fpga->run(&alreadyRunning);
  EXPECT_TRUE(alreadyRunning);
  EXPECT_EQ(model.controlWrites().size(), 3u);  // nothing written again

  // Stopped after running: started again, here after three more reads.
  model.finish();
  model.setReadsBeforeRunning(3);
  fpga->run(&alreadyRunning);
  EXPECT_FALSE(alreadyRunning);
  EXPECT_EQ(model.controlWrites().size(), 6u);
  EXPECT_EQ(fpga->state(), Fpga::kRunning);

  model.setState(FpgaModel::kIdle);
  model.setReadsBeforeRunning(FpgaModel::kNeverRuns);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(codeOf([&] { fpga->run(); }), -61499);
  // 50 ms on a millisecond clock.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 49ms);

  // A look at the state that answers only after the 50 ms, as for a thread held up there, is
  // followed by one more: a design running by then has not failed to start.
  model.setState(FpgaModel::kIdle);
  model.setReadsBeforeRunning(0);
  // The look before the start sequence, its three writes, then the first look after them.
  sim.device().failCommandAt(4, sim::Reply{{0, 0, 0, 0}, {}, {}, 0, 60ms});
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(codeOf([&] { fpga->run(); }), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms) << "the late look was not taken";
  EXPECT_EQ(fpga->state(), Fpga::kRunning);
}

// Run flag bit 0 returns only once the design has finished.
TEST_F(FpgaSessionTest, RunCanWaitUntilTheDesignFinishes) {
  auto session = open(typical, Fpga::kNoRun);
  std::thread design([&] {
    auto until = std::chrono::steady_clock::now() + 10s;
    while (model.state() != FpgaModel::kRunning && std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
    model.finish();
  });
  session->run(Fpga::kWaitUntilDone);
  design.join();
  EXPECT_EQ(fpga->state(), Fpga::kStopped);
}

TEST_F(FpgaSessionTest, StoppedFpgaOfARestrictedDesignIsNotRestarted) {
  struct Case {
    bool implicitEnable, resetNotSupported, abortNotSupported;
    int32_t code;
  };
  for (Case c : {Case{true, false, false, -61215}, Case{false, true, false, -61254},
                 Case{false, false, true, -61254}}) {
    auto design = qvsim::BitfileBuilder::typical();
    design.allowImplicitEnableRemoval(c.implicitEnable)
        .resetNotSupported(c.resetNotSupported)
        .abortNotSupported(c.abortNotSupported);
    auto session = open(bitfileOf(design));
    model.finish();
    size_t writes = model.controlWrites().size();
    EXPECT_EQ(codeOf([&] { session->run(); }), c.code);
    EXPECT_EQ(model.controlWrites().size(), writes);
  }
}

TEST_F(FpgaSessionTest, ResetSendsPrepareThenResetUnderTheExclusiveLock) {
  auto session = open();
  std::vector<std::pair<uint32_t, bool>> seen;  // command, exclusive side held
  for (uint32_t command : {kPrepare, kReset, kAbort})
    sim.device().handle(command, [&, command](sim::Call&) {
      seen.emplace_back(command, fpga->lock().writerActive());
      return 0;
    });
  session->reset();
  session->abort();
  EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, bool>>{
                      {kPrepare, false}, {kReset, true}, {kPrepare, false}, {kAbort, true}}));
  EXPECT_FALSE(fpga->lock().writerActive());

  // A failing reset releases the lock and raises the driver's status.
  sim.device().script(kReset, sim::Reply{{}, -52024, {}, 0, {}, true});
  EXPECT_EQ(codeOf([&] { session->reset(); }), -52024);
  EXPECT_EQ(fpga->lock().count(), 1u);
}

TEST_F(FpgaSessionTest, ResetAndAbortRefusals) {
  struct Case {
    bool implicitEnable, resetNotSupported, abortNotSupported;
    int32_t reset, abort;
  };
  for (Case c : {Case{true, false, false, -61211, -61212}, Case{false, true, false, -63193, 0},
                 Case{false, false, true, 0, -63193}}) {
    auto design = qvsim::BitfileBuilder::typical();
    design.allowImplicitEnableRemoval(c.implicitEnable)
        .resetNotSupported(c.resetNotSupported)
        .abortNotSupported(c.abortNotSupported);
    auto session = open(bitfileOf(design));
    EXPECT_EQ(codeOf([&] { session->reset(); }), c.reset);
    EXPECT_EQ(codeOf([&] { session->abort(); }), c.abort);
  }
}

TEST_F(FpgaSessionTest, WithoutAnAttachedBitfileNothingReadsTheControlRegister) {
  for (auto operation : {+[](Fpga& f) { f.run(); }, +[](Fpga& f) { f.reset(); },
                         +[](Fpga& f) { f.abort(); }, +[](Fpga& f) { f.checkFpgaState(); }})
    EXPECT_EQ(codeOf([&] { operation(*fpga); }), -52010);
  EXPECT_TRUE(sim.device().log().empty());
}

TEST_F(FpgaSessionTest, AttachDecisionKeepsOrReplacesTheAttachedBitfile) {
  // Designs without host memory: one held design would refuse another.
  auto design = [](const char* signature) {
    auto builder = qvsim::BitfileBuilder::typical();
    builder.targetSpecific(std::nullopt).signature(signature);
    return bitfileOf(builder);
  };
  constexpr const char* kOther = "FFFFFFFF89ABCDEF0011223344556677";
  auto plain = design(kSignature);
  model.setDownloadPolicy(FpgaModel::DownloadPolicy::WhenSignatureDiffers);
  auto first = open(plain);
  const qvkel::Bitfile* attached = fpga->bitfileState()->bitfile.get();

  // Same design, nothing downloaded: the attachment (and its FIFO objects) stays.
  auto second = open(design(kSignature));
  EXPECT_EQ(fpga->bitfileState()->bitfile.get(), attached);
  EXPECT_EQ(model.downloads(), 1u);

  // Another design is downloaded and attached.
  auto other =
      bitfileOf(qvsim::BitfileBuilder::typical().signature("FFFFFFFF89ABCDEF0011223344556677"));
  auto third = open(other, 0, "FFFFFFFF89ABCDEF0011223344556677");
  EXPECT_EQ(fpga->bitfileState()->bitfile, other);
  EXPECT_TRUE(fpga->fifosBuilt());

  // Keeping the attachment: a download attaches without FIFO objects...
  model.setDownloadPolicy(FpgaModel::DownloadPolicy::Always);
  auto fourth = open(plain, Fpga::kKeepAttachment);
  EXPECT_EQ(fpga->bitfileState()->bitfile, plain);
  EXPECT_FALSE(fpga->fifosBuilt());
  EXPECT_EQ(fpga->fifoCount(), 0u);
  // ...and without one the present attachment stays whatever the signature.
  model.setDownloadPolicy(FpgaModel::DownloadPolicy::Never);
  auto fifth = open(other, Fpga::kKeepAttachment, kOther);
  EXPECT_EQ(fpga->bitfileState()->bitfile, plain);
}

// A later session that downloads attaches its own bitfile, accessor and handler; an earlier
// session's registers keep working.
TEST_F(FpgaSessionTest, AnEarlierSessionStillReachesItsRegistersAfterAnotherAttaches) {
  // As the session factory does: one accessor per session, held by the FPGA object.
  accessor = std::make_shared<qvkel::user::IoAccessorIoctl>(sim.proxy);
  auto first = open();
  accessor = std::make_shared<qvkel::user::IoAccessorIoctl>(sim.proxy);
  auto second = open();  // downloaded again: the attachment is replaced
  EXPECT_EQ(model.downloads(), 2u);
  first->writeU32(0x8100, 0x5A5A);
  EXPECT_EQ(sim.module.registers().peek(0x8100), 0x5A5Au);
  EXPECT_EQ(first->readU32(kControl) & 3, 2u);
  EXPECT_EQ(first->clone()->readU32(0x8100), 0x5A5Au);
}

TEST_F(FpgaSessionTest, NoRunFlagStillReadsTheState) {
  auto session = open(typical, Fpga::kNoRun);
  EXPECT_TRUE(model.controlWrites().empty());
  EXPECT_EQ(fpga->state(), Fpga::kIdle);
  // An auto-running download is not started either.
  model.setAutoRun(true);
  auto design = qvsim::BitfileBuilder::typical();
  design.autoRun(true);
  auto second = open(bitfileOf(design));
  EXPECT_TRUE(model.controlWrites().empty());
  EXPECT_EQ(fpga->state(), Fpga::kRunning);
}

TEST_F(FpgaSessionTest, DownloadSendsTheBitstreamUnderTheExclusiveLock) {
  auto session = open();
  // The model leaves a downloaded FPGA idle: the state check reports it.
  EXPECT_FALSE(session->downloadFromBitfile());
  EXPECT_EQ(model.downloads(), 2u);
  EXPECT_EQ(model.lastBitstream(), typical->getBitstream());

  bool exclusive = false;
  sim.device().handle(kDownload, [&](sim::Call&) {
    exclusive = fpga->lock().writerActive();
    return 0;
  });
  session->downloadFromBitfile();
  EXPECT_TRUE(exclusive);
  EXPECT_EQ(fpga->lock().count(), 1u);

  sim.device().script(kDownload, sim::Reply{{}, -52024, {}, 0, {}, true});
  EXPECT_EQ(codeOf([&] { session->downloadFromBitfile(); }), -52024);
  EXPECT_EQ(fpga->lock().count(), 1u);
}

TEST_F(FpgaSessionTest, FifoPrimitivesAndTheOperationsThatStopEveryFifo) {
  auto session = open();
  uint64_t depth = 0;
  session->configureFifo(0, 1024, &depth);
  EXPECT_GE(depth, 1024u);
  session->startFifo(0);
  const uint32_t produced[4] = {1, 2, 3, 0xFFFFFFFF};
  ASSERT_EQ(sim.module.dmaFifos().push(0, produced, sizeof produced), sizeof produced);
  uint32_t read[4] = {};
  bool timedOut = true;
  uint64_t remaining = 99;
  session->readFifo(qvkel::TypeU32(), 0, read, 4, 1000, &timedOut, &remaining);
  EXPECT_EQ(std::memcmp(read, produced, sizeof read), 0);
  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(fpga->getFifo(0).hasUser(session->token()));

  // Download, reset and abort each leave every FIFO marked stopped.
  for (auto stopAll : {+[](Session& s) { s.downloadFromBitfile(); }, +[](Session& s) { s.reset(); },
                       +[](Session& s) { s.abort(); }}) {
    session->startFifo(0);
    ASSERT_TRUE(fpga->getFifo(0).isStarted());
    stopAll(*session);
    EXPECT_FALSE(fpga->getFifo(0).isStarted());
  }

  EXPECT_EQ(codeOf([&] { session->startFifo(3); }), -52005);  // the peer-to-peer channel
  uint64_t value = 0;
  EXPECT_EQ(codeOf([&] { session->getFifoProperty(0, 3, 5, &value); }), -63193);
  // A second session of the same design without a download keeps the FIFO objects.
  model.setDownloadPolicy(FpgaModel::DownloadPolicy::Never);
  auto restricted = open(typical, Session::kRestricted);
  void* pointer = nullptr;
  EXPECT_EQ(codeOf([&] { restricted->getFifoProperty(0, 3, 0, &pointer); }), -63193);
  restricted->getFifoProperty(0, 3, 2, &value);  // the depth, a 64-bit property
  EXPECT_EQ(value, depth);

  // The last session leaving a FIFO frees its kernel side.
  size_t frees = count(0x4020832D);
  restricted.reset();
  EXPECT_EQ(count(0x4020832D), frees);
  session.reset();
  EXPECT_GT(count(0x4020832D), frees);
  EXPECT_FALSE(fpga->getFifo(0).hasUser(0x1));
}

TEST_F(FpgaSessionTest, AHostToTargetFifoOfTheDesignFeedsTheDevice) {
  auto session = open();
  // Channel 1 of the design is host-to-target with fixed-point elements (8 bytes each).
  const uint64_t values[3] = {7, 8, 9};
  bool timedOut = true;
  session->writeFifo(qvkel::TypeU64(), 1, values, 3, 1000, &timedOut, nullptr);
  EXPECT_FALSE(timedOut);
  uint64_t consumed[3] = {};
  ASSERT_EQ(sim.module.dmaFifos().pull(1, consumed, sizeof consumed), sizeof consumed);
  EXPECT_EQ(std::memcmp(consumed, values, sizeof values), 0);
}

TEST_F(FpgaSessionTest, SessionsShareTheHostMemoryOfTheirDesign) {
  auto session = open();
  ASSERT_TRUE(session->hmbPresent());
  uint64_t size = 0;
  void *address = nullptr, *context = nullptr;
  Session::HmbCleanup cleanup = nullptr;
  session->getHmbRegion("Capture", &size, &address, &context, &cleanup);
  EXPECT_NE(address, nullptr);
  EXPECT_GT(size, 0u);
  cleanup(context);
  EXPECT_EQ(codeOf([&] { session->getHmbRegion("Missing", &size, &address, &context, &cleanup); }),
            -52006);
  // Results need somewhere to go: refused before the buffer is taken.
  uint32_t opened = fpga->getHmbManager()->getOpenCount();
  EXPECT_EQ(codeOf([&] { session->getHmbRegion("Capture", &size, &address, &context, nullptr); }),
            -52005);
  void* none = nullptr;
  EXPECT_EQ(codeOf([&] {
              session->openHmbLlb("Low", &size, &none, &none, nullptr, &size, &none, &none,
                                  &cleanup);
            }),
            -52005);
  EXPECT_EQ(fpga->getHmbManager()->getOpenCount(), opened);
  // The request slot reaches the manager: a set flag is refused.
  EXPECT_EQ(codeOf([&] { session->invoke(2, 1, 0, 0, 0, 0); }), -63045);
  auto mapped = [&] {
    size_t n = 0;
    for (const auto& m : sim.device().maps()) n += !m.unmapped;
    return n;
  };
  EXPECT_GT(mapped(), 0u);
  // A clone holds no use of the manager; the session's going releases the buffer.
  session->clone().reset();
  EXPECT_GT(mapped(), 0u);
  session.reset();
  EXPECT_EQ(mapped(), 0u);
}

TEST_F(FpgaSessionTest, EndlessInterruptWaitRepeatsShortKernelWaits) {
  auto session = open();
  std::atomic<uint32_t> asserted{0};
  bool timedOut = true;
  std::thread waiter([&] { asserted = session->waitOnIrq(0x6, Session::kWaitForever, &timedOut); });
  ASSERT_TRUE(model.awaitInterruptWaits(2));
  model.raiseInterrupts(0x4);
  waiter.join();
  EXPECT_EQ(asserted.load(), 0x4u);
  EXPECT_FALSE(timedOut);
  std::vector<uint32_t> timeouts = waitTimeouts();
  EXPECT_GE(timeouts.size(), 2u);
  for (uint32_t t : timeouts) EXPECT_EQ(t, 100u);

  // Acknowledged through the interrupt status register; a finite wait then times out once.
  session->acknowledgeIrq(0x4);
  EXPECT_EQ(model.pendingInterrupts(), 0u);
  EXPECT_EQ(session->waitOnIrq(0x6, 20, &timedOut), 0u);
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(waitTimeouts().back(), 20u);
  session->sendIrqCommand831E();
  session->sendIrqCommand831F();
  EXPECT_EQ(count(0x4020831E) + count(0x4020831F), 2u);
  sim.device().script(0x4020831F, sim::Reply{{}, -52024, {}, 0, {}, true});
  EXPECT_EQ(codeOf([&] { session->sendIrqCommand831F(); }), -52024);
}

TEST_F(FpgaSessionTest, RegisterPrimitivesRequireARunningFpgaWhenEnablesMayGo) {
  auto design = qvsim::BitfileBuilder::typical();
  design.allowImplicitEnableRemoval(true);
  auto session = open(bitfileOf(design), Fpga::kNoRun);
  EXPECT_EQ(codeOf([&] { session->readU32(0x8018); }), -61214);
  session->run();
  session->writeU64(0x8100, 0x1122334455667788ull);
  EXPECT_EQ(sim.module.registers().peek(0x8100), 0x11223344u);
  EXPECT_EQ(session->readI64(0x8100), 0x1122334455667788ll);
  session->writeU16(0x8200, 0xBEEF);
  sim.module.registers().poke(0x8204, 0x12345678);
  EXPECT_EQ(session->readU16(0x8204), 0x5678);
  EXPECT_EQ(session->readU8(0x8204), 0x78);
  // Bit 31 asks for the bus-status check.
  model.setErrorBits(FpgaModel::kBusErrorBit);
  EXPECT_EQ(session->readU32(0x8200), 0xBEEFu);
  EXPECT_EQ(codeOf([&] { session->readU32(0x80008200); }), -61046);
}

TEST_F(FpgaSessionTest, CloneSharesTheFpgaButNeitherChangesItNorClosesTheKernelSession) {
  auto session = open();
  auto copy = session->clone();
  EXPECT_TRUE(copy->isCopy());
  EXPECT_EQ(&copy->fpga(), fpga.get());
  EXPECT_EQ(copy->readU32(kControl) & 3, 2u);
  bool timedOut;
  std::vector<std::function<void()>> refused = {[&] { copy->clone(); },
                                                [&] { copy->downloadFromBitfile(); },
                                                [&] { copy->reset(); },
                                                [&] { copy->run(); },
                                                [&] { copy->abort(); },
                                                [&] { copy->waitOnIrq(1, 0, &timedOut); },
                                                [&] { copy->acknowledgeIrq(1); },
                                                [&] { copy->sendIrqCommand831E(); },
                                                [&] { copy->getP2PEndpointId(0, nullptr); }};
  for (auto& call : refused) EXPECT_EQ(codeOf(call), -63193);
  copy.reset();
  EXPECT_EQ(count(kClose), 0u);
  session.reset();
  EXPECT_EQ(count(kClose), 1u);
}

TEST_F(FpgaSessionTest, CloseFlagRules) {
  struct Case {
    bool implicitEnable, resetNotSupported;
    int32_t code;
  };
  for (Case c : {Case{true, false, -61213}, Case{false, true, -61253}, Case{false, false, 0}}) {
    auto design = qvsim::BitfileBuilder::typical();
    design.allowImplicitEnableRemoval(c.implicitEnable).resetNotSupported(c.resetNotSupported);
    auto session = open(bitfileOf(design));
    EXPECT_EQ(codeOf([&] { session->setCloseFlag(true); }), c.code);
    session->setCloseFlag(false);
  }
  auto session = open();
  session->setCloseFlag(true);
  session.reset();
  EXPECT_EQ(model.closes().back().closeFlag, 1);
}

TEST_F(FpgaSessionTest, BitfileQueries) {
  auto session = open();
  uint32_t words[4] = {};
  uint64_t room = 3;
  EXPECT_EQ(codeOf([&] { session->getSignature(words, &room); }), -52005);
  EXPECT_EQ(room, 4u);
  session->getSignature(words, &room);
  EXPECT_EQ(words[1], 0x89ABCDEFu);

  uint32_t out = 7;
  session->findRegisterOffset("Count", 0xFFFFFFFF, &out);
  EXPECT_EQ(out, 0x18u);
  session->findRegisterOffset("Missing", 0xFFFFFFFF, &out);
  EXPECT_EQ(out, 0xFFFFFFFFu);
  EXPECT_EQ(codeOf([&] { session->findRegisterOffset("Count", 0, &out); }), -52005);
  EXPECT_EQ(out, 0u);
  session->findFifoNumber("FromHost", 0xFFFFFFFF, &out);
  EXPECT_EQ(out, 1u);
  EXPECT_EQ(session->getBitfileXml(), typical->getXmlWithoutBitstream());
}

TEST_F(FpgaSessionTest, AcknowledgingClearsThePendingInterruptsWritten) {
  auto session = open();
  model.raiseInterrupts(0x3);
  session->acknowledgeIrq(0x1);
  EXPECT_EQ(model.pendingInterrupts(), 0x2u);
  EXPECT_EQ(sim.module.registers().peek(kInterruptStatus), 0x2u);
}

TEST_F(FpgaSessionTest, HandlerRegistry) {
  struct Tracked : Fpga::RegisteredHandler {
    explicit Tracked(int& destroyed) : destroyed(destroyed) {}
    ~Tracked() override { ++destroyed; }
    int& destroyed;
  };
  int destroyed = 0;
  std::unique_ptr<Fpga::RegisteredHandler> holder = std::make_unique<Tracked>(destroyed);
  fpga->exchangeRegisteredHandler(7, holder);
  EXPECT_EQ(holder, nullptr);
  std::unique_ptr<Fpga::RegisteredHandler> second = std::make_unique<Tracked>(destroyed);
  EXPECT_EQ(codeOf([&] { fpga->exchangeRegisteredHandler(7, second); }), -61499);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(codeOf([&] { fpga->unregisterHandler(8); }), -52006);

  Fpga::unregisterHandlerCallback(nullptr, 7);  // no context: nothing to do
  EXPECT_EQ(fpga->handlerCount(), 1u);
  auto* context = new Fpga::HandlerContext{fpga.get(), fpga};
  Fpga::unregisterHandlerCallback(context, 7);  // frees the context
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(fpga->handlerCount(), 0u);
  // A failing unregistration raises nothing and keeps its context.
  Fpga::HandlerContext kept{fpga.get(), fpga};
  Fpga::unregisterHandlerCallback(&kept, 7);
  EXPECT_EQ(kept.fpga, fpga.get());
}

}  // namespace
