#pragma once
// A test with the maker's software installed and a simulated chassis (the default one unless
// named) in its testbed, and the plug-in loaded by path on first use, as a host loads it.

#include <memory>

#include <gtest/gtest.h>

#include "sim/device/Chassis.h"
#include "sim/host/PluginHost.h"

namespace e2etest {

class DefaultChassis : public ::testing::Test {
 protected:
  explicit DefaultChassis(const char* chassisFile = QV_DEFAULT_CHASSIS) {
    pxi_.reset();
    sim::installMakerSoftware(testbed_);
    chassis_ = std::make_unique<sim::Chassis>(testbed_, sim::readChassis(chassisFile), pxi_);
  }
  ~DefaultChassis() override {
    plugin_.reset();
    chassis_.reset();
    pxi_.reset();
  }

  sim::host::PluginLibrary& plugin() {
    if (plugin_ == nullptr) plugin_ = std::make_unique<sim::host::PluginLibrary>(QV_PLUGIN_PATH);
    return *plugin_;
  }

  sim::Testbed testbed_;
  sim::libs::QPxiControl pxi_;
  std::unique_ptr<sim::Chassis> chassis_;
  std::unique_ptr<sim::host::PluginLibrary> plugin_;
};

}  // namespace e2etest
