// The route-configuration library's table over the library stand-in: loading with every entry
// point, with one missing and without the library, and the device-reset calls through it.
#include <gtest/gtest.h>

#include <string>

#include "clip/DeviceResetGuard.h"
#include "session/RocoCpp.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"

namespace {

using sim::libs::Variant;

class RocoCppTest : public ::testing::Test {
 protected:
  RocoCppTest() { control_.reset(); }
  ~RocoCppTest() override { control_.reset(); }

  void use(sim::LibraryChoice choice, Variant variant = Variant::Present) {
    testbed_.setLibrary(qvrocoapi::kLibraryName, choice,
                        sim::libs::standInPath(qvrocoapi::kLibraryName, variant));
  }

  sim::Testbed testbed_;
  sim::libs::RoCoControl control_;
  qvrocoapi::RocoCppHolder holder_;
  qverr::Status status_;
};

TEST_F(RocoCppTest, EveryEntryPointResolvesByItsTableName) {
  use(sim::LibraryChoice::Present);
  qvrocoapi::load(holder_, status_);
  EXPECT_EQ(status_.code, 0);
  ASSERT_NE(holder_.handle(), nullptr);
  for (std::size_t k = 0; k < qvrocoapi::kEntryCount; ++k)
    EXPECT_NE(holder_.entries().entry(k), nullptr) << qvrocoapi::kEntryNames[k];
  EXPECT_STREQ(qvrocoapi::kEntryNames[0], "qvrocoapi_createSession");
  EXPECT_STREQ(qvrocoapi::kEntryNames[4], "qvrocoapi_calculateRoute");
  EXPECT_STREQ(qvrocoapi::kEntryNames[56], "qvrocoapi_completeDeviceReset");
  EXPECT_TRUE(holder_.entries().has_TerminalIterator_next());
}

TEST_F(RocoCppTest, AMissingEntryPointIsReportedAndTheOthersAreStillResolved) {
  use(sim::LibraryChoice::MissingSymbol, Variant::MissingSymbol);
  qvrocoapi::load(holder_, status_);
  EXPECT_EQ(status_.code, -52005);
  EXPECT_NE(std::string(status_.detailText())
                .find("\"qvdynlib_symbol\":\"qvrocoapi_completeDeviceReset\""),
            std::string::npos)
      << status_.detailText();
  EXPECT_FALSE(holder_.entries().has_completeDeviceReset());
  for (std::size_t k = 0; k + 1 < qvrocoapi::kEntryCount; ++k)
    EXPECT_NE(holder_.entries().entry(k), nullptr) << qvrocoapi::kEntryNames[k];
}

TEST_F(RocoCppTest, WithoutTheLibraryNothingIsLookedUp) {
  use(sim::LibraryChoice::Absent);
  qvrocoapi::load(holder_, status_);
  EXPECT_EQ(status_.code, -52005);
  EXPECT_NE(std::string(status_.detailText()).find("\"path\":\"libqvrocoapi.so.1\""),
            std::string::npos);
  EXPECT_EQ(holder_.handle(), nullptr);
  EXPECT_FALSE(holder_.entries().has_createSession());
}

TEST_F(RocoCppTest, TheTableServesTheDeviceResetGuard) {
  use(sim::LibraryChoice::Present);
  qvrocoapi::load(holder_, status_);
  const std::string name = "PXI1Slot2";
  void* session = nullptr;
  {
    qvvandrelbrenmooru::DeviceResetGuard guard(&holder_.entries(), &name);
    session = guard.session();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(control_.openSessions(), 1);
  }
  const std::string s = std::to_string(reinterpret_cast<uintptr_t>(session));
  EXPECT_EQ(
      control_.calls(),
      (std::vector<std::string>{
          "qvrocoapi_createSession -> " + s, "qvrocoapi_initiateDeviceReset " + s + " PXI1Slot2",
          "qvrocoapi_completeDeviceReset " + s + " PXI1Slot2", "qvrocoapi_destroySession " + s}));
  EXPECT_EQ(control_.openSessions(), 0);

  // A refused announcement: the library session goes at once and nothing is completed.
  control_.reset();
  control_.failNext("qvrocoapi_initiateDeviceReset", -89000);
  {
    qvvandrelbrenmooru::DeviceResetGuard guard(&holder_.entries(), &name);
    EXPECT_EQ(guard.session(), nullptr);
  }
  const auto calls = control_.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].rfind("qvrocoapi_destroySession", 0), 0u);
  EXPECT_EQ(control_.openSessions(), 0);
}

}  // namespace
