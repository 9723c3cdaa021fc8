#include "devkit/AttributeHandlers.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "discovery/QPxiLibrary.h"
#include "sim/libs/MakerLibraries.h"
#include "tests/unit/devkit/DevkitTestUtil.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace {

using devkit_test::codeOf;
using Iterator = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr const char* kPxiLibrary = "libqvqpxi.so.1";

class AttributeHandlersTest : public ::testing::Test {
 protected:
  AttributeHandlersTest() {
    pxiControl.reset();
    sim.module.setAttribute(1, 5);
    sim.module.setAttribute(48, 0x30);
    sim.module.setAttribute(84, static_cast<uint32_t>(-61203));
  }

  std::shared_ptr<qvkel::AttributeHandlerComposite> chain(const qvkel::IPxiQuery* pxi = nullptr) {
    nQVVUSKS100::tStatus status;
    Iterator iterator(sim::kDeviceInterfaceName, &status);
    EXPECT_EQ(status.code, 0);
    return qvkel::makeAttributeHandlerChain(iterator, pxi, sim.proxy);
  }
  static uint32_t u32(qvkel::IAttributeHandler& h, uint32_t attribute, bool* handledOut = nullptr) {
    bool handled = false;
    uint32_t value = h.getU32(attribute, handled);
    if (handledOut != nullptr) *handledOut = handled;
    return value;
  }
  static std::string text(qvkel::IAttributeHandler& h, uint32_t attribute) {
    char buffer[64] = {};
    uint32_t length = 0;
    bool handled = false;
    h.getString(attribute, buffer, sizeof buffer, &length, handled);
    return handled ? std::string(buffer, length) : "<unhandled>";
  }
  std::unique_ptr<qvkel::QPxiLibrary> pxiLibrary(sim::LibraryChoice choice) {
    sim.testbed.setLibrary(kPxiLibrary, choice,
                           sim::libs::standInPath(kPxiLibrary, sim::libs::Variant::Present));
    qverr::Status status;
    return std::make_unique<qvkel::QPxiLibrary>(status);
  }

  devkit_test::SimulatedModule sim;
  sim::libs::QPxiControl pxiControl;
};

TEST_F(AttributeHandlersTest, ChainAnswersFromPropertiesConstantsAndTheDriver) {
  auto h = chain();
  struct Row {
    uint32_t attribute, value;
  };
  for (Row row :
       {Row{4, 0x1A2},       Row{73, 1},     Row{74, 1},     Row{91, 0},     Row{92, 1},
        Row{2, 0x7A31},      Row{3, 0x1FA7}, Row{10, 0x21},  Row{11, 0x0C},  Row{12, 3},
        Row{27, kNone},      Row{28, kNone}, Row{30, kNone}, Row{80, kNone}, Row{14, 0x1680C09A},
        Row{15, 0x0200C000}, Row{6, 0},      Row{36, 1},     Row{1, 5},      Row{48, 0x30}}) {
    bool handled = false;
    EXPECT_EQ(u32(*h, row.attribute, &handled), row.value) << row.attribute;
    EXPECT_TRUE(handled) << row.attribute;
  }
  EXPECT_EQ(text(*h, 0), "BRM-6812 (8 GB)");
  EXPECT_EQ(text(*h, 6), "BRM-6812");
  EXPECT_EQ(text(*h, 18), "01A2");
  EXPECT_EQ(text(*h, 19), "C");
  EXPECT_EQ(text(*h, 9), "");
  EXPECT_EQ(text(*h, 5), "");      // no PXI library: no chassis
  EXPECT_EQ(text(*h, 2), "KEL5");  // "KEL" and attribute 1
  EXPECT_EQ(text(*h, 4), "0x7A31");
  EXPECT_EQ(text(*h, 1), "interactive\n");  // owner of attribute 84's code
  // Neither the chain nor the driver knows attribute 7.
  bool handled = true;
  EXPECT_EQ(u32(*h, 7, &handled), kNone);
  EXPECT_FALSE(handled);
  EXPECT_EQ(text(*h, 7), "<unhandled>");
}

TEST_F(AttributeHandlersTest, WritesReachTheDriverAndTheTraditionalFlag) {
  auto h = chain();
  bool handled = false;
  h->setU32(1, 9, handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(sim.module.attribute(1), 9u);
  h->setString(1, "Tarnwell", handled);
  EXPECT_EQ(sim.module.attribute(84), static_cast<uint32_t>(-61202));
  h->setU32(16, 1, handled);
  EXPECT_EQ(u32(*h, 16), 1u);
  EXPECT_EQ(codeOf([&] { h->setU32(16, 2, handled); }), -63197);
  h->setU32(23, 4, handled);  // accepted and ignored
  EXPECT_TRUE(handled);
  // The driver does not handle a write of attribute 84 it does not hold.
  sim.module.removeAttribute(84);
  h->setU32(84, 1, handled);
  EXPECT_FALSE(handled);
  // Any other driver failure is raised.
  sim.device().script(0x80208300, sim::Reply{{}, -52024, {}, 0, {}, true});
  EXPECT_EQ(codeOf([&] { u32(*h, 48); }), -52024);
}

TEST_F(AttributeHandlersTest, DevicePropertyRules) {
  sim.module.setBusPropertyU32("busType", 0x20757362);
  sim.module.removeProperty(sim::PropertySet::Bus, "numaNode");
  sim.module.removeProperty(sim::PropertySet::Device, "kelHardwareRevision");
  auto h = chain();
  EXPECT_EQ(u32(*h, 74), 3u);
  EXPECT_EQ(u32(*h, 92), kNone);
  EXPECT_EQ(text(*h, 19), "");

  sim.module.setDeviceProperty("serialNumber", "xyz");
  EXPECT_THROW(u32(*chain(), 4), std::invalid_argument);
  sim.module.setDeviceProperty("serialNumber", "");
  EXPECT_EQ(codeOf([&] { chain(); }), -63196);
  sim.module.setDeviceProperty("serialNumber", "01A2");
  sim.module.removeProperty(sim::PropertySet::Bus, "pciBusNumber");
  EXPECT_EQ(codeOf([&] { chain(); }), -52006);
}

TEST_F(AttributeHandlersTest, PxiHandlerAnswersFromTheQueryLibrary) {
  pxiControl.addDevice(devkit_test::SimulatedModule::kBus, devkit_test::SimulatedModule::kDevice,
                       devkit_test::SimulatedModule::kFunction, 4, 9, 0x55);
  auto library = pxiLibrary(sim::LibraryChoice::Present);
  auto h = chain(library.get());
  EXPECT_EQ(u32(*h, 27), 4u);
  EXPECT_EQ(u32(*h, 28), 9u);
  EXPECT_EQ(u32(*h, 30), 0x55u);
  EXPECT_EQ(text(*h, 5), "PXI4");

  // A stale session is replaced; a failing query is still handled, with no value.
  pxiControl.invalidateSessions();
  EXPECT_EQ(u32(*h, 27), 4u);
  pxiControl.failNext("qvqpxi_openDeviceByAddr", -52003);
  bool handled = false;
  EXPECT_EQ(u32(*h, 28, &handled), kNone);
  EXPECT_TRUE(handled);
  pxiControl.failNext("qvqpxi_openDeviceByAddr", -52003);
  EXPECT_EQ(text(*h, 5), "");
}

// Only a failed query gives the empty text: a chassis number the library reports is formatted,
// also the library's "none".
TEST_F(AttributeHandlersTest, PxiChassisTextFormatsWhateverTheLibraryAnswers) {
  pxiControl.addDevice(devkit_test::SimulatedModule::kBus, devkit_test::SimulatedModule::kDevice,
                       devkit_test::SimulatedModule::kFunction, kNone, 9, 0x55);
  auto library = pxiLibrary(sim::LibraryChoice::Present);
  auto h = chain(library.get());
  EXPECT_EQ(u32(*h, 27), kNone);
  EXPECT_EQ(text(*h, 5), "PXI-1");
}

TEST_F(AttributeHandlersTest, PxiHandlerWithoutTheLibraryHandlesWithNoValue) {
  auto library = pxiLibrary(sim::LibraryChoice::Absent);
  ASSERT_FALSE(library->loaded);
  auto h = chain(library.get());
  bool handled = false;
  EXPECT_EQ(u32(*h, 27, &handled), kNone);
  EXPECT_TRUE(handled);
  EXPECT_EQ(text(*h, 5), "");
  EXPECT_TRUE(pxiControl.calls().empty());
}

TEST_F(AttributeHandlersTest, TextsNeedRoomForTheirTerminator) {
  auto h = chain();
  char buffer[8];
  uint32_t length = 0;
  bool handled = false;
  EXPECT_EQ(codeOf([&] { h->getString(6, buffer, 8, &length, handled); }), -63080);
  h->getString(6, nullptr, 0, &length, handled);  // a length query
  EXPECT_EQ(length, 8u);
  char room[9];
  h->getString(6, room, sizeof room, &length, handled);
  EXPECT_STREQ(room, "BRM-6812");
}

}  // namespace
