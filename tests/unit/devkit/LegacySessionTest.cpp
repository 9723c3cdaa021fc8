// The legacy register-protocol session and the flash manager on a simulated module.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devkit/FlashManager.h"
#include "devkit/FpgaSessionTraditional.h"
#include "sim/device/FlashModel.h"
#include "tests/unit/devkit/DevkitTestUtil.h"
#include "tests/unit/devkit/HostSessionFixture.h"

namespace {

using devkit_test::codeOf;
using nQVVUSKS100::tStatus;
using qvkel::FpgaSessionTraditional;

// A call that records `code` at `line`.
struct Refusal {
  std::function<void(tStatus*)> call;
  int64_t code;
  uint64_t line;
};

void expectRefusals(const std::vector<Refusal>& refusals) {
  for (const Refusal& r : refusals) {
    tStatus t;
    r.call(&t);
    EXPECT_EQ(t.code, r.code);
    EXPECT_EQ(t.line, r.line);
  }
}

class LegacySessionTest : public devkit_test::HostSessionTest {
 protected:
  LegacySessionTest() {
    sim.module.setAttribute(84, 0);  // the FPGA-busy owner the driver reports (none)
    legacy.reset(static_cast<FpgaSessionTraditional*>(factory.createTraditionalSession(nullptr)));
  }

  // The legacy host's download sequence, as far as `steps` calls.
  void downloadSequence(size_t steps = 6) {
    char text[64];
    uint32_t length = 0;
    const std::vector<std::function<void(tStatus*)>> calls = {
        [&](tStatus* s) { legacy->getAttributeString(6, text, sizeof text, &length, s); },
        [&](tStatus* s) { legacy->getAttributeString(4, text, sizeof text, &length, s); },
        [&](tStatus* s) { legacy->setAttributeU32(23, 2, s); },
        [&](tStatus* s) { legacy->getAttributeString(1, text, sizeof text, &length, s); },
        [&](tStatus* s) { legacy->getAttributeU32(58, s); },
        [&](tStatus* s) { EXPECT_EQ(legacy->getAttributeU32(48, s), 0u); }};
    for (size_t i = 0; i < steps; ++i) {
      tStatus s;
      calls[i](&s);
      EXPECT_EQ(s.code, 0) << "step " << i;
    }
  }
  // Mode 2 with the owned session built from the typical design.
  void startSession(uint32_t openFlags = 0) {
    tStatus s;
    legacy->setAttributeString(14, qvsim::BitfileBuilder::typical().text().c_str(), &s);
    if (openFlags != 0) legacy->setAttributeU32(87, openFlags, &s);
    downloadSequence();
    legacy->setAttributeU32(23, 4, &s);
    ASSERT_EQ(s.code, 0);
    ASSERT_EQ(legacy->mode(), FpgaSessionTraditional::kSessionMode);
  }

  sim::FlashModel flash{sim.device()};
  std::unique_ptr<FpgaSessionTraditional, devkit_test::Releaser> legacy;
};

TEST_F(LegacySessionTest, TheHostCallsBySlot) {
  qvkel::IFpgaSessionTraditional* host = legacy.release();
  void** table = *reinterpret_cast<void***>(host);
  using Attribute = uint32_t (*)(void*, uint32_t, tStatus*);
  using Word = uint32_t (*)(void*, tStatus*);
  using Refused = int32_t (*)(void*, tStatus*);
  using End = void (*)(void*);
  tStatus s;
  EXPECT_EQ(reinterpret_cast<Attribute>(table[0])(host, 90, &s), 7u);  // the flash support
  EXPECT_EQ(reinterpret_cast<Word>(table[31])(host, &s), 0u);
  EXPECT_EQ(s.code, 0);
  tStatus refused;
  EXPECT_EQ(reinterpret_cast<Refused>(table[23])(host, &refused), -1);
  EXPECT_EQ(refused.line, 855u);
  tStatus inAttributeMode;
  EXPECT_EQ(reinterpret_cast<Attribute>(table[24])(host, 0x8100, &inAttributeMode), 0xFFFFFFFFu);
  EXPECT_EQ(inAttributeMode.line, 867u);
  // Slot 36 releases a session, slot 40 deletes one.
  reinterpret_cast<End>(table[36])(host);
  reinterpret_cast<End>(table[40])(factory.createTraditionalSession(nullptr));
}

TEST_F(LegacySessionTest, TheDownloadSequenceSwitchesToTheDownloadProtocol) {
  uint32_t length = 0;
  char text[64];
  tStatus s;
  // Interleaved queries of attribute 82 do not break it.
  legacy->getAttributeString(6, text, sizeof text, &length, &s);
  legacy->getAttributeU32(82, &s);
  legacy->getAttributeString(4, text, sizeof text, &length, &s);
  legacy->getAttributeString(4, text, sizeof text, &length, &s);
  legacy->setAttributeU32(23, 2, &s);
  legacy->getAttributeU32(82, &s);
  legacy->getAttributeString(1, text, sizeof text, &length, &s);
  legacy->getAttributeU32(58, &s);
  legacy->getAttributeU32(82, &s);
  EXPECT_EQ(legacy->mode(), FpgaSessionTraditional::kAttributeMode);
  EXPECT_EQ(legacy->getAttributeU32(48, &s), 0u);
  EXPECT_EQ(legacy->mode(), FpgaSessionTraditional::kDownloadProtocolMode);
  EXPECT_EQ(s.code, 0);

  // Mode 1 answers the protocol's queries itself.
  EXPECT_EQ(legacy->getAttributeU32(36, &s), 1u);
  EXPECT_EQ(legacy->getAttributeU32(81, &s), 0u);
  EXPECT_EQ(legacy->readU32(0x8100, &s), 0xFFFFFFFFu);
  legacy->setAttributeU32(23, 3, &s);  // not the start command
  legacy->setAttributeU32(17, 9, &s);  // ignored
  legacy->setAttributeString(3, "x", &s);
  EXPECT_EQ(s.code, 0);
  expectRefusals({{[&](tStatus* t) { legacy->setAttributeU32(18, 0, t); }, -63196, 291},
                  {[&](tStatus* t) { legacy->setAttributeU32(46, 0, t); }, -63196, 291},
                  {[&](tStatus* t) { legacy->setAttributeU32(45, 1, t); }, -63107, 259},
                  {[&](tStatus* t) { legacy->getAttributeU32(7, t); }, -63196, 135},
                  {[&](tStatus* t) { legacy->setAttributeU32(23, 4, t); }, -63038, 271},
                  {[&](tStatus* t) { legacy->writeBlock(0, 1, text, 4, t); }, -63193, 803}});
  tStatus located;
  legacy->setAttributeU32(18, 0, &located);
  EXPECT_STREQ(located.file, "FpgaSessionTraditional");
  // The value of 45 is kept although refused; the start without a bitfile text stays in mode 1.
  EXPECT_EQ(legacy->getAttributeU32(45, &s), 1u);
  EXPECT_EQ(legacy->mode(), FpgaSessionTraditional::kDownloadProtocolMode);
  EXPECT_TRUE(factory.requests.empty());
}

TEST_F(LegacySessionTest, AnyOtherCallBreaksTheSequence) {
  for (size_t step = 1; step < 6; ++step) {
    legacy.reset(static_cast<FpgaSessionTraditional*>(factory.createTraditionalSession(nullptr)));
    downloadSequence(step);
    tStatus s;
    legacy->getAttributeU32(73, &s);  // the slot count: answered by the handlers
    EXPECT_EQ(s.code, 0);
    char text[64];
    uint32_t length = 0;
    legacy->getAttributeString(4, text, sizeof text, &length, &s);
    legacy->setAttributeU32(23, 2, &s);
    legacy->getAttributeString(1, text, sizeof text, &length, &s);
    legacy->getAttributeU32(58, &s);
    legacy->getAttributeU32(48, &s);
    EXPECT_EQ(legacy->mode(), FpgaSessionTraditional::kAttributeMode) << step;
  }
}

TEST_F(LegacySessionTest, AttributeModeAsksTheHandlersAndTheFlash) {
  tStatus s;
  EXPECT_EQ(legacy->getAttributeU32(73, &s), 1u);  // slot count, a device property
  EXPECT_EQ(legacy->getAttributeU32(90, &s), 7u);  // flash support
  flash.setValueStatus(0);
  legacy->setAttributeU32(65, 0x5A, &s);
  EXPECT_EQ(flash.value(), 0x5Au);
  EXPECT_EQ(legacy->getAttributeU32(65, &s), 0x5Au);
  char text[64];
  uint32_t length = 0;
  legacy->getAttributeString(6, text, sizeof text, &length, &s);
  EXPECT_STREQ(text, "BRM-6812");
  EXPECT_EQ(s.code, 0);

  expectRefusals({{[&](tStatus* t) { legacy->getAttributeU32(1000, t); }, -63196, 81},
                  {[&](tStatus* t) { legacy->setAttributeU32(1000, 1, t); }, -63196, 219},
                  {[&](tStatus* t) { legacy->readU32(0x8100, t); }, -63193, 867},
                  {[&](tStatus* t) { legacy->writeU32(0x8100, 1, t); }, -63193, 912},
                  {[&](tStatus* t) { legacy->reset(t); }, -63032, 453},
                  {[&](tStatus* t) { legacy->startFifo(0, t); }, -63032, 542},
                  {[&](tStatus* t) { legacy->download(text, 4, nullptr, 0, 1, t); }, -63193, 412},
                  {[&](tStatus* t) { legacy->unsupported23(t); }, -63193, 855},
                  {[&](tStatus* t) { legacy->readBlock(0, 1, text, 3, t); }, -52005, 45}});
  // A status already in error is left as it is.
  tStatus earlier;
  earlier.setCode(-1, "host", "host.c", 1);
  EXPECT_EQ(legacy->getAttributeU32(73, &earlier), 0xFFFFFFFFu);
  EXPECT_EQ(earlier.line, 1u);
}

TEST_F(LegacySessionTest, DownloadsInAttributeModeGoToTheFlash) {
  tStatus s;
  const uint8_t image[] = {1, 2, 3, 4, 5};
  legacy->download(image, sizeof image, "user", 4, 2, &s);
  legacy->download(nullptr, 0, nullptr, 0, 2, &s);
  EXPECT_EQ(s.code, 0);
  ASSERT_EQ(flash.images().size(), 1u);
  EXPECT_EQ(flash.images()[0], std::vector<uint8_t>(image, image + 5));
  EXPECT_EQ(flash.runs(), 1u);
}

TEST_F(LegacySessionTest, TheStartCommandBuildsTheOwnedSession) {
  startSession(0x00000002);
  ASSERT_EQ(factory.requests.size(), 1u);
  EXPECT_EQ(factory.requests[0].attributes, 0x81000002u);
  EXPECT_EQ(factory.requests[0].resource, "");
  EXPECT_EQ(factory.requests[0].bitfile, qvsim::BitfileBuilder::typical().text());
  ASSERT_NE(legacy->ownedSession(), nullptr);
  EXPECT_TRUE(legacy->ownedSession()->isRestricted());

  tStatus s;
  legacy->writeU32(0x8100, 0xABCD, &s);
  EXPECT_EQ(legacy->readU32(0x8100, &s), 0xABCDu);
  const uint32_t words[2] = {7, 8};
  legacy->writeBlock(0x8200, 2, words, 4, &s);
  uint32_t back[2] = {};
  legacy->readBlock(0x8200, 2, back, 0x14, &s);
  EXPECT_EQ(back[1], 8u);
  EXPECT_EQ(legacy->getAttributeU32(48, &s), 0u);
  EXPECT_EQ(legacy->getAttributeU32(73, &s), 1u);
  legacy->download(qvsim::BitfileBuilder::typical().bitstreamBytes().data(), 64, nullptr, 0, 1, &s);
  EXPECT_EQ(model.downloads(), 2u);
  legacy->reset(&s);
  EXPECT_EQ(s.code, 0);

  // An interrupt wait that times out is a warning.
  tStatus waited;
  EXPECT_EQ(legacy->waitOnIrqs(1, 5, &waited), 0u);
  EXPECT_EQ(waited.code, 63073);
  legacy->callIrqMethod1E(&s);
  EXPECT_EQ(sim.device().count(0x4020831E), 1u);
  // An attribute the handlers do not answer is recorded there, then answered as in mode 1.
  tStatus unanswered;
  EXPECT_EQ(legacy->getAttributeU32(7, &unanswered), 0xFFFFFFFFu);
  EXPECT_EQ(unanswered.code, -63196);
  EXPECT_EQ(unanswered.line, 113u);
  // Attribute 40 sets the close flag, which this design allows.
  legacy->setAttributeU32(40, 1, &s);
  EXPECT_EQ(s.code, 0);
  legacy.reset();
  EXPECT_EQ(model.closes().back().closeFlag, 1);
}

TEST_F(LegacySessionTest, FifoCallsReportOnlyWhatTheyMoved) {
  startSession();
  tStatus s;
  uint32_t depth = 0;
  legacy->configureFifo(0, 1024, &depth, 0, &s);
  EXPECT_GE(depth, 1024u);
  legacy->startFifo(0, &s);
  ASSERT_EQ(s.code, 0);
  const uint32_t produced[3] = {4, 5, 6};
  ASSERT_EQ(sim.module.dmaFifos().push(0, produced, sizeof produced), sizeof produced);

  uint32_t read[3] = {};
  uint32_t countRead = 99, remaining = 99;
  legacy->readFifo(0, read, 2, 7, 1000, &countRead, &remaining, &s);
  EXPECT_EQ(countRead, 2u);
  EXPECT_EQ(remaining, 1u);
  EXPECT_EQ(read[1], 5u);
  EXPECT_EQ(s.code, 0);

  struct Failure {
    uint32_t count, elementType;
    int64_t code;
    uint64_t line;
  };
  for (const Failure& f :
       {Failure{1, 9, -52005, 615}, Failure{2, 7, -50400, 626}, Failure{1, 3, -52005, 0}}) {
    tStatus t;
    countRead = 99;
    legacy->readFifo(0, read, f.count, f.elementType, 10, &countRead, &remaining, &t);
    EXPECT_EQ(t.code, f.code);
    if (f.line != 0) {
      EXPECT_EQ(t.line, f.line);
    }
    EXPECT_EQ(countRead, 0u);
  }
  void* elements = nullptr;
  uint32_t acquired = 0;
  legacy->acquireFifoElements(0, &elements, 1, 7, false, 1000, &acquired, &remaining, &s);
  EXPECT_EQ(acquired, 1u);
  EXPECT_EQ(*static_cast<uint32_t*>(elements), 6u);
  legacy->releaseFifoElements(0, 1, &s);
  legacy->stopFifo(0, &s);
  EXPECT_EQ(s.code, 0);
  // Places and data the host left out.
  expectRefusals(
      {{[&](tStatus* t) {
          legacy->acquireFifoElements(0, nullptr, 1, 7, false, 0, &acquired, &remaining, t);
        },
        -52005, 1090},
       {[&](tStatus* t) { legacy->download(nullptr, 64, nullptr, 0, 1, t); }, -52005, 1090}});
  EXPECT_EQ(model.downloads(), 1u);
}

TEST(FlashManagerTest, EachOperationIsOneDriverCall) {
  devkit_test::SimulatedModule sim;
  sim::FlashModel flash(sim.device());
  qvkel::FlashManager manager(sim.proxy);
  const std::vector<uint8_t> image = {9, 8, 7};
  EXPECT_EQ(manager.writeFlash(image), 0u);
  EXPECT_EQ(manager.writeFlash({}), 0u);
  EXPECT_EQ(flash.images(), (std::vector<std::vector<uint8_t>>{image, {}}));
  EXPECT_EQ(manager.setFlashValue(0x100000005ull), 0u);
  EXPECT_EQ(manager.getFlashValue(), 5u);
  EXPECT_EQ(manager.runFlashCommand(), 0u);
  EXPECT_EQ(flash.runs(), 1u);
  const size_t commands = sim.device().log().size();
  EXPECT_EQ(manager.getFlashSupport(), 7u);
  EXPECT_EQ(sim.device().log().size(), commands);

  // A warning is the outcome; an error is raised; "no flash" answers mean not supported.
  sim.device().script(sim::FlashModel::kSetValue, sim::Reply{{}, 12, {}, 0, {}, true});
  EXPECT_EQ(manager.setFlashValue(1), 12u);
  for (auto [driver, raised] : {std::pair{-63170, -63193}, {-63171, -63193}, {-63000, -63000}}) {
    flash.setValueStatus(driver);
    EXPECT_EQ(codeOf([&] { manager.getFlashValue(); }), raised);
  }
  sim.device().script(sim::FlashModel::kRun, sim::Reply{{}, -63000, {}, 0, {}, true});
  EXPECT_EQ(codeOf([&] { manager.runFlashCommand(); }), -63000);
}

}  // namespace
