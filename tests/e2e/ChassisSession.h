#pragma once
// A host on the default simulated chassis with one session open, all through the plug-in's
// exports: the plug-in loaded by path and initialised, a refreshed device list, and a session
// on the first module with a design that holds the register "Value" at 0x10.

#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "qvkel/IFpgaSession.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/PluginHost.h"

namespace e2etest {

class ChassisSession : public DefaultChassis {
 protected:
  static constexpr std::uint32_t kValueRegister = 0x10;

  ChassisSession() { routes.reset(); }
  // A test that stopped early still lets go of what it opened.
  ~ChassisSession() override {
    if (session != nullptr) session->release();
    finish();
  }

  void SetUp() override {
    ASSERT_EQ(plugin().initialize(), 0);
    initialised_ = true;
    std::int32_t code = 0;
    devices.reset(plugin().deviceList(&code));
    ASSERT_EQ(code, 0);
    nQVVUSKS100::tStatus status;
    devices->refresh(&status);
    ASSERT_EQ(status.code, 0);
    session = devices->getDevice(0, 0, &status)->createFpgaSession(5, &status);
    ASSERT_NE(session, nullptr);
    qvsim::BitfileBuilder design;
    design.addRegister({"Value", kValueRegister});
    session->open(design.text().c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000,
                  &status);
    ASSERT_EQ(status.code, 0) << status.file << " " << status.line;
  }

  // Closes the session (which releases it): the status of the close.
  std::int32_t close() {
    nQVVUSKS100::tStatus status;
    session->close(0, &status);
    session = nullptr;
    return status.code;
  }
  // Lets go of the device list and finalises the plug-in: the finalise's code.
  std::int32_t finish() {
    devices.reset();
    if (!initialised_) return 0;
    initialised_ = false;
    return plugin().finalize();
  }

  sim::libs::RoCoControl routes;
  std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)> devices{
      nullptr, [](qvkel::IDeviceList* l) { l->release(); }};
  qvkel::IFpgaSession* session = nullptr;

 private:
  bool initialised_ = false;
};

}  // namespace e2etest
